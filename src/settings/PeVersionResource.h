#pragma once

// The version resource of a Windows program file, read portably: the PE
// resource section is parsed here, so any build can read any .exe or .scr.
// Every offset and length in the file is checked; a damaged file gives "no
// version information", never a read outside the file or the block.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavelune {

// The VS_VERSIONINFO block of the file (resource type 16, name 1, the first
// language under it), as the platform's version-information service hands
// it out; empty when the file has none or is not a PE image.
std::string ReadVersionInfoBlock(const std::string& fileName);

// The same from an image already in memory (used by the fuzzer and tests).
std::string VersionInfoBlockFromImage(std::string_view image);

// One node of the block's tree.
struct TVersionValue {
  std::string_view Bytes;  // the node's value as stored
  bool IsText = false;     // wType 1: the value is UTF-16 text
};

// Looks a value up by path ("\VarFileInfo\Translation",
// "\StringFileInfo\041104B0\ProductName"); keys compare without regard to
// ASCII letter case, as the platform's query does. nullopt when absent.
std::optional<TVersionValue> QueryVersionValue(std::string_view block, std::string_view path);

// The first translation of the block: language and code page, or nullopt.
std::optional<std::pair<std::uint16_t, std::uint16_t>> FirstTranslation(std::string_view block);

// A text value up to its first NUL, at most `maxChars` UTF-16 units (never
// cutting a surrogate pair), converted to the system code page.
std::string VersionText(const TVersionValue& value, std::size_t maxChars);

}  // namespace tavelune
