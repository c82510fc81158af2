#include "imaging/Resample.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/CpuDispatch.h"
#include "imaging/Rounding.h"

// Hand-written AVX-512 kernels, chosen at run time, where the vector clones
// of CpuDispatch.h are built too; thread-sanitizer builds (and the other
// platforms) keep the portable loops.
#if defined(__x86_64__) && defined(__linux__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__)
#define TAVELUNE_RESAMPLE_AVX512 1
#include <immintrin.h>
#else
#define TAVELUNE_RESAMPLE_AVX512 0
#endif

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
  const auto size = static_cast<std::size_t>(resultSize);
  taps.First.reserve(size);
  taps.Count.reserve(size);
  taps.Offset.reserve(size);
  // A footprint of `scale` cells has at most scale + 2 samples.
  taps.Weights.reserve(
      size * (static_cast<std::size_t>(std::min(scale, static_cast<double>(sourceSize))) + 3));
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
  fixed.First.reserve(taps.First.size());
  fixed.Weights.reserve(taps.First.size() * static_cast<std::size_t>(fixed.K));
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

// The fast route works in single precision and proves each of its results
// or hands it on. All weights and all pixels are non-negative, so every
// product that makes up a result keeps its own relative error: one rounding
// for each of its two weights' conversion to float and at most one per
// multiplication and addition it passes through, at most
// n = Kx + Ky + 2 of them for Kx taps in the row pass and Ky in the column
// pass (a fused multiply-add rounds once, so it only lowers the count; a
// non-negative constant added in the sum is one more such term). A float
// result thus lies within gamma_n * value of the exact separable value
// (gamma_n = n*u / (1 - n*u), u = 2^-24, values with such a constant below
// 257), which itself lies within about 1e-12 of the defining one. With E
// that bound plus a generous 1e-6, a result closer than E to a rounding
// edge is computed again in double precision; the others round like the
// defining value. The order of the float operations therefore does not
// matter, and the kernels may differ in it.
//
// The two forms of the test (every value is flagged when the weights are
// not all non-negative or the bound is too loose to decide anything):
// - a value v is flagged when |v - round(v)| > Limit (Limit <= 0.5 - E);
// - a value computed with Offset added, v' = v + Offset with
//   Offset = 0.5 + c and c >= E, is flagged when its fraction
//   f = v' - floor(v') is at most Band (Band >= c + E). Otherwise the exact
//   value lies above floor(v') + f - E - c - 0.5 > floor(v') - 0.5 and
//   below floor(v') + 1 + E - c - 0.5 <= floor(v') + 0.5, so floor(v') is
//   its rounding. This form needs no absolute value and rounds down.
struct TEdgeTest {
  float Limit = -1.0f;
  float Offset = 0.5f;
  float Band = 2.0f;
};

float RoundedUp(double value) {
  const auto f = static_cast<float>(value);
  return static_cast<double>(f) < value ? std::nextafter(f, 2.0f * f + 1.0f) : f;
}

float RoundedDown(double value) {
  const auto f = static_cast<float>(value);
  return static_cast<double>(f) > value ? std::nextafter(f, -1.0f) : f;
}

TEdgeTest MakeEdgeTest(int roundings, bool decidable) {
  TEdgeTest test;
  const double nu = roundings * std::ldexp(1.0, -24);
  if (!decidable || nu >= 0.01) {
    return test;
  }
  // Values and the offset stay below 257.
  const double bound = nu / (1 - nu) * 257 + 1e-6;
  if (bound >= 0.2) {
    return test;
  }
  test.Limit = RoundedDown(0.5 - bound);
  test.Offset = RoundedUp(0.5 + bound);
  test.Band = RoundedUp((static_cast<double>(test.Offset) - 0.5) + bound);
  return test;
}

// Round half to even in float for 0 <= value < 2^22 (see RoundHalfEvenFast).
inline float RoundHalfEvenFloat(float value) {
  constexpr float kMagic = 12582912.0f;  // 1.5 * 2^23
  return (value + kMagic) - kMagic;
}

std::atomic<bool> gBaselineOnly{false};

