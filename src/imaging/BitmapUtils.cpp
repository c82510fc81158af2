#include "imaging/BitmapUtils.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/CpuDispatch.h"
#include "imaging/Rounding.h"

namespace tavelune {

namespace {

// The resampling geometry shared by both routes.
struct TGeometry {
  int SW, SH, NW, NH;
  double Area;  // source pixels per result pixel
  double Sx, Sy;
};

// Overlap of a footprint [lo, hi] with the cell [i, i + 1] on one axis:
// its length and its centre in the cell's local coordinate.
struct TOverlap {
  double W;
  double M;
};

TOverlap Overlap(int i, double lo, double hi) {
  if (i > lo && i + 1 < hi) {
    return {1, 0.5};
  }
  if (i <= lo && i + 1 < hi) {
    return {1 - (lo - i), ((lo - i) + 1) / 2};
  }
  if (i > lo && i + 1 >= hi) {
    return {hi - i, (hi - i) / 2};
  }
  return {hi - lo, ((hi - i) + (lo - i)) / 2};
}

// The footprint of result index `n` on an axis of scale `s`. The upper edge
// is pulled in by a millionth so that an edge exactly on a pixel centre
// does not open one more cell.
double Low(int n, double s) {
  return n * s - 0.5;
}
double High(int n, double s) {
  return (n + 1) * s - 0.500001;
}

std::uint8_t RoundToByte(double value) {
  return static_cast<std::uint8_t>(RoundHalfEvenFast(value));
}

// One result pixel the defining way: cell by cell, rows outside, columns
// inside, each cell's integral added to the sums in that order.
void DefiningPixel(const TBitmap24& source, const TGeometry& g, int x, int y, std::uint8_t* out) {
  const double x0 = Low(x, g.Sx), x1 = High(x, g.Sx);
  const double y0 = Low(y, g.Sy), y1 = High(y, g.Sy);
  double sums[3] = {0, 0, 0};
  for (int j = static_cast<int>(std::floor(y0)); j <= static_cast<int>(std::floor(y1)); ++j) {
    const TOverlap oy = Overlap(j, y0, y1);
    const int r0 = std::clamp(j, 0, g.SH - 1);
    const int r1 = std::clamp(j + 1, 0, g.SH - 1);
    for (int i = static_cast<int>(std::floor(x0)); i <= static_cast<int>(std::floor(x1)); ++i) {
      const TOverlap ox = Overlap(i, x0, x1);
      const int c0 = std::clamp(i, 0, g.SW - 1);
      const int c1 = std::clamp(i + 1, 0, g.SW - 1);
      for (int ch = 0; ch < 3; ++ch) {
        const int p00 = source.Pixel(c0, r0)[ch];
        const int p10 = source.Pixel(c1, r0)[ch];
        const int p01 = source.Pixel(c0, r1)[ch];
        const int p11 = source.Pixel(c1, r1)[ch];
        const int a = p00, bx = p10 - p00, by = p01 - p00, bxy = p11 - p10 - p01 + p00;
        sums[ch] += ox.W * oy.W * (a + bx * ox.M + by * oy.M + bxy * ox.M * oy.M);
      }
    }
  }
  for (int ch = 0; ch < 3; ++ch) {
    out[ch] = RoundToByte(sums[ch] / g.Area);
  }
}

// The weights of the source samples (rows or columns) for each result index:
// a cell's overlap gives w·(1 − m) to its lower and w·m to its upper sample,
// which is the separable form of the bilinear integral.
struct TTaps {
  std::vector<int> First;       // first source sample of each result index
  std::vector<int> Count;       // number of samples
  std::vector<double> Weights;  // Count[n] weights per result index, at Offset[n]
  std::vector<std::size_t> Offset;
  int MaxCount = 0;
};

TTaps MakeTaps(int resultSize, int sourceSize, double scale) {
  TTaps taps;
  std::vector<double> weights;
  for (int n = 0; n < resultSize; ++n) {
    const double lo = Low(n, scale), hi = High(n, scale);
    const int firstCell = static_cast<int>(std::floor(lo));
    const int lastCell = static_cast<int>(std::floor(hi));
    const int first = std::clamp(firstCell, 0, sourceSize - 1);
    const int last = std::clamp(lastCell + 1, 0, sourceSize - 1);
    const int count = last - first + 1;
    weights.assign(static_cast<std::size_t>(count), 0.0);
    auto slot = [&](int sample) {
      return static_cast<std::size_t>(std::clamp(sample, 0, sourceSize - 1) - first);
    };
    for (int i = firstCell; i <= lastCell; ++i) {
      const TOverlap o = Overlap(i, lo, hi);
      weights[slot(i)] += o.W * (1 - o.M);
      weights[slot(i + 1)] += o.W * o.M;
    }
    taps.First.push_back(first);
    taps.Count.push_back(static_cast<int>(weights.size()));
    taps.Offset.push_back(taps.Weights.size());
    taps.Weights.insert(taps.Weights.end(), weights.begin(), weights.end());
    taps.MaxCount = std::max(taps.MaxCount, static_cast<int>(weights.size()));
  }
  return taps;
}

// sums[v] = weight * in[v]: the first source row's share of a result row.
TAVELUNE_VECTOR_CLONES void Weighted(double* __restrict sums, const double* __restrict in,
                                     double weight, std::size_t count) {
  for (std::size_t v = 0; v < count; ++v) {
    sums[v] = weight * in[v];
  }
}

// sums[v] += weight * in[v]: a further source row's share.
TAVELUNE_VECTOR_CLONES void AddWeighted(double* __restrict sums, const double* __restrict in,
                                        double weight, std::size_t count) {
  for (std::size_t v = 0; v < count; ++v) {
    sums[v] += weight * in[v];
  }
}

// Rounds a row of averages; true when any lies too close to a rounding
// edge to be trusted (the caller then finds which).
TAVELUNE_VECTOR_CLONES bool RoundRow(const double* __restrict sums,
                                     std::int32_t* __restrict rounded, std::size_t count) {
  // 64-bit flags, as wide as the doubles they come from, keep the
  // vectorised loop free of mask narrowing.
  std::int64_t any = 0;
  for (std::size_t v = 0; v < count; ++v) {
    const double nearest = RoundHalfEvenFast(sums[v]);
    any |= static_cast<std::int64_t>(NearRoundingEdge(sums[v], nearest));
    rounded[v] = static_cast<std::int32_t>(nearest);
  }
  return any != 0;
}

// The column pass and the rounding in one sweep for result rows made of K
// source rows (the common case: K <= 4); same results as AddWeighted then
// RoundRow.
template <int K>
[[gnu::always_inline]] inline bool FusedRowBody(const double* const* in, const double* w,
                                                std::int32_t* __restrict rounded,
                                                std::size_t count) {
  std::int64_t any = 0;
  for (std::size_t v = 0; v < count; ++v) {
    double sum = w[0] * in[0][v];
    for (int k = 1; k < K; ++k) {
      sum += w[k] * in[k][v];
    }
    const double nearest = RoundHalfEvenFast(sum);
    any |= static_cast<std::int64_t>(NearRoundingEdge(sum, nearest));
    rounded[v] = static_cast<std::int32_t>(nearest);
  }
  return any != 0;
}

TAVELUNE_VECTOR_CLONES bool FusedRow2(const double* const* in, const double* w,
                                      std::int32_t* __restrict rounded, std::size_t count) {
  return FusedRowBody<2>(in, w, rounded, count);
}
TAVELUNE_VECTOR_CLONES bool FusedRow3(const double* const* in, const double* w,
                                      std::int32_t* __restrict rounded, std::size_t count) {
  return FusedRowBody<3>(in, w, rounded, count);
}
TAVELUNE_VECTOR_CLONES bool FusedRow4(const double* const* in, const double* w,
                                      std::int32_t* __restrict rounded, std::size_t count) {
  return FusedRowBody<4>(in, w, rounded, count);
}

TAVELUNE_VECTOR_CLONES void PackRow(const std::int32_t* __restrict rounded,
                                    std::uint8_t* __restrict out, std::size_t count) {
  for (std::size_t v = 0; v < count; ++v) {
    out[v] = static_cast<std::uint8_t>(rounded[v]);
  }
}

// The column taps with every result column given the same number K of
// source columns (zero weights where it has fewer; a window that would run
// past the right edge is moved left), so the row pass is one fixed loop.
struct TFixedTaps {
  int K = 0;
  std::vector<int> First;
  std::vector<double> Weights;  // K per result column
};

TFixedTaps FixTaps(const TTaps& taps, int sourceSize) {
  TFixedTaps fixed;
  fixed.K = taps.MaxCount;
  for (std::size_t n = 0; n < taps.First.size(); ++n) {
    const int first = std::min(taps.First[n], sourceSize - fixed.K);
    const int shift = taps.First[n] - first;
    fixed.First.push_back(first);
    for (int k = 0; k < fixed.K; ++k) {
      const int own = k - shift;
      fixed.Weights.push_back(own >= 0 && own < taps.Count[n] ? taps.Weights[taps.Offset[n] + own]
                                                              : 0.0);
    }
  }
  return fixed;
}

TAVELUNE_VECTOR_CLONES void ToDoubles(const std::uint8_t* __restrict in, double* __restrict out,
                                      std::size_t count) {
  for (std::size_t v = 0; v < count; ++v) {
    out[v] = in[v];
  }
}

// One source row's pass: result column x takes `tapCount` consecutive
// source pixels (of `row`, in doubles) with its weights. Always inlined, so
// a constant tap count unrolls the inner loop.
[[gnu::always_inline]] inline void RowPassBody(const double* row, const TFixedTaps& taps,
                                               double* out, int width, int tapCount) {
  const double* w = taps.Weights.data();
  for (int x = 0; x < width; ++x, w += tapCount) {
    const double* p = row + 3 * static_cast<std::size_t>(taps.First[static_cast<std::size_t>(x)]);
    double b = 0, g = 0, r = 0;
    for (int k = 0; k < tapCount; ++k) {
      b += w[k] * p[3 * k];
      g += w[k] * p[3 * k + 1];
      r += w[k] * p[3 * k + 2];
    }
    out[3 * x] = b;
    out[3 * x + 1] = g;
    out[3 * x + 2] = r;
  }
}

TAVELUNE_VECTOR_CLONES void RowPass(const double* row, const TFixedTaps& taps, double* out,
                                    int width) {
  switch (taps.K) {
    case 1:
      return RowPassBody(row, taps, out, width, 1);
    case 2:
      return RowPassBody(row, taps, out, width, 2);
    case 3:
      return RowPassBody(row, taps, out, width, 3);
    case 4:
      return RowPassBody(row, taps, out, width, 4);
    case 5:
      return RowPassBody(row, taps, out, width, 5);
    default:
      return RowPassBody(row, taps, out, width, taps.K);
  }
}

}  // namespace

TBitmap24 ResampleBitmap(const TBitmap24& source, int newWidth, int newHeight) {
  if (source.Width() < 1 || source.Height() < 1) {
    throw EAssertionFailed("Assertion failure (BitmapUtils)");
  }
  if (newWidth < 1 || newHeight < 1) {
    throw std::invalid_argument("ResampleBitmap: the wanted size " + std::to_string(newWidth) +
                                " x " + std::to_string(newHeight) + " is below 1 x 1");
  }
  TGeometry g{source.Width(), source.Height(), newWidth, newHeight, 0, 0, 0};
  // The pixel count is formed as a 32-bit integer, then divided as reals.
  const auto pixelCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(g.SW) *
                                                    static_cast<std::uint32_t>(g.SH));
  g.Area = static_cast<double>(pixelCount) / g.NW / g.NH;
  g.Sx = static_cast<double>(g.SW) / g.NW;
  g.Sy = static_cast<double>(g.SH) / g.NH;

