#pragma once

#include "imaging/Bitmap.h"

namespace tavelune {

// The program's icon, 32 × 32: a strip of film whose frame holds a small,
// slightly turned still, over `background` (RGB, 0x00BBGGRR) where the icon
// is transparent. The installed icon (assets/tavelune.svg) is the same
// drawing.
TBitmap24 DrawProgramIcon(TColor background);

}  // namespace tavelune
