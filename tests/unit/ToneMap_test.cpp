// The HDR tone mapping: its curve, and rows of known signals.

#include "imaging/ToneMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace tavelune {
namespace {

// The 16-bit PQ code of `nits` cd/m² (SMPTE ST 2084's inverse EOTF).
std::uint16_t PqCode(double nits) {
  const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
  const double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
  const double y = std::pow(nits / 10000, m1);
  return static_cast<std::uint16_t>(
      std::lround(65535 * std::pow((c1 + c2 * y) / (1 + c3 * y), m2)));
}

std::vector<std::uint8_t> MapPixel(const TToneMapper& mapper, std::uint16_t r, std::uint16_t g,
                                   std::uint16_t b) {
  const std::uint16_t rgb[3] = {r, g, b};
  std::vector<std::uint8_t> bgra(4);
  mapper.MapRow(rgb, 1, bgra.data(), 4);
  return bgra;
}

TEST(ToneMap, TheCurveKeepsWhatLiesBelowTheKneeAndRollsOffToThePeak) {
  const TToneMapper mapper(THdrTransfer::Pq, 1000);
  EXPECT_DOUBLE_EQ(mapper.PeakRelative(), 1000 / kSdrWhiteNits);
  EXPECT_DOUBLE_EQ(mapper.Curve(0.5), 0.5);
  EXPECT_DOUBLE_EQ(mapper.Curve(TToneMapper::kKnee), TToneMapper::kKnee);
  EXPECT_NEAR(mapper.Curve(mapper.PeakRelative()), 1.0, 1e-9);
  // Smooth at the knee, rising all the way, never above 1.
  const double step = 1e-6;
  EXPECT_NEAR((mapper.Curve(TToneMapper::kKnee + step) - TToneMapper::kKnee) / step, 1.0, 1e-3);
  double last = 0;
  for (double x = 0; x <= mapper.PeakRelative() * 2; x += 0.01) {
    EXPECT_GE(mapper.Curve(x), last) << x;
    EXPECT_LE(mapper.Curve(x), 1.0) << x;
    last = mapper.Curve(x);
  }
  // A peak no brighter than SDR white leaves nothing to roll off; one that
  // is no number is taken as the usual 1000 cd/m².
  EXPECT_DOUBLE_EQ(TToneMapper(THdrTransfer::Pq, 100).Curve(0.9), 0.9);
  EXPECT_DOUBLE_EQ(TToneMapper(THdrTransfer::Pq, NAN).PeakRelative(), 1000 / kSdrWhiteNits);
}

TEST(ToneMap, PqGreysComeOutAsAnSdrScreenShowsTheSameLight) {
  const TToneMapper mapper(THdrTransfer::Pq, 1000);
  // 20 % of SDR white: BT.1886 shows code 255 × 0.2^(1/2.4) as that light.
  const std::uint16_t grey = PqCode(0.2 * kSdrWhiteNits);
  const std::vector<std::uint8_t> pixel = MapPixel(mapper, grey, grey, grey);
  const double expected = 255 * std::pow(0.2, 1 / 2.4);
  for (int channel = 0; channel < 3; ++channel) {
    EXPECT_NEAR(pixel[channel], expected, 1.0);
  }
  EXPECT_EQ(pixel[3], 255);
  // Black stays black; the peak becomes white; SDR white is rolled off a little.
  EXPECT_EQ(MapPixel(mapper, 0, 0, 0)[1], 0);
  EXPECT_EQ(MapPixel(mapper, PqCode(1000), PqCode(1000), PqCode(1000))[1], 255);
  const int white = MapPixel(mapper, PqCode(203), PqCode(203), PqCode(203))[1];
  EXPECT_GT(white, 230);
  EXPECT_LT(white, 250);
}

TEST(ToneMap, BrightSaturatedColoursKeepTheirHue) {
  const TToneMapper mapper(THdrTransfer::Pq, 4000);
  // A BT.2020 red at 2000 cd/m² beside a dimmer green: the roll-off scales
  // all three channels alike, so no channel is clipped into another hue.
  const std::vector<std::uint8_t> pixel = MapPixel(mapper, PqCode(2000), PqCode(20), 0);
  EXPECT_EQ(pixel[2], 255);  // red
  EXPECT_LT(pixel[1], 128);  // green stays well below red
  EXPECT_EQ(pixel[0], 0);    // no blue
}

TEST(ToneMap, HlgReferenceWhiteIsTheSameAsPqs) {
  // HLG puts SDR white at 75 % of its signal.
  const TToneMapper hlg(THdrTransfer::Hlg, kDefaultPeakNits);
  const TToneMapper pq(THdrTransfer::Pq, kDefaultPeakNits);
  const auto code = static_cast<std::uint16_t>(0.75 * 65535);
  const int hlgWhite = MapPixel(hlg, code, code, code)[1];
  const int pqWhite = MapPixel(pq, PqCode(203), PqCode(203), PqCode(203))[1];
  EXPECT_NEAR(hlgWhite, pqWhite, 2);
}

TEST(ToneMap, P010PicturesAreCroppedAndWrittenBottomUp) {
  // Ten columns of 16-bit samples, six coded rows; the picture is the 6 × 2
  // at (2, 1): a 20 % grey over black, with neutral chroma.
  constexpr std::size_t kPitch = 10 * 2;
  constexpr int kCoded = 6;
  std::vector<std::uint16_t> planes(10 * kCoded + 10 * (kCoded / 2), 0);
  const double signal = PqCode(0.2 * kSdrWhiteNits) / 65535.0;
  const auto grey = static_cast<std::uint16_t>(std::lround(64 + 876 * signal) << 6);
  for (int x = 0; x < 10; ++x) {
    planes[1 * 10 + x] = grey;
    planes[2 * 10 + x] = 64 << 6;  // black
    for (int row = 0; row < kCoded / 2; ++row) {
      planes[10 * kCoded + row * 10 + x] = 512 << 6;  // Cb and Cr alike
    }
  }
  const TToneMapper mapper(THdrTransfer::Pq, 1000);
  const auto* data = reinterpret_cast<const std::uint8_t*>(planes.data());
  const std::size_t size = planes.size() * 2;
  std::vector<std::uint8_t> dib(2 * 20, 7);  // rows of 6 × 3 bytes padded to 20
  ASSERT_TRUE(mapper.MapP010Picture(data, size, kPitch, kCoded, 2, 1, 6, 2, {}, 3, dib.data()));
  EXPECT_EQ(dib[0], 0);  // the bottom row first: black
  EXPECT_EQ(dib[17], 0);
  EXPECT_NEAR(dib[20], 255 * std::pow(0.2, 1 / 2.4), 1.5);  // then the grey
  EXPECT_NEAR(dib[20 + 17], 255 * std::pow(0.2, 1 / 2.4), 1.5);
  EXPECT_EQ(dib[18], 7);  // the padding is left alone
  // A buffer too small for its planes, or a picture beyond them: nothing.
  std::vector<std::uint8_t> untouched(dib.size(), 7);
  EXPECT_FALSE(
      mapper.MapP010Picture(data, size - 2, kPitch, kCoded, 2, 1, 6, 2, {}, 3, untouched.data()));
  EXPECT_FALSE(
      mapper.MapP010Picture(data, size, kPitch, kCoded, 6, 1, 6, 2, {}, 3, untouched.data()));
  EXPECT_FALSE(
      mapper.MapP010Picture(data, size, kPitch, kCoded, 2, 5, 6, 2, {}, 3, untouched.data()));
  EXPECT_EQ(untouched, std::vector<std::uint8_t>(dib.size(), 7));
}

TEST(ToneMap, ThePlainLoopMapsAsTheVectorUnitsDo) {
  std::vector<std::uint16_t> y, u, v;
  for (int i = 0; i < 4000; ++i) {
    y.push_back(static_cast<std::uint16_t>((i * 2654435761u) >> 16));
    u.push_back(static_cast<std::uint16_t>((i * 40503u) & 0xFFFF));
    v.push_back(static_cast<std::uint16_t>((i * 9973u) & 0xFFFF));
  }
  TYuvCoding coding;
  coding.Bits = 16;
  for (const THdrTransfer transfer : {THdrTransfer::Pq, THdrTransfer::Hlg}) {
    const TToneMapper mapper(transfer, 4000);
    std::vector<std::uint8_t> vectorised(4 * y.size());
    std::vector<std::uint8_t> plain(4 * y.size());
    mapper.MapYuvRow(y.data(), u.data(), v.data(), 0, static_cast<int>(y.size()), coding,
                     vectorised.data(), 4);
    TToneMapper::UseVectorUnits(false);
    mapper.MapYuvRow(y.data(), u.data(), v.data(), 0, static_cast<int>(y.size()), coding,
                     plain.data(), 4);
    TToneMapper::UseVectorUnits(true);
    int worst = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
      worst = std::max(worst, std::abs(plain[i] - vectorised[i]));
    }
    EXPECT_LE(worst, 1);
  }
}

TEST(ToneMap, EveryCodeMapsWithoutLeavingItsTables) {
  for (const THdrTransfer transfer : {THdrTransfer::Pq, THdrTransfer::Hlg}) {
    const TToneMapper mapper(transfer, 10000);
    std::vector<std::uint16_t> row;
    for (int code = 0; code < 65536; code += 7) {
      const auto value = static_cast<std::uint16_t>(code);
      row.insert(row.end(), {value, static_cast<std::uint16_t>(65535 - value), 65535});
    }
    std::vector<std::uint8_t> out(row.size(), 0);
    mapper.MapRow(row.data(), static_cast<int>(row.size() / 3), out.data(), 3);
    EXPECT_EQ(out[2], 0) << "code 0 of red with full green and blue";
  }
}

}  // namespace
}  // namespace tavelune