  TBitmap24 result(newWidth, newHeight);
  const TTaps columns = MakeTaps(g.NW, g.SW, g.Sx);
  const TTaps rows = MakeTaps(g.NH, g.SH, g.Sy);

  // Row pass results, one per source row, kept in a ring as long as a
  // result row needs them (source rows are needed in increasing order).
  const std::size_t rowValues = 3 * static_cast<std::size_t>(g.NW);
  const int ringSize = rows.MaxCount;
  std::vector<double> ring(static_cast<std::size_t>(ringSize) * rowValues);
  std::vector<int> ringRow(static_cast<std::size_t>(ringSize), -1);
  const TFixedTaps fixedColumns = FixTaps(columns, g.SW);
  std::vector<double> sourceValues(3 * static_cast<std::size_t>(g.SW));
  auto rowPass = [&](int sourceRow) -> const double* {
    const auto slot = static_cast<std::size_t>(sourceRow % ringSize);
    double* out = ring.data() + slot * rowValues;
    if (ringRow[slot] != sourceRow) {
      ringRow[slot] = sourceRow;
      ToDoubles(source.Row(sourceRow), sourceValues.data(), sourceValues.size());
      RowPass(sourceValues.data(), fixedColumns, out, g.NW);
    }
    return out;
  };

  std::vector<double> sums(rowValues);
  std::vector<std::int32_t> rounded(rowValues);
  std::vector<const double*> inputs(static_cast<std::size_t>(rows.MaxCount));
  std::vector<double> scaled(static_cast<std::size_t>(rows.MaxCount));
  // The fast route may multiply by the reciprocal: it only decides values
  // that lie clear of a rounding edge.
  const double inverseArea = 1 / g.Area;
  for (int y = 0; y < g.NH; ++y) {
    const auto yi = static_cast<std::size_t>(y);
    const int count = rows.Count[yi];
    // The row weights with the division by the area folded in.
    const double* rowWeights = rows.Weights.data() + rows.Offset[yi];
    for (int k = 0; k < count; ++k) {
      inputs[static_cast<std::size_t>(k)] = rowPass(rows.First[yi] + k);
      scaled[static_cast<std::size_t>(k)] = rowWeights[k] * inverseArea;
    }
    const double* w = scaled.data();
    bool anyNearEdge = false;
    switch (count) {
      case 2:
        anyNearEdge = FusedRow2(inputs.data(), w, rounded.data(), rowValues);
        break;
      case 3:
        anyNearEdge = FusedRow3(inputs.data(), w, rounded.data(), rowValues);
        break;
      case 4:
        anyNearEdge = FusedRow4(inputs.data(), w, rounded.data(), rowValues);
        break;
      default:
        for (int k = 0; k < count; ++k) {
          (k == 0 ? Weighted : AddWeighted)(sums.data(), inputs[static_cast<std::size_t>(k)], w[k],
                                            rowValues);
        }
        anyNearEdge = RoundRow(sums.data(), rounded.data(), rowValues);
    }
    std::uint8_t* out = result.Row(y);
    PackRow(rounded.data(), out, rowValues);
    for (int x = 0; anyNearEdge && x < g.NW; ++x) {
      const std::size_t v = 3 * static_cast<std::size_t>(x);
      bool nearEdge = false;
      for (std::size_t ch = 0; ch < 3; ++ch) {
        double sum = 0;
        for (int k = 0; k < count; ++k) {
          sum += w[k] * inputs[static_cast<std::size_t>(k)][v + ch];
        }
        nearEdge = nearEdge || NearRoundingEdge(sum, RoundHalfEvenFast(sum));
      }
      if (nearEdge) {
        DefiningPixel(source, g, x, y, out + v);
      }
    }
  }
  return result;
}

}  // namespace tavelune
