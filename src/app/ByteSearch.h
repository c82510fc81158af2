#pragma once

#include <cstddef>
#include <string_view>

namespace tavelune {

// The offset of the first occurrence of `needle` in `haystack`, or npos.
// An empty needle occurs at 0. Gives exactly what testing every position in
// turn gives, at memory speed: candidates are the positions where the first
// and the last needle byte both match, found 16 or 32 positions at a time.
std::size_t FindBytes(std::string_view haystack, std::string_view needle);

}  // namespace tavelune