#if TAVELUNE_RESAMPLE_AVX512
#define TAVELUNE_AVX512_TARGET [[gnu::target("avx512f,avx512bw,avx512dq,avx512vl,fma")]]
bool HasAvx512() {
  static const bool kHas = __builtin_cpu_supports("avx512f") &&
                           __builtin_cpu_supports("avx512bw") &&
                           __builtin_cpu_supports("avx512dq") &&
                           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("fma");
  return kHas && !gBaselineOnly.load(std::memory_order_relaxed);
}
#else
bool HasAvx512() {
  return false;
}
#endif

constexpr std::size_t kLanes = 16;

// The row pass in float: result column x takes K consecutive source pixels
// from First[x] (the fixed taps) with float weights. For the AVX-512 kernel
// the same taps are also laid out per block of 16 result values: the block
// reads a window of Window (16 or 32) source values from Base, and lane l
// takes tap k from window index Index[l] + 3k with weight
// LaneWeights[16k + l]. Enlargements and mild reductions fit a window.
struct TRowPlan {
  int K = 0;
  std::vector<int> First;
  std::vector<float> Weights;  // K per result column
  int Window = 0;              // 0: no window fits, the portable loop runs
  std::vector<std::int32_t> Base;
  std::vector<std::int32_t> Index;  // 16 per block
  std::vector<float> LaneWeights;   // 16 * K per block
};

TRowPlan MakeRowPlan(const TFixedTaps& fixed, int resultWidth, bool windows) {
  TRowPlan plan;
  plan.K = fixed.K;
  plan.First = fixed.First;
  plan.Weights.assign(fixed.Weights.begin(), fixed.Weights.end());
  if (!windows) {
    return plan;
  }
  const std::size_t values = 3 * static_cast<std::size_t>(resultWidth);
  const std::size_t blocks = (values + kLanes - 1) / kLanes;
  const auto k = static_cast<std::size_t>(plan.K);
  plan.Base.resize(blocks);
  plan.Index.resize(blocks * kLanes);
  plan.LaneWeights.resize(blocks * kLanes * k);
  int reach = 0;  // the largest window index any tap reads
  for (std::size_t b = 0; b < blocks; ++b) {
    const int base = 3 * plan.First[b * kLanes / 3];
    plan.Base[b] = base;
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      const std::size_t v = b * kLanes + lane;
      int index = 0;
      if (v < values) {
        const std::size_t x = v / 3;
        index = 3 * plan.First[x] + static_cast<int>(v % 3) - base;
        for (std::size_t tap = 0; tap < k; ++tap) {
          plan.LaneWeights[(b * k + tap) * kLanes + lane] = plan.Weights[x * k + tap];
        }
      }
      reach = std::max(reach, index + 3 * (plan.K - 1));
      if (index < 0 || reach >= 32) {
        // The taps spread too far for a window: the portable loop does it.
        plan.Base.clear();
        plan.Index.clear();
        plan.LaneWeights.clear();
        return plan;
      }
      plan.Index[b * kLanes + lane] = index;
    }
  }
  plan.Window = reach < 16 ? 16 : 32;
  return plan;
}

TAVELUNE_VECTOR_CLONES void ToFloats(const std::uint8_t* __restrict in, float* __restrict out,
                                     std::size_t count) {
  for (std::size_t v = 0; v < count; ++v) {
    out[v] = in[v];
  }
}

// One source row's pass (`row` in floats, readable for one value past its
// end), portable form: a result pixel is the weighted sum of K source
// pixels, taken 4 values wide. The fourth value (a sum of next pixels'
// first values) lands on the next result pixel's first value, which is
// written next, or on the row's padding. Always inlined, so a constant tap
// count unrolls the inner loop.
[[gnu::always_inline]] inline void RowPassBody(const float* __restrict row, const TRowPlan& plan,
                                               float* __restrict out, int width, int tapCount) {
  using TQuad = float __attribute__((vector_size(16)));
  const float* w = plan.Weights.data();
  for (int x = 0; x < width; ++x, w += tapCount) {
    const float* p = row + 3 * static_cast<std::size_t>(plan.First[static_cast<std::size_t>(x)]);
    TQuad pixel;
    std::memcpy(&pixel, p, sizeof pixel);
    TQuad sum = w[0] * pixel;
    for (int k = 1; k < tapCount; ++k) {
      std::memcpy(&pixel, p + 3 * k, sizeof pixel);
      sum += w[k] * pixel;
    }
    std::memcpy(out + 3 * static_cast<std::size_t>(x), &sum, sizeof sum);
  }
}

