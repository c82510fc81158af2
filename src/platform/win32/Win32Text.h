#pragma once

// Text as the Win32 wide calls take it.

#include <string>

namespace tavelune::platform {

// System code page text (what the core's strings hold) as UTF-16.
std::wstring WideText(const std::string& text);
// UTF-8 source text (the user interface's literals) as UTF-16.
std::wstring WideFromUtf8(const std::string& text);

}  // namespace tavelune::platform
