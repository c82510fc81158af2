#pragma once

// Whether a frame is worth drawing: a fade, a black frame between scenes or
// a flat title card makes a rectangle of one colour in the collage.

#include <cstdint>

#include "imaging/Bitmap.h"

namespace tavelune {

// What the blank test measured on a strided sample of the picture's luma
// (0..255, BT.601 weights).
struct TFlatness {
  double MeanLuma = 0;     // 0..255
  double ShareInBand = 0;  // 0..1: the largest share of samples within one band
  std::uint32_t Samples = 0;
};

// Samples within this many levels of one another count as one flat band.
inline constexpr int kFlatBandLevels = 16;
// A frame this dark on average, or this flat, is blank.
inline constexpr double kBlankMeanLuma = 16;
inline constexpr double kBlankShareInBand = 0.98;

// Measures about 65 536 samples spread over the picture, whatever its size,
// so that a 1080p frame costs well under a millisecond. An empty picture
// measures as black.
TFlatness MeasureFlatness(const TBitmap24& picture);

// A mean luma below kBlankMeanLuma, or kBlankShareInBand of the samples in
// one band of kFlatBandLevels levels.
bool IsBlankPicture(const TBitmap24& picture);

}  // namespace tavelune