TAVELUNE_VECTOR_CLONES void RowPass(const float* row, const TRowPlan& plan, float* out, int width) {
  switch (plan.K) {
    case 1:
      return RowPassBody(row, plan, out, width, 1);
    case 2:
      return RowPassBody(row, plan, out, width, 2);
    case 3:
      return RowPassBody(row, plan, out, width, 3);
    case 4:
      return RowPassBody(row, plan, out, width, 4);
    case 5:
      return RowPassBody(row, plan, out, width, 5);
    default:
      return RowPassBody(row, plan, out, width, plan.K);
  }
}

// The column pass of one result row, portable form: the weighted sum of
// `count` row-pass rows, rounded into `out`. The positions of the values too
// close to a rounding edge go to `nearEdge`; returns how many there are.
// Chunks of 64 keep the loop vectorisable and the rare inspection short.
template <int K>
[[gnu::always_inline]] inline float ColumnSum(const float* const* in, const float* w, int taps,
                                              std::size_t v) {
  float sum = w[0] * in[0][v];
  for (int k = 1; k < (K > 0 ? K : taps); ++k) {
    sum += w[k] * in[k][v];
  }
  return sum;
}

template <int K>
[[gnu::always_inline]] inline std::size_t ColumnPassBody(const float* const* inputs,
                                                         const float* weights, int taps,
                                                         std::uint8_t* __restrict out,
                                                         std::size_t values, float limit,
                                                         std::uint32_t* nearEdge) {
  // Local copies for a fixed count, which the byte stores cannot change.
  constexpr auto kLocal = static_cast<std::size_t>(std::max(K, 1));
  const float* localInputs[kLocal];
  float localWeights[kLocal];
  for (std::size_t k = 0; K > 0 && k < kLocal; ++k) {
    localInputs[k] = inputs[k];
    localWeights[k] = weights[k];
  }
  const float* const* in = K > 0 ? localInputs : inputs;
  const float* w = K > 0 ? localWeights : weights;
  constexpr std::size_t kChunk = 64;
  float sums[kChunk];
  std::size_t found = 0;
  for (std::size_t v0 = 0; v0 < values; v0 += kChunk) {
    const std::size_t n = std::min(kChunk, values - v0);
    std::int32_t any = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const float sum = ColumnSum<K>(in, w, taps, v0 + i);
      const float rounded = RoundHalfEvenFloat(sum);
      sums[i] = sum;
      any |= static_cast<std::int32_t>(std::fabs(sum - rounded) > limit);
      out[v0 + i] = static_cast<std::uint8_t>(static_cast<std::int32_t>(rounded));
    }
    for (std::size_t i = 0; any != 0 && i < n; ++i) {
      if (std::fabs(sums[i] - RoundHalfEvenFloat(sums[i])) > limit) {
        nearEdge[found++] = static_cast<std::uint32_t>(v0 + i);
      }
    }
  }
  return found;
}

TAVELUNE_VECTOR_CLONES std::size_t ColumnPass(const float* const* in, const float* w, int count,
                                              std::uint8_t* out, std::size_t values, float limit,
                                              std::uint32_t* nearEdge) {
  switch (count) {
    case 1:
      return ColumnPassBody<1>(in, w, count, out, values, limit, nearEdge);
    case 2:
      return ColumnPassBody<2>(in, w, count, out, values, limit, nearEdge);
    case 3:
      return ColumnPassBody<3>(in, w, count, out, values, limit, nearEdge);
    case 4:
      return ColumnPassBody<4>(in, w, count, out, values, limit, nearEdge);
    default:
      return ColumnPassBody<0>(in, w, count, out, values, limit, nearEdge);
  }
}

#if TAVELUNE_RESAMPLE_AVX512

// Several intrinsics in their zero-masked forms with every lane on: the
// plain forms pass an undefined register that GCC 12 warns about.
constexpr __mmask16 kAllLanes = 0xFFFF;

