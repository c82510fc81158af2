#pragma once

// Area-averaging resampling: each result pixel is the exact average, over
// the area it covers in the source, of the bilinear surface through the
// source pixels' centres (the surface continues the edge pixels outside).

#include <stdexcept>

#include "imaging/Bitmap.h"

namespace tavelune {

// Raised for a source without pixels.
class EAssertionFailed : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// A new picture of exactly newWidth x newHeight. Throws EAssertionFailed
// ("Assertion failure (BitmapUtils)") for an empty source and
// std::invalid_argument for a wanted size below 1.
//
// The result is byte for byte what the per-pixel definition gives: the
// surface integral is computed separably (a row pass, then a column pass),
// and the few pixels whose average lies within a hair of a rounding edge are
// computed again the defining way, cell by cell, so that a different
// summation route never rounds differently.
TBitmap24 ResampleBitmap(const TBitmap24& source, int newWidth, int newHeight);

}  // namespace tavelune
