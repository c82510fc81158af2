#include "imaging/BlankPicture.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tavelune {

namespace {

constexpr double kWantedSamples = 65536;

// The sampling step in both directions: 1 for small pictures, about
// sqrt(pixels / kWantedSamples) for large ones.
int SampleStep(const TBitmap24& picture) {
  const double pixels = static_cast<double>(picture.Width()) * picture.Height();
  const double step = std::floor(std::sqrt(pixels / kWantedSamples));
  return step < 1 ? 1 : static_cast<int>(step);
}

}  // namespace

TFlatness MeasureFlatness(const TBitmap24& picture) {
  TFlatness flatness;
  if (picture.Empty()) {
    flatness.ShareInBand = 1;
    return flatness;
  }
  std::array<std::uint32_t, 256> histogram{};
  std::uint64_t lumaSum = 0;
  const int step = SampleStep(picture);
  // Rows and columns start half a step in, so that a border line of another
  // colour is not sampled more than any other line.
  for (int y = step / 2; y < picture.Height(); y += step) {
    const std::uint8_t* row = picture.Row(y);
    for (int x = step / 2; x < picture.Width(); x += step) {
      const std::uint8_t* bgr = row + 3 * static_cast<std::size_t>(x);
      const unsigned luma = (29u * bgr[0] + 150u * bgr[1] + 77u * bgr[2] + 128u) >> 8;
      ++histogram[luma];
      lumaSum += luma;
      ++flatness.Samples;
    }
  }
  // The fullest band of kFlatBandLevels neighbouring levels, slid over the
  // histogram.
  std::uint32_t inBand = 0;
  for (int level = 0; level < kFlatBandLevels; ++level) {
    inBand += histogram[static_cast<std::size_t>(level)];
  }
  std::uint32_t fullest = inBand;
  for (std::size_t top = kFlatBandLevels; top < histogram.size(); ++top) {
    inBand += histogram[top] - histogram[top - kFlatBandLevels];
    fullest = std::max(fullest, inBand);
  }
  flatness.MeanLuma = static_cast<double>(lumaSum) / flatness.Samples;
  flatness.ShareInBand = static_cast<double>(fullest) / flatness.Samples;
  return flatness;
}

bool IsBlankPicture(const TBitmap24& picture) {
  const TFlatness flatness = MeasureFlatness(picture);
  return flatness.MeanLuma < kBlankMeanLuma || flatness.ShareInBand >= kBlankShareInBand;
}

}  // namespace tavelune
