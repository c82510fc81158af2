#include "app/ProgramIcon.h"

#include <cmath>

namespace tavelune {

namespace {

void Put(TBitmap24& icon, int x, int y, TColor rgb) {
  std::uint8_t* pixel = icon.Pixel(x, y);
  pixel[0] = static_cast<std::uint8_t>(rgb >> 16);
  pixel[1] = static_cast<std::uint8_t>(rgb >> 8);
  pixel[2] = static_cast<std::uint8_t>(rgb);
}

}  // namespace

TBitmap24 DrawProgramIcon(TColor background) {
  constexpr int kSize = 32;
  constexpr TColor kFilm = 0x302820;    // dark brown-grey strip
  constexpr TColor kHole = 0xE8E8E8;    // sprocket holes
  constexpr TColor kSky = 0xE0A040;     // the still: sky,
  constexpr TColor kHill = 0x40A060;    // a green hill
  constexpr TColor kSun = 0x30C0FF;     // and an orange sun
  constexpr TColor kBorder = 0xF0F0F0;  // the still's white border
  TBitmap24 icon(kSize, kSize);
  icon.Fill(background);
  // The strip, rows 3..28, with holes along both edges.
  for (int y = 3; y <= 28; ++y) {
    for (int x = 1; x <= 30; ++x) {
      const bool edge = y <= 6 || y >= 25;
      const bool hole =
          edge && (x % 5 == 2 || x % 5 == 3) && (y == 4 || y == 5 || y == 26 || y == 27);
      Put(icon, x, y, hole ? kHole : kFilm);
    }
  }
  // The still, turned by about 10 degrees, centred in the frame.
  const double angle = 10.0 * 3.14159265358979 / 180;
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  for (int y = 7; y <= 24; ++y) {
    for (int x = 3; x <= 28; ++x) {
      // Into the still's own coordinates, centre (15.5, 15.5). The still is
      // turned counter-clockwise on screen (y grows downwards), its right
      // edge raised.
      const double dx = x - 15.5;
      const double dy = y - 15.5;
      const double u = c * dx - s * dy;
      const double v = s * dx + c * dy;
      if (std::fabs(u) > 11 || std::fabs(v) > 7) {
        continue;
      }
      TColor color = kSky;
      if (std::fabs(u) > 10 || std::fabs(v) > 6) {
        color = kBorder;
      } else if (v > u * u / 50) {  // below the hill's crest, highest in the middle
        color = kHill;
      } else if ((u - 5) * (u - 5) + (v + 2) * (v + 2) < 5) {
        color = kSun;
      }
      Put(icon, x, y, color);
    }
  }
  return icon;
}

}  // namespace tavelune
