#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/SystemDirs.h"
#include "platform/SystemSaver.h"

namespace tavelune::platform {

TSaverFolders SaverFolderTexts() {
  std::string userData;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data) {
    userData = data;
  } else {
    const char* home = std::getenv("HOME");
    userData = std::string(home != nullptr ? home : ".") + "/.local/share";
  }
  // The installation's own data folder, found from where this program is, so
  // that the package under /usr and a build installed elsewhere both work.
  const std::string installed =
      std::filesystem::path(ProgramDir() + TAVELUNE_SYSTEM_SAVER_DIR_FROM_BIN)
          .lexically_normal()
          .string();
  return {installed, userData + "/tavelune/savers"};
}

std::optional<std::string> ChosenSaverName(const std::string& /*windowsFolder*/) {
  return std::string();
}

std::optional<std::int32_t> SaverTimeOut() {
  return std::nullopt;
}

std::optional<bool> SaverActive() {
  return std::nullopt;
}

}  // namespace tavelune::platform
