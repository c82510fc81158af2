#include "imaging/ToneMap.h"

#include <algorithm>
#include <cmath>

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

// BT.709's OETF: linear 0..1 to code 0..1.
double Bt709Encode(double linear) {
  return linear < 0.018 ? 4.5 * linear : 1.099 * std::pow(linear, 0.45) - 0.099;
}

// Linear BT.2020 RGB to linear BT.709 RGB (the same white).
constexpr float k2020To709[3][3] = {{1.6605f, -0.5876f, -0.0728f},
                                    {-0.1246f, 1.1329f, -0.0083f},
                                    {-0.0182f, -0.1006f, 1.1187f}};

// HLG's system gamma for a display of `peakNits` (BT.2100).
double HlgSystemGamma(double peakNits) {
  return 1.2 + 0.42 * std::log10(peakNits / 1000);
}

}  // namespace

TToneMapper::TToneMapper(THdrTransfer transfer, double peakNits) : FTransfer(transfer) {
  peakNits = std::clamp(std::isfinite(peakNits) ? peakNits : kDefaultPeakNits, kSdrWhiteNits,
                        10000.0);
  FPeak = peakNits / kSdrWhiteNits;
  FToLinear.resize(kCodeSteps);
  for (int i = 0; i < kCodeSteps; ++i) {
    const double code = (i + 0.5) / kCodeSteps;
    FToLinear[i] = static_cast<float>(transfer == THdrTransfer::Hlg
                                          ? HlgToScene(code)
                                          : PqToLinear(code) * 10000 / kSdrWhiteNits);
  }
  if (transfer == THdrTransfer::Hlg) {
    // Display light = peak × scene light × Ys^(gamma - 1), relative to SDR white.
    const double gamma = HlgSystemGamma(peakNits);
    FHlgGain.resize(kLinearSteps + 1);
    for (int i = 0; i <= kLinearSteps; ++i) {
      const double luminance = std::max(static_cast<double>(i) / kLinearSteps, 1e-6);
      FHlgGain[i] = static_cast<float>(FPeak * std::pow(luminance, gamma - 1));
    }
  }
  FRollOff.resize(kLinearSteps + 1);
  for (int i = 0; i <= kLinearSteps; ++i) {
    const double brightest = FPeak * i / kLinearSteps;
    FRollOff[i] = brightest <= kKnee ? 1.0f : static_cast<float>(Curve(brightest) / brightest);
  }
  FEncode.resize(kLinearSteps + 1);
  for (int i = 0; i <= kLinearSteps; ++i) {
    FEncode[i] = static_cast<std::uint8_t>(
        std::lround(255 * Bt709Encode(static_cast<double>(i) / kLinearSteps)));
  }
}

double TToneMapper::Curve(double x) const {
  // Möbius: the identity up to the knee j, then a rational curve that joins
  // it smoothly (same value and slope) and reaches 1 at the peak.
  const double j = kKnee;
  if (x <= j || FPeak <= 1) {
    return std::min(x, 1.0);
  }
  const double a = -j * j * (FPeak - 1) / (j * j - 2 * j + FPeak);
  const double b = (j * j - 2 * j * FPeak + FPeak) / (FPeak - 1);
  return std::min((b * b + 2 * b * j + j * j) / (b - a) * (x + a) / (x + b), 1.0);
}

void TToneMapper::MapRow(const std::uint16_t* rgb, int width, std::uint8_t* bgr,
                         int bytesPerPixel) const {
  const float* toLinear = FToLinear.data();
  const float* rollOff = FRollOff.data();
  const std::uint8_t* encode = FEncode.data();
  const float rollOffScale = static_cast<float>(kLinearSteps / FPeak);
  const bool hlg = FTransfer == THdrTransfer::Hlg;
  for (int x = 0; x < width; ++x, rgb += 3, bgr += bytesPerPixel) {
    float r = toLinear[rgb[0] >> 4];
    float g = toLinear[rgb[1] >> 4];
    float b = toLinear[rgb[2] >> 4];
    if (hlg) {
      const float luminance = 0.2627f * r + 0.6780f * g + 0.0593f * b;
      const float gain = FHlgGain[static_cast<int>(std::min(luminance, 1.0f) * kLinearSteps)];
      r *= gain;
      g *= gain;
      b *= gain;
    }
    const float r709 = std::max(k2020To709[0][0] * r + k2020To709[0][1] * g + k2020To709[0][2] * b, 0.0f);
    const float g709 = std::max(k2020To709[1][0] * r + k2020To709[1][1] * g + k2020To709[1][2] * b, 0.0f);
    const float b709 = std::max(k2020To709[2][0] * r + k2020To709[2][1] * g + k2020To709[2][2] * b, 0.0f);
    // The brightest channel sets one scale for all three, so that rolled-off
    // highlights keep their hue.
    const float brightest = std::min(std::max({r709, g709, b709}), static_cast<float>(FPeak));
    // Scaled to the encoding table's steps, rounded to the nearest.
    const float scale = rollOff[static_cast<int>(brightest * rollOffScale)] * kLinearSteps;
    const auto step = [scale](float linear) {
      return static_cast<int>(std::min(linear * scale + 0.5f, float{kLinearSteps}));
    };
    bgr[0] = encode[step(b709)];
    bgr[1] = encode[step(g709)];
    bgr[2] = encode[step(r709)];
    if (bytesPerPixel == 4) {
      bgr[3] = 255;
    }
  }
}

}  // namespace tavelune
