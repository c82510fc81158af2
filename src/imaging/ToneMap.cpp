#include "imaging/ToneMap.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/CpuDispatch.h"

namespace tavelune {

namespace {

// SMPTE ST 2084's EOTF: code 0..1 to 0..1 of 10 000 cd/m².
double PqToLinear(double code) {
  constexpr double kM1 = 2610.0 / 16384;
  constexpr double kM2 = 2523.0 / 4096 * 128;
  constexpr double kC1 = 3424.0 / 4096;
  constexpr double kC2 = 2413.0 / 4096 * 32;
  constexpr double kC3 = 2392.0 / 4096 * 32;
  const double p = std::pow(code, 1 / kM2);
  return std::pow(std::max(p - kC1, 0.0) / (kC2 - kC3 * p), 1 / kM1);
}

// ARIB STD-B67's inverse OETF: code 0..1 to scene light 0..1.
double HlgToScene(double code) {
  constexpr double kA = 0.17883277;
  constexpr double kB = 1 - 4 * kA;
  const double kC = 0.5 - kA * std::log(4 * kA);
  return code <= 0.5 ? code * code / 3 : (std::exp((code - kC) / kA) + kB) / 12;
}

// Linear BT.2020 RGB to linear BT.709 RGB (the same white).
constexpr float k2020To709[3][3] = {
    {1.6605f, -0.5876f, -0.0728f}, {-0.1246f, 1.1329f, -0.0083f}, {-0.0182f, -0.1006f, 1.1187f}};

// HLG's system gamma for a display of `peakNits` (BT.2100).
double HlgSystemGamma(double peakNits) {
  return 1.2 + 0.42 * std::log10(peakNits / 1000);
}

}  // namespace

TToneMapper::TToneMapper(THdrTransfer transfer, double peakNits) {
  peakNits =
      std::clamp(std::isfinite(peakNits) ? peakNits : kDefaultPeakNits, kSdrWhiteNits, 10000.0);
  FPeak = peakNits / kSdrWhiteNits;
  // HLG's system gamma is applied per channel, as a power of each channel's
  // scene light, which keeps its whole EOTF a table per channel.
  const double hlgGamma = HlgSystemGamma(peakNits);
  FToLinear.resize(kCodeSteps);
  for (int i = 0; i < kCodeSteps; ++i) {
    const double code = (i + 0.5) / kCodeSteps;
    FToLinear[i] = static_cast<float>(transfer == THdrTransfer::Hlg
                                          ? std::pow(HlgToScene(code), hlgGamma) * FPeak
                                          : PqToLinear(code) * 10000 / kSdrWhiteNits);
  }
  // Möbius: from the knee j on, p (x + a) / (x + b), which joins the
  // identity with the same value and slope and reaches 1 at the peak. A peak
  // no brighter than SDR white leaves nothing to roll off.
  const double j = kKnee;
  if (FPeak > 1) {
    FMobiusA = -j * j * (FPeak - 1) / (j * j - 2 * j + FPeak);
    FMobiusB = (j * j - 2 * j * FPeak + FPeak) / (FPeak - 1);
    FMobiusP = (FMobiusB * FMobiusB + 2 * FMobiusB * j + j * j) / (FMobiusB - FMobiusA);
    FRollOffFrom = j;
  }
}

double TToneMapper::Curve(double x) const {
  return std::min(x <= FRollOffFrom ? x : FMobiusP * (x + FMobiusA) / (x + FMobiusB), 1.0);
}

// The tables and constants of one mapping, as the chunk loops read them.
struct TToneMapper::TTables {
  const float* ToLinear;
  float RollOffFrom;  // the knee, or beyond any light when nothing rolls off
  float MobiusA;
  float MobiusB;
  float MobiusP;
};

namespace {

constexpr float kCodes = TToneMapper::kCodeSteps;
constexpr float kTopCode = kCodes - 0.5f;  // the input table's last index, kept clear of rounding

// The code an SDR (BT.1886) screen shows display light 0..1 as (the inverse
// of its EOTF, a 2.4 power with black at 0), 255 x^(1/2.4),
// from the light's float bits: its exponent e picks 2^(e/2.4) from a table
// of 24 octaves, and a cubic gives its mantissa's part (within 0.05
// levels). Light below 2^-23 (and 0) is black.
constexpr int kEncodeOctaves = 24;
constexpr std::array<float, kEncodeOctaves> kOctaveCodes = [] {
  std::array<float, kEncodeOctaves> codes{};
  // 2^(e/2.4) for e = -23..0, as products of 2^(-1/2.4).
  double code = 1;
  for (int i = kEncodeOctaves - 1; i >= 0; --i, code *= 0.74915353843834076) {
    codes[static_cast<std::size_t>(i)] = static_cast<float>(255 * code);
  }
  return codes;
}();
constexpr float kMantissa0 = 0.46146004f;  // m^(1/2.4) on [1, 2), least squares
constexpr float kMantissa1 = 0.68842851f;
constexpr float kMantissa2 = -0.17359131f;
constexpr float kMantissa3 = 0.02387761f;

std::uint32_t EncodeScalar(float light) {
  const auto bits = std::bit_cast<std::uint32_t>(light);
  const int octave = static_cast<int>(bits >> 23) - (127 - (kEncodeOctaves - 1));
  if (octave < 0) {
    return 0;
  }
  const auto m = std::bit_cast<float>((bits & 0x007FFFFFu) | 0x3F800000u);
  const float mantissa = ((kMantissa3 * m + kMantissa2) * m + kMantissa1) * m + kMantissa0;
  return static_cast<std::uint32_t>(
      std::lround(kOctaveCodes[static_cast<std::size_t>(octave)] * mantissa));
}

void MapChunkScalar(const TToneMapper::TTables& t, const float* red, const float* green,
                    const float* blue, int count, std::uint32_t* pixels) {
  const auto linear = [&t](float code) {
    return t.ToLinear[static_cast<int>(std::min(std::max(code, 0.0f) * kCodes, kTopCode))];
  };
  for (int i = 0; i < count; ++i) {
    const float r = linear(red[i]);
    const float g = linear(green[i]);
    const float b = linear(blue[i]);
    const float r709 =
        std::max(k2020To709[0][0] * r + k2020To709[0][1] * g + k2020To709[0][2] * b, 0.0f);
    const float g709 =
        std::max(k2020To709[1][0] * r + k2020To709[1][1] * g + k2020To709[1][2] * b, 0.0f);
    const float b709 =
        std::max(k2020To709[2][0] * r + k2020To709[2][1] * g + k2020To709[2][2] * b, 0.0f);
    // The brightest channel sets one scale for all three, so that rolled-off
    // highlights keep their hue.
    const float brightest = std::max(std::max(r709, g709), b709);
    const float scale = brightest > t.RollOffFrom ? t.MobiusP * (brightest + t.MobiusA) /
                                                        ((brightest + t.MobiusB) * brightest)
                                                  : 1.0f;
    const auto encode = [scale](float light) {
      return EncodeScalar(std::min(light * scale, 1.0f));
    };
    pixels[i] = 0xFF000000u | encode(r709) << 16 | encode(g709) << 8 | encode(b709);
  }
}

#if defined(__x86_64__)

#define TAVELUNE_AVX2 __attribute__((target("avx2,fma"), always_inline)) inline

// Eight input codes to display light through the table.
TAVELUNE_AVX2 __m256 Linear8(const float* table, const float* codes) {
  const __m256 index =
      _mm256_min_ps(_mm256_mul_ps(_mm256_max_ps(_mm256_loadu_ps(codes), _mm256_setzero_ps()),
                                  _mm256_set1_ps(kCodes)),
                    _mm256_set1_ps(kTopCode));
  return _mm256_i32gather_ps(table, _mm256_cvttps_epi32(index), 4);
}

// One row of the primaries' matrix, negative light clipped.
TAVELUNE_AVX2 __m256 Row709(const float (&row)[3], __m256 r, __m256 g, __m256 b) {
  return _mm256_max_ps(_mm256_fmadd_ps(_mm256_set1_ps(row[0]), r,
                                       _mm256_fmadd_ps(_mm256_set1_ps(row[1]), g,
                                                       _mm256_mul_ps(_mm256_set1_ps(row[2]), b))),
                       _mm256_setzero_ps());
}

// Eight lights, scaled and clipped to 0..1, to their 8-bit codes.
TAVELUNE_AVX2 __m256i Encode8(__m256 light, __m256 scale) {
  const __m256i bits =
      _mm256_castps_si256(_mm256_min_ps(_mm256_mul_ps(light, scale), _mm256_set1_ps(1)));
  const __m256i octave =
      _mm256_sub_epi32(_mm256_srli_epi32(bits, 23), _mm256_set1_epi32(127 - (kEncodeOctaves - 1)));
  const __m256 m = _mm256_castsi256_ps(_mm256_or_si256(
      _mm256_and_si256(bits, _mm256_set1_epi32(0x007FFFFF)), _mm256_set1_epi32(0x3F800000)));
  __m256 mantissa = _mm256_fmadd_ps(_mm256_set1_ps(kMantissa3), m, _mm256_set1_ps(kMantissa2));
  mantissa = _mm256_fmadd_ps(mantissa, m, _mm256_set1_ps(kMantissa1));
  mantissa = _mm256_fmadd_ps(mantissa, m, _mm256_set1_ps(kMantissa0));
  // The octave's code from three registers of eight, by the octave's low
  // three bits and then its high ones.
  const __m256 low = _mm256_permutevar8x32_ps(_mm256_loadu_ps(kOctaveCodes.data()), octave);
  const __m256 middle = _mm256_permutevar8x32_ps(_mm256_loadu_ps(kOctaveCodes.data() + 8), octave);
  const __m256 high = _mm256_permutevar8x32_ps(_mm256_loadu_ps(kOctaveCodes.data() + 16), octave);
  __m256 code = _mm256_blendv_ps(
      low, middle, _mm256_castsi256_ps(_mm256_cmpgt_epi32(octave, _mm256_set1_epi32(7))));
  code = _mm256_blendv_ps(code, high,
                          _mm256_castsi256_ps(_mm256_cmpgt_epi32(octave, _mm256_set1_epi32(15))));
  code = _mm256_blendv_ps(code, _mm256_setzero_ps(),
                          _mm256_castsi256_ps(_mm256_cmpgt_epi32(_mm256_setzero_si256(), octave)));
  return _mm256_cvttps_epi32(_mm256_fmadd_ps(code, mantissa, _mm256_set1_ps(0.5f)));
}

// The scalar loop eight pixels at a time; `count` is rounded up to eight,
// into the chunk's padding.
__attribute__((target("avx2,fma"))) void MapChunkAvx2(const TToneMapper::TTables& t,
                                                      const float* red, const float* green,
                                                      const float* blue, int count,
                                                      std::uint32_t* pixels) {
  const __m256 rollOffFrom = _mm256_set1_ps(t.RollOffFrom);
  const __m256 mobiusA = _mm256_set1_ps(t.MobiusA);
  const __m256 mobiusB = _mm256_set1_ps(t.MobiusB);
  const __m256 mobiusP = _mm256_set1_ps(t.MobiusP);
  const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  for (int i = 0; i < count; i += 8) {
    const __m256 r = Linear8(t.ToLinear, red + i);
    const __m256 g = Linear8(t.ToLinear, green + i);
    const __m256 b = Linear8(t.ToLinear, blue + i);
    const __m256 r709 = Row709(k2020To709[0], r, g, b);
    const __m256 g709 = Row709(k2020To709[1], r, g, b);
    const __m256 b709 = Row709(k2020To709[2], r, g, b);
    const __m256 brightest = _mm256_max_ps(_mm256_max_ps(r709, g709), b709);
    // The lanes below the knee (where the quotient may be 0 / 0) keep 1.
    const __m256 rolled =
        _mm256_div_ps(_mm256_mul_ps(mobiusP, _mm256_add_ps(brightest, mobiusA)),
                      _mm256_mul_ps(_mm256_add_ps(brightest, mobiusB), brightest));
    const __m256 scale = _mm256_blendv_ps(_mm256_set1_ps(1), rolled,
                                          _mm256_cmp_ps(brightest, rollOffFrom, _CMP_GT_OQ));
    const __m256i pixel = _mm256_or_si256(
        _mm256_or_si256(alpha, _mm256_slli_epi32(Encode8(r709, scale), 16)),
        _mm256_or_si256(_mm256_slli_epi32(Encode8(g709, scale), 8), Encode8(b709, scale)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + i), pixel);
  }
}

bool HasAvx2() {
  static const bool kHas = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return kHas;
}

#endif

// Cleared by tests that compare the two loops.
std::atomic<bool> gUseVectorUnits{true};

}  // namespace

void TToneMapper::UseVectorUnits(bool use) {
  gUseVectorUnits = use;
}

void TToneMapper::MapChunk(float* red, float* green, float* blue, int count,
                           std::uint32_t* pixels) const {
  const TTables tables{FToLinear.data(), static_cast<float>(FRollOffFrom),
                       static_cast<float>(FMobiusA), static_cast<float>(FMobiusB),
                       static_cast<float>(FMobiusP)};
#if defined(__x86_64__)
  if (gUseVectorUnits && HasAvx2()) {
    // The padding past the real pixels maps too, from black.
    for (int i = count; i < (count + 7) / 8 * 8; ++i) {
      red[i] = green[i] = blue[i] = 0;
    }
    MapChunkAvx2(tables, red, green, blue, count, pixels);
    return;
  }
#endif
  MapChunkScalar(tables, red, green, blue, count, pixels);
}

void TToneMapper::StorePixels(const std::uint32_t* pixels, int count, std::uint8_t* bgr,
                              int bytesPerPixel) {
  if (bytesPerPixel == 4) {
    std::memcpy(bgr, pixels, static_cast<std::size_t>(count) * 4);  // little-endian B G R A
    return;
  }
  for (int i = 0; i < count; ++i, bgr += 3) {
    bgr[0] = static_cast<std::uint8_t>(pixels[i]);
    bgr[1] = static_cast<std::uint8_t>(pixels[i] >> 8);
    bgr[2] = static_cast<std::uint8_t>(pixels[i] >> 16);
  }
}

void TToneMapper::MapRow(const std::uint16_t* rgb, int width, std::uint8_t* bgr,
                         int bytesPerPixel) const {
  float red[kChunk], green[kChunk], blue[kChunk];
  std::uint32_t pixels[kChunk];
  for (int start = 0; start < width; start += kChunk) {
    const int count = std::min(kChunk, width - start);
    const std::uint16_t* in = rgb + 3 * static_cast<std::size_t>(start);
    for (int i = 0; i < count; ++i) {
      red[i] = in[3 * i] / 65535.0f;
      green[i] = in[3 * i + 1] / 65535.0f;
      blue[i] = in[3 * i + 2] / 65535.0f;
    }
    MapChunk(red, green, blue, count, pixels);
    StorePixels(pixels, count, bgr + static_cast<std::size_t>(start) * bytesPerPixel,
                bytesPerPixel);
  }
}

TAVELUNE_VECTOR_CLONES
void TToneMapper::MapYuvRow(const std::uint16_t* y, const std::uint16_t* u, const std::uint16_t* v,
                            int chromaShift, int width, const TYuvCoding& coding, std::uint8_t* bgr,
                            int bytesPerPixel) const {
  // Samples to Y' 0..1 and Cb, Cr -0.5..0.5, then the matrix of Kr and Kb.
  const auto unit = static_cast<double>(1 << (coding.Bits - 8));
  const double lumaScale = coding.FullRange ? 1.0 / ((1 << coding.Bits) - 1) : 1.0 / (219 * unit);
  const double lumaOffset = coding.FullRange ? 0 : 16 * unit;
  const double chromaScale = coding.FullRange ? 1.0 / ((1 << coding.Bits) - 1) : 1.0 / (224 * unit);
  const double chromaOffset = 128 * unit;
  const double kg = 1 - coding.Kr - coding.Kb;
  const auto ys = static_cast<float>(lumaScale);
  const auto yo = static_cast<float>(-lumaOffset * lumaScale);
  const auto crToR = static_cast<float>(2 * (1 - coding.Kr) * chromaScale);
  const auto cbToG = static_cast<float>(-2 * coding.Kb * (1 - coding.Kb) / kg * chromaScale);
  const auto crToG = static_cast<float>(-2 * coding.Kr * (1 - coding.Kr) / kg * chromaScale);
  const auto cbToB = static_cast<float>(2 * (1 - coding.Kb) * chromaScale);
  const auto co = static_cast<float>(chromaOffset);
  float red[kChunk], green[kChunk], blue[kChunk], cb[kChunk], cr[kChunk];
  std::uint32_t pixels[kChunk];
  for (int start = 0; start < width; start += kChunk) {
    const int count = std::min(kChunk, width - start);
    if (chromaShift == 1) {
      // Each chroma sample serves two luma samples (start is even).
      const std::uint16_t* uHalf = u + start / 2;
      const std::uint16_t* vHalf = v + start / 2;
      for (int i = 0; i < (count + 1) / 2; ++i) {
        cb[2 * i] = cb[2 * i + 1] = uHalf[i] - co;
        cr[2 * i] = cr[2 * i + 1] = vHalf[i] - co;
      }
    } else {
      for (int i = 0; i < count; ++i) {
        cb[i] = u[start + i] - co;
        cr[i] = v[start + i] - co;
      }
    }
    for (int i = 0; i < count; ++i) {
      const float luma = y[start + i] * ys + yo;
      red[i] = luma + crToR * cr[i];
      green[i] = luma + cbToG * cb[i] + crToG * cr[i];
      blue[i] = luma + cbToB * cb[i];
    }
    MapChunk(red, green, blue, count, pixels);
    StorePixels(pixels, count, bgr + static_cast<std::size_t>(start) * bytesPerPixel,
                bytesPerPixel);
  }
}

bool TToneMapper::MapP010Picture(const std::uint8_t* data, std::size_t size, std::size_t pitch,
                                 int codedHeight, int left, int top, int width, int height,
                                 const TYuvCoding& coding, int bytesPerPixel,
                                 std::uint8_t* dib) const {
  const std::size_t lumaBytes = pitch * static_cast<std::size_t>(codedHeight);
  const std::size_t chromaBytes = pitch * static_cast<std::size_t>((codedHeight + 1) / 2);
  if (width <= 0 || height <= 0 || left < 0 || top < 0 || left % 2 != 0 || pitch % 2 != 0 ||
      top + height > codedHeight || 2 * static_cast<std::size_t>(left + width) > pitch ||
      lumaBytes + chromaBytes > size) {
    return false;
  }
  // The samples' ten bits at the top of sixteen read as sixteen-bit samples.
  TYuvCoding sixteen = coding;
  sixteen.Bits = 16;
  const std::size_t chromaWidth = static_cast<std::size_t>(width + 1) / 2;
  std::vector<std::uint16_t> cb(chromaWidth);
  std::vector<std::uint16_t> cr(chromaWidth);
  const std::size_t stride =
      (static_cast<std::size_t>(width) * bytesPerPixel + 3) & ~std::size_t{3};
  for (int row = 0; row < height; ++row) {
    const std::size_t y = static_cast<std::size_t>(top) + static_cast<std::size_t>(row);
    const auto* luma = reinterpret_cast<const std::uint16_t*>(data + y * pitch) + left;
    const auto* chroma =
        reinterpret_cast<const std::uint16_t*>(data + lumaBytes + (y / 2) * pitch) + left;
    for (std::size_t i = 0; i < chromaWidth; ++i) {
      cb[i] = chroma[2 * i];
      cr[i] = chroma[2 * i + 1];
    }
    MapYuvRow(luma, cb.data(), cr.data(), 1, width, sixteen,
              dib + static_cast<std::size_t>(height - 1 - row) * stride, bytesPerPixel);
  }
  return true;
}

}  // namespace tavelune
