#pragma once

// HDR pictures (PQ, SMPTE ST 2084, and HLG, ARIB STD-B67) mapped to what an
// SDR screen can show of the same scene: BT.2020 primaries in, BT.709 out,
// display light in, the code a BT.1886 screen shows as that light out, and
// highlights rolled off with a Möbius curve above a knee, so that what lies
// well below the SDR reference white stays as it was mastered.
//
// Rows come either as 16-bit non-linear R'G'B' (full range, the primaries
// still BT.2020) or straight from the planes of a planar YUV picture with
// 16-bit samples, the matrix applied on the way. Every transfer curve is a
// table made once per mapper, so a pixel costs table look-ups, two 3 × 3
// matrices and the roll-off's quotient, eight pixels at a time where the
// processor has AVX2. A mapper is immutable once
// made: rows may be mapped on several threads at once.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavelune {

enum class THdrTransfer {
  None,  // SDR: nothing to map
  Pq,    // SMPTE ST 2084, absolute: code 1.0 is 10 000 cd/m²
  Hlg,   // ARIB STD-B67, relative: shown as on a display of the given peak
};

// Nits of the SDR reference white, to which HDR diffuse white is mastered.
inline constexpr double kSdrWhiteNits = 203;
// The peak assumed when a PQ stream does not say (and HLG's nominal one).
inline constexpr double kDefaultPeakNits = 1000;

// How a planar YUV picture codes its samples.
struct TYuvCoding {
  double Kr = 0.2627;  // the luma weights of red and blue (these: BT.2020)
  double Kb = 0.0593;
  int Bits = 10;  // significant bits of each sample, 8..16
  bool FullRange = false;
};

class TToneMapper {
 public:
  // Relative brightness (1.0 = SDR white) from which highlights are rolled
  // off towards the peak.
  static constexpr double kKnee = 0.75;

  // `peakNits`: the brightest the picture gets (its mastering display's or
  // its content light level's); values outside 203..10 000 are clamped.
  TToneMapper(THdrTransfer transfer, double peakNits);

  // Maps `width` pixels of R'G'B' triples (native 16-bit) to B G R bytes,
  // `bytesPerPixel` (3 or 4: a fourth byte of 255) apart.
  void MapRow(const std::uint16_t* rgb, int width, std::uint8_t* bgr, int bytesPerPixel) const;
  // The same from one row of planes: `width` luma samples, and chroma
  // samples 1 << chromaShift luma samples apart (0 for 4:4:4, 1 for 4:2:x).
  void MapYuvRow(const std::uint16_t* y, const std::uint16_t* u, const std::uint16_t* v,
                 int chromaShift, int width, const TYuvCoding& coding, std::uint8_t* bgr,
                 int bytesPerPixel) const;

  // A whole P010 picture, as Windows decoders give ten bits: `codedHeight`
  // rows of 16-bit luma `pitch` bytes apart, then half as many rows of
  // interleaved 16-bit Cb and Cr (each sample in the top bits of its
  // sixteen). The `width` × `height` at (`left`, `top`) become bottom-up DIB
  // rows, `bytesPerPixel` apart and padded to four bytes, in `dib`. False,
  // with nothing written, when `size` bytes cannot hold the picture.
  bool MapP010Picture(const std::uint8_t* data, std::size_t size, std::size_t pitch,
                      int codedHeight, int left, int top, int width, int height,
                      const TYuvCoding& coding, int bytesPerPixel, std::uint8_t* dib) const;

  // The curve itself, for tests: linear light relative to SDR white in,
  // 0..1 out; the identity up to kKnee, reaching 1.0 at the peak.
  double Curve(double relative) const;
  double PeakRelative() const { return FPeak; }
  // Whether the processor's vector units may be used (the default); tests
  // turn them off to compare the plain loop with them. Any thread.
  static void UseVectorUnits(bool use);

  struct TTables;
  static constexpr int kCodeSteps = 4096;  // input codes, 0..1 in steps

 private:
  static constexpr int kChunk = 256;  // pixels mapped at a time

  // Maps `count` pixels of R'G'B' (0..1, BT.2020) to 0xFFRRGGBB. The
  // arrays hold kChunk values, and those past `count` may be overwritten.
  void MapChunk(float* red, float* green, float* blue, int count, std::uint32_t* pixels) const;
  static void StorePixels(const std::uint32_t* pixels, int count, std::uint8_t* bgr,
                          int bytesPerPixel);

  double FPeak;  // relative to SDR white
  // Input code to display light relative to SDR white.
  std::vector<float> FToLinear;
  // The roll-off: from FRollOffFrom on, light x becomes
  // FMobiusP (x + FMobiusA) / (x + FMobiusB).
  double FRollOffFrom = 1e30;
  double FMobiusA = 0;
  double FMobiusB = 0;
  double FMobiusP = 1;
};

}  // namespace tavelune
