#pragma once

#include <string>
#include <string_view>

namespace tavelune::platform {

// Code page conversions at the platform's edge. Invalid input never throws:
// undecodable bytes come out as U+FFFD (or '?' where the target cannot hold it).

// CP932 (Shift-JIS as Windows writes it) to UTF-8.
std::string Cp932ToUtf8(std::string_view cp932);

// UTF-16 to the system code page: UTF-8 on Linux, the ANSI code page on Windows.
std::string Utf16ToSystem(std::u16string_view utf16);

}  // namespace tavelune::platform
