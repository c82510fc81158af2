#include <array>

#include "platform/SystemColors.h"

namespace tavelune::platform {

std::uint32_t SystemColorRgb(int index) {
  // The default colours of a Windows desktop, by system colour index
  // (COLOR_SCROLLBAR = 0 ... COLOR_MENUBAR = 30), as 0x00BBGGRR.
  static constexpr std::array<std::uint32_t, 31> kDefaults = {
      0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
      0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xFF9933, 0xFFFFFF, 0xF0F0F0,
      0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
      0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0};
  return index >= 0 && index < static_cast<int>(kDefaults.size())
             ? kDefaults[static_cast<std::size_t>(index)]
             : 0;
}

}  // namespace tavelune::platform
