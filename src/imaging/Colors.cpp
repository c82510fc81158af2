#include "imaging/Colors.h"

#include <charconv>

#include "platform/SystemColors.h"

namespace tavelune {

TColor ColorToRgb(TColor color) {
  if ((color & kSystemColorFlag) != 0) {
    return platform::SystemColorRgb(static_cast<int>(color & 0xFF)) & 0x00FFFFFF;
  }
  return color & 0x00FFFFFF;
}

std::optional<TColor> ParseColorValue(const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* first = text.data() + (hex ? 2 : 0);
  const char* last = text.data() + text.size();
  TColor value = 0;
  auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
  if (first == last || error != std::errc() || end != last) {
    return std::nullopt;
  }
  return value;
}

}  // namespace tavelune
