#pragma once

#include <cstdint>

namespace tavelune::platform {

// The RGB value (0x00BBGGRR) of system colour `index` (COLOR_WINDOW = 5,
// COLOR_BTNFACE = 15, ...). Windows: GetSysColor. Linux: the Windows
// defaults, a fixed table; unknown indexes give black.
std::uint32_t SystemColorRgb(int index);

}  // namespace tavelune::platform
