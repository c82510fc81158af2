#include "imaging/Resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace tavelune {
namespace {

// The resampling written literally from its definition: for every result
// pixel, every cell under its footprint, the overlap's area times the
// bilinear surface at the overlap's centre, summed, divided by the area
// ratio and rounded half to even.
TBitmap24 ReferenceResample(const TBitmap24& src, int nw, int nh) {
  const int sw = src.Width(), sh = src.Height();
  const double area = static_cast<double>(sw * sh) / nw / nh;
  const double sx = static_cast<double>(sw) / nw, sy = static_cast<double>(sh) / nh;
  TBitmap24 out(nw, nh);
  auto overlap = [](int i, double lo, double hi, double& w, double& m) {
    if (i > lo && i + 1 < hi) {
      w = 1, m = 0.5;
    } else if (i <= lo && i + 1 < hi) {
      w = 1 - (lo - i), m = ((lo - i) + 1) / 2;
    } else if (i > lo && i + 1 >= hi) {
      w = hi - i, m = (hi - i) / 2;
    } else {
      w = hi - lo, m = ((hi - i) + (lo - i)) / 2;
    }
  };
  auto at = [&](int i, int j, int ch) {
    return static_cast<int>(src.Pixel(std::clamp(i, 0, sw - 1), std::clamp(j, 0, sh - 1))[ch]);
  };
  for (int y = 0; y < nh; ++y) {
    for (int x = 0; x < nw; ++x) {
      double x0 = x * sx - 0.5, x1 = (x + 1) * sx - 0.500001;
      double y0 = y * sy - 0.5, y1 = (y + 1) * sy - 0.500001;
      double sum[3] = {0, 0, 0};
      for (int j = static_cast<int>(std::floor(y0)); j <= static_cast<int>(std::floor(y1)); ++j) {
        for (int i = static_cast<int>(std::floor(x0)); i <= static_cast<int>(std::floor(x1)); ++i) {
          for (int ch = 0; ch < 3; ++ch) {
            int a = at(i, j, ch);
            int bx = at(i + 1, j, ch) - a;
            int by = at(i, j + 1, ch) - a;
            int bxy = at(i + 1, j + 1, ch) - at(i + 1, j, ch) - at(i, j + 1, ch) + a;
            double wx, mx, wy, my;
            overlap(i, x0, x1, wx, mx);
            overlap(j, y0, y1, wy, my);
            sum[ch] += wx * wy * (a + bx * mx + by * my + bxy * mx * my);
          }
        }
      }
      for (int ch = 0; ch < 3; ++ch) {
        out.Pixel(x, y)[ch] = static_cast<std::uint8_t>(std::nearbyint(sum[ch] / area));
      }
    }
  }
  return out;
}

TBitmap24 Gray(const std::vector<std::vector<int>>& rows) {
  TBitmap24 picture(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      for (int ch = 0; ch < 3; ++ch) {
        picture.Pixel(x, y)[ch] = static_cast<std::uint8_t>(rows[y][x]);
      }
    }
  }
  return picture;
}

std::vector<int> FirstChannelRow(const TBitmap24& picture, int y) {
  std::vector<int> row;
  for (int x = 0; x < picture.Width(); ++x) {
    row.push_back(picture.Pixel(x, y)[0]);
  }
  return row;
}

TBitmap24 RandomPicture(int width, int height, std::mt19937& random, int levels = 256) {
  TBitmap24 picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < 3 * width; ++x) {
      picture.Row(y)[x] = static_cast<std::uint8_t>(random() % levels * (255 / (levels - 1)));
    }
  }
  return picture;
}

TEST(ResampleBitmap, BlursASinglePixelAtTheSameSize) {
  TBitmap24 result = ResampleBitmap(Gray({{0, 0, 0}, {0, 255, 0}, {0, 0, 0}}), 3, 3);
  EXPECT_EQ(FirstChannelRow(result, 0), (std::vector<int>{4, 24, 4}));
  EXPECT_EQ(FirstChannelRow(result, 1), (std::vector<int>{24, 143, 24}));
  EXPECT_EQ(FirstChannelRow(ResampleBitmap(Gray({{10, 20, 30, 40}}), 4, 1), 0),
            (std::vector<int>{11, 20, 30, 39}));
}