// A window of 16 source values converted straight from the source row's
// `count` bytes; no byte past them is read.
TAVELUNE_AVX512_TARGET inline __m512 ByteWindow512(const std::uint8_t* row, std::size_t at,
                                                   std::size_t count) {
  const std::size_t left = count - at;
  const __m128i bytes =
      left >= kLanes ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at))
                     : _mm_maskz_loadu_epi8(static_cast<__mmask16>((1u << left) - 1), row + at);
  return _mm512_maskz_cvtepi32_ps(kAllLanes, _mm512_maskz_cvtepu8_epi32(kAllLanes, bytes));
}

// One source row's pass: each block of 16 result values permutes its taps
// out of a window of one register (16 values, converted from the row's
// bytes on the way) or two (32 values of `values`, the row in floats,
// readable for 32 values past any window start).
template <int K, int Window>
TAVELUNE_AVX512_TARGET [[gnu::always_inline]] inline void RowPass512Body(const std::uint8_t* row,
                                                                         std::size_t count,
                                                                         const float* values,
                                                                         const TRowPlan& plan,
                                                                         float* out, int taps) {
  const int k = K > 0 ? K : taps;
  const __m512i three = _mm512_set1_epi32(3);
  const std::size_t blocks = plan.Base.size();
  const float* w = plan.LaneWeights.data();
  const std::int32_t* index = plan.Index.data();
  for (std::size_t b = 0; b < blocks; ++b, w += kLanes * static_cast<std::size_t>(k)) {
    const auto base = static_cast<std::size_t>(plan.Base[b]);
    const __m512 low =
        Window > 16 ? _mm512_loadu_ps(values + base) : ByteWindow512(row, base, count);
    const __m512 high = Window > 16 ? _mm512_loadu_ps(values + base + kLanes) : low;
    __m512i at = _mm512_loadu_si512(index + b * kLanes);
    __m512 sum = _mm512_setzero_ps();
    for (int t = 0; t < k; ++t, at = _mm512_add_epi32(at, three)) {
      const __m512 taps = Window > 16 ? _mm512_maskz_permutex2var_ps(kAllLanes, low, at, high)
                                      : _mm512_maskz_permutexvar_ps(kAllLanes, at, low);
      const __m512 weights = _mm512_loadu_ps(w + kLanes * static_cast<std::size_t>(t));
      sum = t == 0 ? _mm512_mul_ps(weights, taps) : _mm512_fmadd_ps(weights, taps, sum);
    }
    _mm512_storeu_ps(out + b * kLanes, sum);
  }
}

template <int Window>
TAVELUNE_AVX512_TARGET void RowPass512(const std::uint8_t* row, std::size_t count,
                                       const float* values, const TRowPlan& plan, float* out) {
  switch (plan.K) {
    case 1:
      return RowPass512Body<1, Window>(row, count, values, plan, out, 1);
    case 2:
      return RowPass512Body<2, Window>(row, count, values, plan, out, 2);
    case 3:
      return RowPass512Body<3, Window>(row, count, values, plan, out, 3);
    case 4:
      return RowPass512Body<4, Window>(row, count, values, plan, out, 4);
    default:
      return RowPass512Body<0, Window>(row, count, values, plan, out, plan.K);
  }
}

// Two source rows' passes with one-register windows at once: they share
// the taps' indices and weights, which halves that part of the work.
template <int K>
TAVELUNE_AVX512_TARGET [[gnu::always_inline]] inline void RowPairPass512Body(
    const std::uint8_t* row0, const std::uint8_t* row1, std::size_t count, const TRowPlan& plan,
    float* out0, float* out1, int taps) {
  const int k = K > 0 ? K : taps;
  const __m512i three = _mm512_set1_epi32(3);
  const std::size_t blocks = plan.Base.size();
  const float* w = plan.LaneWeights.data();
  const std::int32_t* index = plan.Index.data();
  for (std::size_t b = 0; b < blocks; ++b, w += kLanes * static_cast<std::size_t>(k)) {
    const auto base = static_cast<std::size_t>(plan.Base[b]);
    const __m512 window0 = ByteWindow512(row0, base, count);
    const __m512 window1 = ByteWindow512(row1, base, count);
    __m512i at = _mm512_loadu_si512(index + b * kLanes);
    __m512 sum0 = _mm512_setzero_ps();
    __m512 sum1 = _mm512_setzero_ps();
    for (int t = 0; t < k; ++t, at = _mm512_add_epi32(at, three)) {
      const __m512 weights = _mm512_loadu_ps(w + kLanes * static_cast<std::size_t>(t));
      const __m512 taps0 = _mm512_maskz_permutexvar_ps(kAllLanes, at, window0);
      const __m512 taps1 = _mm512_maskz_permutexvar_ps(kAllLanes, at, window1);
      sum0 = t == 0 ? _mm512_mul_ps(weights, taps0) : _mm512_fmadd_ps(weights, taps0, sum0);
      sum1 = t == 0 ? _mm512_mul_ps(weights, taps1) : _mm512_fmadd_ps(weights, taps1, sum1);
    }
    _mm512_storeu_ps(out0 + b * kLanes, sum0);
    _mm512_storeu_ps(out1 + b * kLanes, sum1);
  }
}

