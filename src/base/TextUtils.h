#pragma once

// Byte-string helpers shared by the whole core. Texts are bytes in the system
// code page (or, for files of other programs, in their own); letter-case
// folding touches only the ASCII letters, so no double-byte character is
// ever altered.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavelune {

std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);

// Removes characters with codes up to 32 (blanks and control characters).
std::string TrimControl(std::string_view text);

// The bytes at 1-based columns first..last, as far as the text reaches.
std::string_view Columns(std::string_view text, std::size_t first, std::size_t last);

// A decimal integer with optional sign and surrounding blanks; nullopt for
// anything else, and for values beyond 64 bits.
std::optional<std::int64_t> ParseInteger(std::string_view text);
std::int64_t IntegerOr(std::string_view text, std::int64_t fallback);

// A decimal number ("12", "-3.5", "1e3") with optional surrounding blanks;
// `fallback` for anything else.
double NumberOr(std::string_view text, double fallback);

// The shortest text that reads back as the same double.
std::string ShortestNumberText(double value);

}  // namespace tavelune
