#pragma once

// File name parts, split at the platform's delimiters (PathStyle.h) and aware
// of double-byte characters: a trail byte that happens to be 0x5C ("\") or
// 0x2E (".") inside a CP932 name never splits it.

#include <string>
#include <string_view>

namespace tavelune {

// The position of the last byte of `text` that is one of `delimiters` and is
// not the trail byte of a double-byte character; npos when there is none.
std::size_t LastDelimiter(std::string_view delimiters, std::string_view text);

// From the last "." that stands after the last folder delimiter to the end,
// dot included; empty when there is no such dot.
std::string ExtractFileExt(std::string_view fileName);
// The folder part, up to and including its last delimiter; empty when none.
std::string ExtractFilePath(std::string_view fileName);
// The name without its folder part.
std::string ExtractFileName(std::string_view fileName);
// The name with its extension replaced by `extension` (or `extension`
// appended when the name has none).
std::string ChangeFileExt(std::string_view fileName, std::string_view extension);
// A folder name with the platform delimiter appended unless it ends with one.
std::string IncludeTrailingDelimiter(std::string_view folder);

}  // namespace tavelune
