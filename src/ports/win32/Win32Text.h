#pragma once

// Text as the Win32 wide calls take it.

#include <optional>
#include <string>
#include <string_view>

namespace tavelune::platform {

// System code page text (what the core's strings hold) as UTF-16.
std::wstring WideText(const std::string& text);
// UTF-8 source text (the user interface's literals) as UTF-16.
std::wstring WideFromUtf8(const std::string& text);
// UTF-16 as system code page text; characters the code page lacks become
// its default character.
std::string SystemText(std::wstring_view wide);
// UTF-16 as system code page text, or nullopt when the code page cannot
// hold every character (a name that would no longer name its file).
std::optional<std::string> ExactSystemText(std::wstring_view wide);

// A file or folder name (system code page) as the wide file calls take it.
// A name near or past MAX_PATH is made full and given the extended-length
// prefix (\\?\, or \\?\UNC\ for a share), which lifts the limit on every
// Windows; shorter names stay as they are, relative ones too.
std::wstring WideFileName(const std::string& name);

}  // namespace tavelune::platform
