#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace tavelune {

// The offset of the first occurrence of `needle` in `haystack`, or npos.
// An empty needle occurs at 0. Gives exactly what testing every position in
// turn gives, at memory speed: candidates are the positions where the first
// and the last needle byte both match, found 16 or 32 positions at a time.
std::size_t FindBytes(std::string_view haystack, std::string_view needle);

inline constexpr std::uint64_t kWholeFile = std::numeric_limits<std::uint64_t>::max();

// The offset of the first occurrence of `pattern` in the file, or -1 when
// there is none or the file cannot be read. Only the first `limit` bytes of
// the file are searched. Reads the file once, in large blocks.
std::int64_t FindBytesInFile(const std::string& fileName, const std::string& pattern,
                             std::uint64_t limit = kWholeFile);

}  // namespace tavelune