TAVELUNE_AVX512_TARGET void RowPairPass512(const std::uint8_t* row0, const std::uint8_t* row1,
                                           std::size_t count, const TRowPlan& plan, float* out0,
                                           float* out1) {
  switch (plan.K) {
    case 1:
      return RowPairPass512Body<1>(row0, row1, count, plan, out0, out1, 1);
    case 2:
      return RowPairPass512Body<2>(row0, row1, count, plan, out0, out1, 2);
    case 3:
      return RowPairPass512Body<3>(row0, row1, count, plan, out0, out1, 3);
    case 4:
      return RowPairPass512Body<4>(row0, row1, count, plan, out0, out1, 4);
    default:
      return RowPairPass512Body<0>(row0, row1, count, plan, out0, out1, plan.K);
  }
}

// The weighted sum of 16 values of the column pass, plus the offset.
template <int K>
TAVELUNE_AVX512_TARGET [[gnu::always_inline]] inline __m512 ColumnSum512(const float* const* in,
                                                                         const __m512* weight,
                                                                         const float* w, int taps,
                                                                         __m512 offset,
                                                                         std::size_t v) {
  __m512 sum = _mm512_fmadd_ps(weight[0], _mm512_loadu_ps(in[0] + v), offset);
  for (int k = 1; k < (K > 0 ? K : taps); ++k) {
    const __m512 wk = K > 0 ? weight[k] : _mm512_set1_ps(w[k]);
    sum = _mm512_fmadd_ps(wk, _mm512_loadu_ps(in[k] + v), sum);
  }
  return sum;
}

constexpr int kDown = _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC;

// Which of 16 offset sums lie too near a rounding edge: their fraction (the
// reduced argument, exact) is at most the band (see TEdgeTest).
TAVELUNE_AVX512_TARGET inline unsigned NearEdge512(__m512 sum, __m512 band) {
  const __m512 fraction = _mm512_maskz_reduce_ps(kAllLanes, sum, kDown);
  return _mm512_cmp_ps_mask(fraction, band, _CMP_LE_OQ);
}

// The column pass of one result row as ColumnPass, 64 values a sweep (then
// 16), with the offset form of the edge test; the inputs are readable up to
// the next multiple of 16, and what lies past the row is left out.
template <int K>
TAVELUNE_AVX512_TARGET [[gnu::always_inline]] inline std::size_t ColumnPass512Body(
    const float* const* in, const float* w, int count, std::uint8_t* out, std::size_t values,
    const TEdgeTest& test, std::uint32_t* nearEdge) {
  const int taps = K > 0 ? K : count;
  const __m512 offset = _mm512_set1_ps(test.Offset);
  const __m512 band = _mm512_set1_ps(test.Band);
  __m512 weight[4];
  for (int k = 0; k < 4 && k < taps; ++k) {
    weight[k] = _mm512_set1_ps(w[k]);
  }
  // Two saturating packs interleave the 4 x 16 results by 128-bit lanes;
  // this puts them back in order.
  const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
  std::size_t found = 0;
  std::size_t v = 0;
  for (; v + 4 * kLanes <= values; v += 4 * kLanes) {
    __m512i rounded[4];
    std::uint64_t near = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const __m512 sum = ColumnSum512<K>(in, weight, w, taps, offset, v + j * kLanes);
      rounded[j] = _mm512_maskz_cvt_roundps_epi32(kAllLanes, sum, kDown);
      near |= static_cast<std::uint64_t>(NearEdge512(sum, band)) << (j * kLanes);
    }
    const __m512i bytes = _mm512_packus_epi16(_mm512_packus_epi32(rounded[0], rounded[1]),
                                              _mm512_packus_epi32(rounded[2], rounded[3]));
    _mm512_storeu_si512(out + v, _mm512_maskz_permutexvar_epi32(kAllLanes, order, bytes));
    while (near != 0) {
      nearEdge[found++] =
          static_cast<std::uint32_t>(v) + static_cast<std::uint32_t>(__builtin_ctzll(near));
      near &= near - 1;
    }
  }
  for (; v < values; v += kLanes) {
    const __m512 sum = ColumnSum512<K>(in, weight, w, taps, offset, v);
    const __m128i bytes = _mm512_maskz_cvtusepi32_epi8(
        kAllLanes, _mm512_maskz_cvt_roundps_epi32(kAllLanes, sum, kDown));
    const std::size_t n = std::min(kLanes, values - v);
    const auto lanes = static_cast<__mmask16>((1u << n) - 1);
    _mm_mask_storeu_epi8(out + v, lanes, bytes);
    unsigned near = NearEdge512(sum, band) & lanes;
    while (near != 0) {
      nearEdge[found++] =
          static_cast<std::uint32_t>(v) + static_cast<std::uint32_t>(__builtin_ctz(near));
      near &= near - 1;
    }
  }
  return found;
}