TEST(ResampleBitmap, HalvesAndEnlargesSingleRows) {
  EXPECT_EQ(FirstChannelRow(ResampleBitmap(Gray({{0, 0, 255, 255}}), 2, 1), 0),
            (std::vector<int>{16, 239}));
  EXPECT_EQ(FirstChannelRow(ResampleBitmap(Gray({{0, 255}}), 4, 1), 0),
            (std::vector<int>{0, 64, 191, 255}));
}

TEST(ResampleBitmap, KeepsUniformPicturesUniformAtEverySize) {
  for (int value : {0, 1, 128, 254, 255}) {
    TBitmap24 source = Gray({{value, value, value}, {value, value, value}});
    for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {2, 3}, {100, 1}}) {
      TBitmap24 result = ResampleBitmap(source, w, h);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          ASSERT_EQ(result.Pixel(x, y)[1], value) << w << "x" << h;
        }
      }
    }
  }
  TBitmap24 single(1, 1);
  single.Fill(0x00123456);
  TBitmap24 big = ResampleBitmap(single, 9, 4);
  EXPECT_EQ(big.Pixel(8, 3)[0], 0x12);  // blue byte first
  EXPECT_EQ(big.Pixel(8, 3)[2], 0x56);
}

TEST(ResampleBitmap, RefusesEmptySourcesAndSizes) {
  EXPECT_THROW(ResampleBitmap(TBitmap24(), 3, 3), EAssertionFailed);
  EXPECT_THROW(ResampleBitmap(TBitmap24(0, 5), 3, 3), EAssertionFailed);
  EXPECT_THROW(ResampleBitmap(Gray({{1}}), 0, 3), std::invalid_argument);
  EXPECT_THROW(ResampleBitmap(Gray({{1}}), 3, -1), std::invalid_argument);
}

