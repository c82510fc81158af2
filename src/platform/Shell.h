#pragma once

#include <string>

namespace tavelune::platform {

// Asks the desktop to "open" a file or address, in `directory` as working
// folder, with a normally shown window. Fire and forget: the outcome is not
// reported. Windows: ShellExecuteA. Linux: xdg-open in a detached process.
void ShellOpenTarget(const std::string& target, const std::string& parameters,
                     const std::string& directory);

// Has the console show the UTF-8 that console programs write. Windows:
// the console's output code page; Linux consoles take UTF-8 already.
void ShowUtf8OnConsole();

}  // namespace tavelune::platform