TAVELUNE_AVX512_TARGET std::size_t ColumnPass512(const float* const* in, const float* w, int count,
                                                 std::uint8_t* out, std::size_t values,
                                                 const TEdgeTest& test, std::uint32_t* nearEdge) {
  switch (count) {
    case 1:
      return ColumnPass512Body<1>(in, w, count, out, values, test, nearEdge);
    case 2:
      return ColumnPass512Body<2>(in, w, count, out, values, test, nearEdge);
    case 3:
      return ColumnPass512Body<3>(in, w, count, out, values, test, nearEdge);
    case 4:
      return ColumnPass512Body<4>(in, w, count, out, values, test, nearEdge);
    default:
      return ColumnPass512Body<0>(in, w, count, out, values, test, nearEdge);
  }
}

#endif

// One result value the separable way in double precision, which lies
// within about 1e-12 of the defining value, and, if even that is too near a
// rounding edge, its pixel the defining way.
void DecideInDouble(const TBitmap24& source, const TGeometry& g, const TFixedTaps& columns,
                    int firstRow, int count, const double* rowWeights, int x, int y, int ch,
                    std::uint8_t* pixel) {
  const auto k = static_cast<std::size_t>(columns.K);
  const double* w = columns.Weights.data() + static_cast<std::size_t>(x) * k;
  const std::size_t at = 3 * static_cast<std::size_t>(columns.First[static_cast<std::size_t>(x)]) +
                         static_cast<std::size_t>(ch);
  double sum = 0;
  for (int row = 0; row < count; ++row) {
    const std::uint8_t* p = source.Row(firstRow + row) + at;
    double value = 0;
    for (std::size_t tap = 0; tap < k; ++tap) {
      value += w[tap] * p[3 * tap];
    }
    sum += rowWeights[row] * value;
  }
  const double nearest = RoundHalfEvenFast(sum);
  if (NearRoundingEdge(sum, nearest)) {
    DefiningPixel(source, g, x, y, pixel);
  } else {
    pixel[ch] = static_cast<std::uint8_t>(nearest);
  }
}

}  // namespace