TEST(ResampleBitmap, AgreesWithTheDefinitionByteForByte) {
  std::mt19937 random(5);
  const std::vector<std::pair<int, int>> sizes = {{1, 1},  {1, 7},   {7, 1},  {2, 2},  {3, 5},
                                                  {16, 9}, {31, 17}, {64, 1}, {1, 64}, {50, 37}};
  int checked = 0;
  for (auto [sw, sh] : sizes) {
    for (auto [nw, nh] : sizes) {
      // Few levels make exact ties common; full range makes the rest.
      for (int levels : {2, 256}) {
        TBitmap24 source = RandomPicture(sw, sh, random, levels);
        ASSERT_TRUE(ResampleBitmap(source, nw, nh) == ReferenceResample(source, nw, nh))
            << sw << "x" << sh << " -> " << nw << "x" << nh << " levels " << levels;
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 200);
}

TEST(ResampleBitmap, AgreesWithTheDefinitionOnStillSizedPictures) {
  std::mt19937 random(8);
  TBitmap24 source = RandomPicture(320, 180, random);
  for (auto [nw, nh] : {std::pair{171, 96}, {640, 360}, {320, 180}, {97, 300}}) {
    ASSERT_TRUE(ResampleBitmap(source, nw, nh) == ReferenceResample(source, nw, nh))
        << nw << "x" << nh;
  }
}

// Chooses the loops ResampleBitmap runs for a scope and goes back to the
// best ones afterwards, so that both are held to the definition on any
// machine.
class TKernelChoice {
 public:
  explicit TKernelChoice(TResampleKernels kernels) { SetResampleKernels(kernels); }
  ~TKernelChoice() { SetResampleKernels(TResampleKernels::Best); }
  TKernelChoice(const TKernelChoice&) = delete;
  TKernelChoice& operator=(const TKernelChoice&) = delete;
};

const TResampleKernels kAllKernels[] = {TResampleKernels::Best, TResampleKernels::Baseline};

const char* KernelName(TResampleKernels kernels) {
  return kernels == TResampleKernels::Best ? "best" : "baseline";
}

// A result size: the source size times a random factor in [low, high], at
// least 1.
int ScaledSize(int sourceSize, double low, double high, std::mt19937& random) {
  const double factor = std::uniform_real_distribution<double>(low, high)(random);
  return std::max(1, static_cast<int>(sourceSize * factor));
}

void ExpectAgreementOnRandomScales(double low, double high, int maxSource, int cases,
                                   unsigned seed) {
  std::mt19937 random(seed);
  for (int i = 0; i < cases; ++i) {
    const int sw = 1 + static_cast<int>(random() % static_cast<unsigned>(maxSource));
    const int sh = 1 + static_cast<int>(random() % 40);
    const int nw = ScaledSize(sw, low, high, random);
    const int nh = ScaledSize(sh, low, high, random);
    // Two levels (0 and 255) and three make ties and near-ties common.
    const int levels = std::array{2, 3, 256}[static_cast<std::size_t>(i % 3)];
    const TBitmap24 source = RandomPicture(sw, sh, random, levels);
    const TBitmap24 expected = ReferenceResample(source, nw, nh);
    for (TResampleKernels kernels : kAllKernels) {
      TKernelChoice choice(kernels);
      ASSERT_TRUE(ResampleBitmap(source, nw, nh) == expected)
          << sw << "x" << sh << " -> " << nw << "x" << nh << " levels " << levels << ", "
          << KernelName(kernels) << " loops";
    }
  }
}

TEST(ResampleBitmap, AgreesWithTheDefinitionOnRandomEnlargements) {
  ExpectAgreementOnRandomScales(1.01, 8, 70, 120, 21);
}

TEST(ResampleBitmap, AgreesWithTheDefinitionOnRandomReductionsAndMildScales) {
  // Factors down to a twentieth give footprints of up to 20 source pixels
  // and more; those near 1 mix mild reductions and mild enlargements.
  ExpectAgreementOnRandomScales(0.05, 1, 400, 80, 22);
  ExpectAgreementOnRandomScales(0.4, 1.6, 200, 80, 23);
}

TEST(ResampleBitmap, AgreesWithTheDefinitionOnWholeFactorEnlargements) {
  // Whole factors put many averages a hair from a rounding edge (exact
  // halves moved by the millionth pull-in), all of which must be decided
  // the defining way.
  std::mt19937 random(24);
  for (int factor : {2, 3, 4, 5, 8}) {
    for (int levels : {2, 256}) {
      const int sw = 5 + static_cast<int>(random() % 60), sh = 3 + static_cast<int>(random() % 20);
      const TBitmap24 source = RandomPicture(sw, sh, random, levels);
      const TBitmap24 expected = ReferenceResample(source, sw * factor, sh * factor);
      for (TResampleKernels kernels : kAllKernels) {
        TKernelChoice choice(kernels);
        ASSERT_TRUE(ResampleBitmap(source, sw * factor, sh * factor) == expected)
            << sw << "x" << sh << " times " << factor << " levels " << levels << ", "
            << KernelName(kernels) << " loops";
      }
    }
  }
}

TEST(ResampleBitmap, AgreesWithTheDefinitionWhereFootprintsAreNarrowerThanTheirPullIn) {
  // Beyond a millionfold enlargement a footprint is narrower than the
  // millionth its upper edge is pulled in by, and the surface enters the
  // sums with negative weights.
  std::mt19937 random(25);
  for (auto [sw, sh, nw, nh] : {std::array{1, 2, 1100000, 1}, {2, 1, 1, 1100000}}) {
    const TBitmap24 source = RandomPicture(sw, sh, random);
    const TBitmap24 expected = ReferenceResample(source, nw, nh);
    for (TResampleKernels kernels : kAllKernels) {
      TKernelChoice choice(kernels);
      ASSERT_TRUE(ResampleBitmap(source, nw, nh) == expected)
          << sw << "x" << sh << " -> " << nw << "x" << nh << ", " << KernelName(kernels)
          << " loops";
    }
  }
}

TEST(ResampleBitmap, BothLoopsAgreeWithTheDefinitionOnStillSizedPictures) {
  std::mt19937 random(26);
  const TBitmap24 source = RandomPicture(640, 360, random);
  for (auto [nw, nh] : {std::pair{1920, 1080}, {384, 217}, {640, 360}}) {
    const TBitmap24 expected = ReferenceResample(source, nw, nh);
    for (TResampleKernels kernels : kAllKernels) {
      TKernelChoice choice(kernels);
      ASSERT_TRUE(ResampleBitmap(source, nw, nh) == expected)
          << nw << "x" << nh << ", " << KernelName(kernels) << " loops";
    }
  }
}

}  // namespace
}  // namespace tavelune
