#pragma once

#include <string>

#include "imaging/Bitmap.h"

namespace tavelune::platform {

// Draws text onto the core's pictures in the saver window's font: the
// Japanese UI font of the desktop ("ＭＳ Ｐゴシック" where it exists, a CJK
// sans-serif otherwise) at 12 pixels. Linux: Qt, which needs no display for
// this (the off-screen platform is used when no application exists yet).
// UI thread.
class TTextPainter {
 public:
  TTextPainter();
  ~TTextPainter() = default;
  TTextPainter(const TTextPainter&) = delete;
  TTextPainter& operator=(const TTextPainter&) = delete;

  // `text` in the system code page, its cell's top-left corner at (x, y),
  // the cell first filled with `brushColor`. Colours are RGB (0x00BBGGRR).
  void DrawText(TBitmap24& surface, int x, int y, const std::string& text, TColor fontColor,
                TColor brushColor);
};

}  // namespace tavelune::platform
