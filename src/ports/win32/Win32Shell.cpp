#include <windows.h>

// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include "platform/Shell.h"

namespace tavelune::platform {

void ShellOpenTarget(const std::string& target, const std::string& parameters,
                     const std::string& directory) {
  ::ShellExecuteA(nullptr, "open", target.c_str(),
                  parameters.empty() ? nullptr : parameters.c_str(),
                  directory.empty() ? nullptr : directory.c_str(), SW_SHOWNORMAL);
}

void ShowUtf8OnConsole() {
  ::SetConsoleOutputCP(CP_UTF8);
}

}  // namespace tavelune::platform
