#pragma once

// HDR pictures (PQ, SMPTE ST 2084, and HLG, ARIB STD-B67) mapped to what an
// SDR screen can show of the same scene: BT.2020 primaries in, BT.709 out,
// highlights rolled off with a Möbius curve above a knee so that everything
// up to the SDR reference white stays as it was mastered.
//
// The mapping works on 16-bit non-linear R'G'B' (full range, the primaries
// still BT.2020), which the platform's converters produce from the decoded
// YUV with the BT.2020 matrix. Every transfer curve is a table made once per
// mapper, so a row costs table look-ups and one 3 × 3 matrix per pixel.
// A mapper is immutable once made: rows may be mapped on several threads.

#include <cstdint>
#include <vector>

namespace tavelune {

enum class THdrTransfer {
  None,  // SDR: nothing to map
  Pq,    // SMPTE ST 2084, absolute: code 1.0 is 10 000 cd/m²
  Hlg,   // ARIB STD-B67, relative to a display of PeakNits
};

// Nits of the SDR reference white, to which HDR diffuse white is mastered.
inline constexpr double kSdrWhiteNits = 203;
// The peak assumed when a PQ stream does not say (and HLG's nominal one).
inline constexpr double kDefaultPeakNits = 1000;

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

  // The curve itself, for tests: linear light relative to SDR white in,
  // 0..1 out; the identity up to kKnee, reaching 1.0 at the peak.
  double Curve(double relative) const;
  double PeakRelative() const { return FPeak; }

 private:
  static constexpr int kCodeSteps = 4096;    // input codes, by their top 12 bits
  static constexpr int kLinearSteps = 4096;  // linear light, 0..1 after the curve

  THdrTransfer FTransfer;
  double FPeak;  // relative to SDR white
  // Input code >> 4 to linear light: relative to SDR white (PQ), scene light
  // 0..1 (HLG).
  std::vector<float> FToLinear;
  // HLG only: the display gain of its system gamma, by scene luminance.
  std::vector<float> FHlgGain;
  // The curve's scale factor by the brightest channel, 0..FPeak.
  std::vector<float> FRollOff;
  // Linear 0..1 to the 8-bit BT.709 code.
  std::vector<std::uint8_t> FEncode;
};

}  // namespace tavelune
