#include "imaging/RotImg.h"

#include <gtest/gtest.h>

#include <cstring>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

namespace tavelune {
namespace {

// The turn written literally from its definition, in the 80-bit type.
TBitmap24 ReferenceRotate(const TBitmap24& src, TColor back, double angle) {
  while (angle >= 360) {
    angle -= 360;
  }
  while (angle < 0) {
    angle += 360;
  }
  const long double pi = 3.14159265358979323851L;
  const long double theta = angle * pi / 180;
  const long double c = std::cos(theta), s = std::sin(theta);
  const int w = src.Width(), h = src.Height();
  long long tw, th;
  if (c * s >= 0) {
    tw = std::llrint(std::fabs(w * c + h * s));
    th = std::llrint(std::fabs(w * s + h * c));
  } else {
    tw = std::llrint(std::fabs(w * c - h * s));
    th = std::llrint(std::fabs(w * s - h * c));
  }
  TBitmap24 out(static_cast<int>(tw), static_cast<int>(th));
  out.Fill(back);
  int tx = static_cast<int>(tw / 2), ty = static_cast<int>(th / 2);
  int sx0 = w / 2, sy0 = h / 2;
  if (c < 0) {
    --sx0;
  }
  if (s < 0) {
    --sy0;
  }
  for (long long y = std::max<long long>(th, h) - 1; y >= 0; --y) {
    for (long long x = std::max<long long>(tw, w) - 1; x >= 0; --x) {
      long long dx = x - tx, dy = y - ty;
      long long u = std::llrint(dx * c - dy * s) + sx0;
      long long v = std::llrint(dx * s + dy * c) + sy0;
      if (v >= 0 && v < h && u >= 0 && u < w && y < th && x < tw) {
        std::memcpy(out.Pixel(static_cast<int>(x), static_cast<int>(y)),
                    src.Pixel(static_cast<int>(u), static_cast<int>(v)), 3);
      }
    }
  }
  return out;
}

TBitmap24 Numbered(int width, int height) {
  TBitmap24 picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.Pixel(x, y)[0] = static_cast<std::uint8_t>(y * width + x + 1);
      picture.Pixel(x, y)[1] = 7;
      picture.Pixel(x, y)[2] = 9;
    }
  }
  return picture;
}

int Label(const TBitmap24& picture, int x, int y) {
  return picture.Pixel(x, y)[0];
}

TEST(RotateBitmap, CopiesThePictureAtZeroAndFullTurns) {
  TBitmap24 picture = Numbered(5, 3);
  for (double angle : {0.0, 360.0, -360.0, 720.0}) {
    EXPECT_TRUE(RotateBitmap(picture, 0, angle) == picture) << angle;
  }
}

TEST(RotateBitmap, TurnsAQuarterExactlyCounterClockwise) {
  // 4 x 2, labels 1..8 row by row.
  TBitmap24 turned = RotateBitmap(Numbered(4, 2), 0xFFFFFF, 90);
  ASSERT_EQ(turned.Width(), 2);
  ASSERT_EQ(turned.Height(), 4);
  std::vector<int> seen;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 2; ++x) {
      seen.push_back(Label(turned, x, y));
    }
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  // The source's right edge (4, 8) is the top row, its bottom edge (5..8) the right column.
  EXPECT_EQ(Label(turned, 0, 0), 4);
  EXPECT_EQ(Label(turned, 1, 0), 8);
  EXPECT_EQ(Label(turned, 1, 3), 5);
  EXPECT_TRUE(RotateBitmap(Numbered(4, 2), 0, 450) == turned);
}

TEST(RotateBitmap, TurnsHalfAndThreeQuartersExactly) {
  TBitmap24 half = RotateBitmap(Numbered(4, 2), 0, 180);
  ASSERT_EQ(half.Width(), 4);
  EXPECT_EQ(Label(half, 0, 0), 8);
  EXPECT_EQ(Label(half, 3, 1), 1);
  TBitmap24 threeQuarters = RotateBitmap(Numbered(4, 2), 0, 270);
  ASSERT_EQ(threeQuarters.Width(), 2);
  EXPECT_EQ(Label(threeQuarters, 0, 0), 5);
  EXPECT_EQ(Label(threeQuarters, 1, 3), 4);
}

TEST(RotateBitmap, FillsTheCornersOfADiagonalTurnWithTheBackground) {
  TBitmap24 square(100, 100);
  square.Fill(0x000000);
  TBitmap24 turned = RotateBitmap(square, 0x0000FF, 45);
  EXPECT_EQ(turned.Width(), 141);
  EXPECT_EQ(turned.Height(), 141);
  EXPECT_EQ(turned.Pixel(0, 0)[2], 0xFF);  // red corner
  EXPECT_EQ(turned.Pixel(70, 70)[2], 0x00);
}

