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
// surface integral is computed separably (a row pass, then a column pass) in
// single precision with a proven error bound; the few values that lie within
// that bound of a rounding edge are computed again separably in double
// precision, and those still within a hair of an edge the defining way,
// cell by cell, so that a different summation route never rounds
// differently.
TBitmap24 ResampleBitmap(const TBitmap24& source, int newWidth, int newHeight);

// Which loops ResampleBitmap runs: the best the processor offers (the
// default) or the portable ones that every build has, so that a test can
// hold both to the definition on one machine.
enum class TResampleKernels { Best, Baseline };
void SetResampleKernels(TResampleKernels kernels);

}  // namespace tavelune
