#pragma once

// Drawing one picture onto another, as still composition needs it: the
// GDI operations the stills are drawn with (a plain copy, a copy that
// leaves out one colour, a stretched copy), on the core's picture type.
// Parts of the source that fall outside the target are cut off.

#include "imaging/Bitmap.h"

namespace tavelune {

// The RGB colour (0x00BBGGRR) of one pixel.
TColor PixelColor(const TBitmap24& bitmap, int x, int y);

// Copies `source` with its top-left corner at (left, top).
void DrawBitmap(TBitmap24& target, const TBitmap24& source, int left, int top);

// The same, leaving out every pixel of the colour `transparent` (RGB).
void DrawBitmapTransparent(TBitmap24& target, const TBitmap24& source, int left, int top,
                           TColor transparent);

// Covers the whole of `target` with `source`, stretched or shrunk by
// taking the nearest source pixel (the plain colour-on-colour stretch).
void StretchDrawWhole(TBitmap24& target, const TBitmap24& source);

}  // namespace tavelune
