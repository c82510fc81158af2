#include "imaging/Canvas.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tavelune {

namespace {

// The part of `source` placed at (left, top) that lies inside `target`.
struct TClip {
  int SourceX, SourceY, TargetX, TargetY, Width, Height;
  bool Empty() const { return Width <= 0 || Height <= 0; }
};

TClip ClipTo(const TBitmap24& target, const TBitmap24& source, int left, int top) {
  TClip clip{};
  const long long x0 = std::max<long long>(left, 0);
  const long long y0 = std::max<long long>(top, 0);
  const long long x1 =
      std::min<long long>(static_cast<long long>(left) + source.Width(), target.Width());
  const long long y1 =
      std::min<long long>(static_cast<long long>(top) + source.Height(), target.Height());
  clip.TargetX = static_cast<int>(x0);
  clip.TargetY = static_cast<int>(y0);
  clip.SourceX = static_cast<int>(x0 - left);
  clip.SourceY = static_cast<int>(y0 - top);
  clip.Width = static_cast<int>(std::max<long long>(x1 - x0, 0));
  clip.Height = static_cast<int>(std::max<long long>(y1 - y0, 0));
  return clip;
}

}  // namespace

TColor PixelColor(const TBitmap24& bitmap, int x, int y) {
  const std::uint8_t* p = bitmap.Pixel(x, y);
  return static_cast<TColor>(p[2]) | static_cast<TColor>(p[1]) << 8 |
         static_cast<TColor>(p[0]) << 16;
}

void DrawBitmap(TBitmap24& target, const TBitmap24& source, int left, int top) {
  const TClip clip = ClipTo(target, source, left, top);
  if (clip.Empty()) {
    return;
  }
  for (int y = 0; y < clip.Height; ++y) {
    std::memcpy(target.Pixel(clip.TargetX, clip.TargetY + y),
                source.Pixel(clip.SourceX, clip.SourceY + y),
                3 * static_cast<std::size_t>(clip.Width));
  }
}

void DrawBitmapTransparent(TBitmap24& target, const TBitmap24& source, int left, int top,
                           TColor transparent) {
  const TClip clip = ClipTo(target, source, left, top);
  if (clip.Empty()) {
    return;
  }
  const std::uint8_t blue = (transparent >> 16) & 0xFF;
  const std::uint8_t green = (transparent >> 8) & 0xFF;
  const std::uint8_t red = transparent & 0xFF;
  for (int y = 0; y < clip.Height; ++y) {
    const std::uint8_t* from = source.Pixel(clip.SourceX, clip.SourceY + y);
    std::uint8_t* to = target.Pixel(clip.TargetX, clip.TargetY + y);
    for (int x = 0; x < clip.Width; ++x, from += 3, to += 3) {
      if (from[0] != blue || from[1] != green || from[2] != red) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
      }
    }
  }
}

void StretchDrawWhole(TBitmap24& target, const TBitmap24& source) {
  if (target.Empty() || source.Empty()) {
    return;
  }
  if (target.Width() == source.Width() && target.Height() == source.Height()) {
    DrawBitmap(target, source, 0, 0);
    return;
  }
  std::vector<int> column(static_cast<std::size_t>(target.Width()));
  for (int x = 0; x < target.Width(); ++x) {
    column[static_cast<std::size_t>(x)] =
        static_cast<int>(static_cast<long long>(x) * source.Width() / target.Width());
  }
  for (int y = 0; y < target.Height(); ++y) {
    const int sy = static_cast<int>(static_cast<long long>(y) * source.Height() / target.Height());
    const std::uint8_t* from = source.Row(sy);
    std::uint8_t* to = target.Row(y);
    for (int x = 0; x < target.Width(); ++x, to += 3) {
      std::memcpy(to, from + 3 * static_cast<std::size_t>(column[static_cast<std::size_t>(x)]), 3);
    }
  }
}

}  // namespace tavelune