void SetResampleKernels(TResampleKernels kernels) {
  gBaselineOnly.store(kernels == TResampleKernels::Baseline, std::memory_order_relaxed);
}

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
  const TFixedTaps fixedColumns = FixTaps(columns, g.SW);
  const bool avx512 = HasAvx512();
  const TRowPlan plan = MakeRowPlan(fixedColumns, g.NW, avx512);
  // A footprint narrower than its millionth pull-in (an enlargement beyond
  // a millionfold) has negative weights; the float bound needs them all
  // non-negative, so then every value is decided in double precision.
  auto nonNegative = [](const auto& weights) {
    return std::all_of(weights.begin(), weights.end(), [](double w) { return w >= 0; });
  };
  const TEdgeTest edgeTest =
      MakeEdgeTest(fixedColumns.K + rows.MaxCount + 2,
                   nonNegative(fixedColumns.Weights) && nonNegative(rows.Weights));

  // Row pass results in float, one per source row, kept in a ring as long
  // as a result row needs them (source rows are needed in increasing
  // order). Rows are padded to whole blocks of 16, at least one value. The
  // ring has one row more than a result row needs, so that the AVX-512
  // kernel can make a row and the next together: the slot the next one
  // takes holds a row no result row needs any more.
  const std::size_t rowValues = 3 * static_cast<std::size_t>(g.NW);
  const std::size_t rowStride = (rowValues + kLanes) / kLanes * kLanes;
  const int ringSize = rows.MaxCount + 1;
  std::vector<float> ring(static_cast<std::size_t>(ringSize) * rowStride, 0.0f);
  std::vector<int> ringRow(static_cast<std::size_t>(ringSize), -1);
  auto slotOf = [&](int sourceRow) { return static_cast<std::size_t>(sourceRow % ringSize); };
  // The source row in floats, with room for a window read past its end.
  std::vector<float> sourceValues(3 * static_cast<std::size_t>(g.SW) + 32, 0.0f);
  auto rowPass = [&](int sourceRow) -> const float* {
    const std::size_t slot = slotOf(sourceRow);
    float* out = ring.data() + slot * rowStride;
    if (ringRow[slot] != sourceRow) {
      ringRow[slot] = sourceRow;
      const std::uint8_t* bytes = source.Row(sourceRow);
      const std::size_t count = 3 * static_cast<std::size_t>(g.SW);
#if TAVELUNE_RESAMPLE_AVX512
      if (plan.Window == 16) {
        const int next = sourceRow + 1;
        const std::size_t nextSlot = slotOf(next);
        if (next < g.SH && ringRow[nextSlot] != next) {
          ringRow[nextSlot] = next;
          RowPairPass512(bytes, source.Row(next), count, plan, out,
                         ring.data() + nextSlot * rowStride);
        } else {
          RowPass512<16>(bytes, count, nullptr, plan, out);
        }
        return out;
      }
#endif
      ToFloats(bytes, sourceValues.data(), count);
#if TAVELUNE_RESAMPLE_AVX512
      if (plan.Window == 32) {
        RowPass512<32>(bytes, count, sourceValues.data(), plan, out);
        return out;
      }
#endif
      RowPass(sourceValues.data(), plan, out, g.NW);
    }
    return out;
  };

  std::vector<std::uint32_t> nearEdge(rowValues);
  std::vector<const float*> inputs(static_cast<std::size_t>(rows.MaxCount));
  std::vector<double> scaled(static_cast<std::size_t>(rows.MaxCount));
  std::vector<float> scaledFloat(static_cast<std::size_t>(rows.MaxCount));
  // The row weights with the division by the area folded in: the routes
  // only decide values that lie clear of a rounding edge.
  const double inverseArea = 1 / g.Area;
  for (int y = 0; y < g.NH; ++y) {
    const auto yi = static_cast<std::size_t>(y);
    const int count = rows.Count[yi];
    const double* rowWeights = rows.Weights.data() + rows.Offset[yi];
    for (int k = 0; k < count; ++k) {
      const auto ki = static_cast<std::size_t>(k);
      inputs[ki] = rowPass(rows.First[yi] + k);
      scaled[ki] = rowWeights[k] * inverseArea;
      scaledFloat[ki] = static_cast<float>(scaled[ki]);
    }
    std::uint8_t* out = result.Row(y);
    std::size_t found = 0;
#if TAVELUNE_RESAMPLE_AVX512
    if (avx512) {
      found = ColumnPass512(inputs.data(), scaledFloat.data(), count, out, rowValues, edgeTest,
                            nearEdge.data());
    } else
#endif
    {
      found = ColumnPass(inputs.data(), scaledFloat.data(), count, out, rowValues, edgeTest.Limit,
                         nearEdge.data());
    }
    for (std::size_t i = 0; i < found; ++i) {
      const std::uint32_t v = nearEdge[i];
      const auto x = static_cast<int>(v / 3);
      DecideInDouble(source, g, fixedColumns, rows.First[yi], count, scaled.data(), x, y,
                     static_cast<int>(v % 3), out + 3 * static_cast<std::size_t>(x));
    }
  }
  return result;
}

}  // namespace tavelune