TEST(RotateBitmap, AgreesWithTheDefinitionByteForByte) {
  std::mt19937 random(3);
  const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 9},  {9, 1},   {4, 2},
                                                  {7, 5}, {64, 3}, {33, 48}, {120, 80}};
  std::vector<double> angles = {0, 90, 180, 270, 360, -360, 450, 1e-9, -1e-9, 45, 17, 359.999};
  for (int i = 0; i < 8; ++i) {
    angles.push_back(std::uniform_real_distribution<double>(-720, 720)(random));
  }
  for (auto [w, h] : sizes) {
    TBitmap24 picture(w, h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < 3 * w; ++x) {
        picture.Row(y)[x] = static_cast<std::uint8_t>(random());
      }
    }
    for (double angle : angles) {
      ASSERT_TRUE(RotateBitmap(picture, 0x00336699, angle) ==
                  ReferenceRotate(picture, 0x00336699, angle))
          << w << "x" << h << " at " << angle;
    }
  }
}

TEST(RotateBitmap, RefusesAnglesThatAreNoNumbers) {
  EXPECT_THROW(RotateBitmap(Numbered(2, 2), 0, std::nan("")), std::invalid_argument);
  EXPECT_THROW(RotateBitmap(Numbered(2, 2), 0, INFINITY), std::invalid_argument);
  // A huge angle ends, as a whole number of turns plus the rest.
  EXPECT_EQ(RotateBitmap(Numbered(4, 2), 0, 1e300).Width() > 0, true);
}

TEST(RotateBitmap, StopsWhenAbortedLeavingTheTopRowsInTheBackground) {
  TBitmap24 picture(3000, 2000);
  picture.Fill(0x000000);
  std::atomic<bool> done{false};
  // The turn clears the flag as it starts; keep setting it until it returns.
  std::thread aborter([&] {
    while (!done) {
      AbortRotation();
      std::this_thread::yield();
    }
  });
  TBitmap24 turned = RotateBitmap(picture, 0xFFFFFF, 90);
  done = true;
  aborter.join();
  ASSERT_EQ(turned.Width(), 2000);
  for (int x = 0; x < turned.Width(); ++x) {
    ASSERT_EQ(turned.Pixel(x, 0)[0], 0xFF) << x;
  }
}

TEST(TRotateImage, KeepsASquareWhoseSideDoesNotDependOnTheAngle) {
  TRotateImage image;
  TBitmap24 picture(100, 50);
  picture.Fill(0x000000);
  image.SetColor(0xFFFFFF);
  image.SetPicture(picture);
  for (double angle : {0.0, 17.0, 90.0, 200.0}) {
    image.SetAngle(angle);
    EXPECT_EQ(image.TurnedBitmap().Width(), 114) << angle;
    EXPECT_EQ(image.TurnedBitmap().Height(), 114) << angle;
  }
}

TEST(TRotateImage, CentresTheTurnInItsSquareUnlessStretched) {
  TRotateImage image;
  image.SetColor(0xFFFFFF);
  image.SetCenter(true);
  TBitmap24 picture(10, 10);
  picture.Fill(0x000000);
  image.SetPicture(picture);
  // Side Round(sqrt(12^2 + 12^2)) = 17; the 10 x 10 turn sits at (3, 3).
  ASSERT_EQ(image.TurnedBitmap().Width(), 17);
  EXPECT_EQ(image.TurnedBitmap().Pixel(2, 2)[0], 0xFF);
  EXPECT_EQ(image.TurnedBitmap().Pixel(3, 3)[0], 0x00);
  image.SetStretch(true);
  EXPECT_EQ(image.TurnedBitmap().Pixel(0, 0)[0], 0x00);
  EXPECT_EQ(image.TurnedBitmap().Pixel(12, 12)[0], 0xFF);
}

TEST(TRotateImage, FollowsItsPictureInSizeAndEmptiness) {
  TRotateImage image;
  image.SetUniqueSize(false);
  image.SetAutoSize(true);
  image.SetPicture(Numbered(4, 2));
  image.SetAngle(90);
  EXPECT_EQ(image.Width(), 2);
  EXPECT_EQ(image.Height(), 4);
  image.SetPicture(TBitmap24());
  EXPECT_TRUE(image.TurnedBitmap().Empty());
}

TEST(TRotateImage, BuildsOnceAfterLoading) {
  TRotateImage image;
  image.BeginLoading();
  image.SetPicture(Numbered(4, 2));
  image.SetUniqueSize(false);
  EXPECT_TRUE(image.TurnedBitmap().Empty());
  image.EndLoading();
  EXPECT_EQ(image.TurnedBitmap().Width(), 4);
}

}  // namespace
}  // namespace tavelune
