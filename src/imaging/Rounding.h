#pragma once

// Rounding shared by the exact picture routines and their fast routes.

#include <cmath>

namespace tavelune {

// Round half to even for |value| < 2^51 by the magic-number addition: exact
// in the default rounding mode, vectorisable, and a fraction of a library
// call's cost.
inline double RoundHalfEvenFast(double value) {
  constexpr double kMagic = 6755399441055744.0;  // 1.5 * 2^52
  return (value + kMagic) - kMagic;
}

// How close to a rounding edge (x.5) a fast route's value may come before
// it is computed again the defining way. The fast routes differ from the
// defining ones by about 1e-12 at most.
inline constexpr double kEdgeMargin = 1e-7;

// Whether `value`, rounded to `rounded`, lies within kEdgeMargin of an edge.
inline bool NearRoundingEdge(double value, double rounded) {
  return std::fabs(value - rounded) > 0.5 - kEdgeMargin;
}

}  // namespace tavelune
