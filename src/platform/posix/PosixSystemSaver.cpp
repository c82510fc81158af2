#include <cstdlib>
#include <string>

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
  return {TAVELUNE_SYSTEM_SAVER_DIR, userData + "/tavelune/savers"};
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
