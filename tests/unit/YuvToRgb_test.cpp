// Decoded pictures to DIB rows: the colours of each matrix and range, every
// layout of the same picture giving the same rows, odd sizes and the
// bottom-up order, and buffers too short for what they claim.

#include "imaging/YuvToRgb.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

namespace tavelune {
namespace {

struct TYuv {
  int Y, U, V;
};

// A picture of `width` × `height` in `layout`, every pixel's Y from
// `luma(x, y)` and every chroma position's U and V from `chroma(cx, cy)`,
// packed with `pitch` bytes per luma row.
template <typename Luma, typename Chroma>
std::vector<std::uint8_t> Pack(TYuvLayout layout, int width, int height, int pitch, Luma luma,
                               Chroma chroma) {
  const int cw = (width + 1) / 2;
  const int ch = (height + 1) / 2;
  const int chromaPitch = layout == TYuvLayout::NV12 ? pitch : (pitch + 1) / 2;
  std::vector<std::uint8_t> data(
      layout == TYuvLayout::YUY2 ? pitch * height : pitch * height + chromaPitch * ch * 2, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (layout == TYuvLayout::YUY2) {
        // Chroma of every row, here the same on each pair of rows.
        const TYuv c = chroma(x / 2, y / 2);
        std::uint8_t* pair = &data[y * pitch + (x / 2) * 4];
        pair[(x % 2) * 2] = static_cast<std::uint8_t>(luma(x, y));
        pair[1] = static_cast<std::uint8_t>(c.U);
        pair[3] = static_cast<std::uint8_t>(c.V);
      } else {
        data[y * pitch + x] = static_cast<std::uint8_t>(luma(x, y));
      }
    }
  }
  if (layout == TYuvLayout::YUY2) {
    return data;
  }
  std::uint8_t* plane1 = data.data() + pitch * height;
  std::uint8_t* plane2 = plane1 + chromaPitch * ch;
  for (int cy = 0; cy < ch; ++cy) {
    for (int cx = 0; cx < cw; ++cx) {
      const TYuv c = chroma(cx, cy);
      if (layout == TYuvLayout::NV12) {
        plane1[cy * chromaPitch + cx * 2] = static_cast<std::uint8_t>(c.U);
        plane1[cy * chromaPitch + cx * 2 + 1] = static_cast<std::uint8_t>(c.V);
      } else {
        std::uint8_t* u = layout == TYuvLayout::I420 ? plane1 : plane2;
        std::uint8_t* v = layout == TYuvLayout::I420 ? plane2 : plane1;
        u[cy * chromaPitch + cx] = static_cast<std::uint8_t>(c.U);
        v[cy * chromaPitch + cx] = static_cast<std::uint8_t>(c.V);
      }
    }
  }
  return data;
}

std::vector<std::uint8_t> Convert(TYuvLayout layout, int width, int height, int pitch,
                                  const std::vector<std::uint8_t>& data, TYuvMatrix matrix,
                                  bool fullRange, int bitCount) {
  TYuvPicture picture;
  EXPECT_TRUE(
      DescribePackedYuv(layout, width, height, height, pitch, data.data(), data.size(), picture));
  const std::size_t stride = (static_cast<std::size_t>(width) * bitCount / 8 + 3) & ~3u;
  std::vector<std::uint8_t> dib(stride * height, 0xCD);
  YuvToDib(picture, matrix, fullRange, bitCount, dib.data());
  return dib;
}

// The B G R of one flat colour.
std::array<int, 3> FlatColour(TYuv colour, TYuvMatrix matrix, bool fullRange) {
  const auto data = Pack(
      TYuvLayout::NV12, 2, 2, 2, [&](int, int) { return colour.Y; },
      [&](int, int) { return colour; });
  const auto dib = Convert(TYuvLayout::NV12, 2, 2, 2, data, matrix, fullRange, 24);
  return {dib[0], dib[1], dib[2]};
}

void ExpectNear(std::array<int, 3> got, std::array<int, 3> wanted) {
  for (int i = 0; i < 3; ++i) {
    EXPECT_LE(std::abs(got[i] - wanted[i]), 1)
        << "channel " << i << ": " << got[i] << " vs " << wanted[i];
  }
}

TEST(YuvToRgb, EachMatrixAndRangeGivesItsOwnPrimaries) {
  // Studio-range red, green and blue of BT.601 (B G R order).
  ExpectNear(FlatColour({81, 90, 240}, TYuvMatrix::BT601, false), {0, 0, 255});
  ExpectNear(FlatColour({145, 54, 34}, TYuvMatrix::BT601, false), {0, 255, 0});
  ExpectNear(FlatColour({41, 240, 110}, TYuvMatrix::BT601, false), {255, 0, 0});
  // BT.709's red is another code point, and BT.601 would read it wrongly.
  ExpectNear(FlatColour({63, 102, 240}, TYuvMatrix::BT709, false), {0, 0, 255});
  const auto misread = FlatColour({63, 102, 240}, TYuvMatrix::BT601, false);
  EXPECT_GT(std::abs(misread[2] - 255), 15);
  // Full range: black and white at the ends of the scale, red per BT.709.
  ExpectNear(FlatColour({0, 128, 128}, TYuvMatrix::BT709, true), {0, 0, 0});
  ExpectNear(FlatColour({255, 128, 128}, TYuvMatrix::BT709, true), {255, 255, 255});
  ExpectNear(FlatColour({54, 99, 255}, TYuvMatrix::BT709, true), {0, 0, 255});
  // Studio range clips what lies beyond its ends.
  ExpectNear(FlatColour({16, 128, 128}, TYuvMatrix::BT601, false), {0, 0, 0});
  ExpectNear(FlatColour({235, 128, 128}, TYuvMatrix::BT601, false), {255, 255, 255});
  ExpectNear(FlatColour({255, 128, 128}, TYuvMatrix::BT601, false), {255, 255, 255});
  ExpectNear(FlatColour({0, 128, 128}, TYuvMatrix::BT601, false), {0, 0, 0});
  // BT.2020's grey is grey too, and its blue differs from BT.709's.
  ExpectNear(FlatColour({126, 128, 128}, TYuvMatrix::BT2020, false), {128, 128, 128});
  EXPECT_NE(FlatColour({40, 240, 118}, TYuvMatrix::BT2020, false),
            FlatColour({40, 240, 118}, TYuvMatrix::BT709, false));
}

TEST(YuvToRgb, HdIsGuessedAsBt709AndSdAsBt601) {
  EXPECT_EQ(GuessYuvMatrix(480), TYuvMatrix::BT601);
  EXPECT_EQ(GuessYuvMatrix(576), TYuvMatrix::BT601);
  EXPECT_EQ(GuessYuvMatrix(719), TYuvMatrix::BT601);
  EXPECT_EQ(GuessYuvMatrix(720), TYuvMatrix::BT709);
  EXPECT_EQ(GuessYuvMatrix(1080), TYuvMatrix::BT709);
}

TEST(YuvToRgb, EveryLayoutOfOnePictureGivesTheSameBottomUpRows) {
  // Odd sizes: the last column and row share the chroma of the one before.
  constexpr int kWidth = 7;
  constexpr int kHeight = 5;
  auto luma = [](int x, int y) { return 16 + x * 25 + y * 7; };
  auto chroma = [](int cx, int cy) {
    return TYuv{0, 60 + cx * 40 + cy * 10, 200 - cx * 30 - cy * 20};
  };
  std::vector<std::vector<std::uint8_t>> results;
  for (const TYuvLayout layout :
       {TYuvLayout::NV12, TYuvLayout::I420, TYuvLayout::YV12, TYuvLayout::YUY2}) {
    for (const int bitCount : {24, 32}) {
      const int pitch = layout == TYuvLayout::YUY2 ? 20 : 12;  // padded rows
      const auto data = Pack(layout, kWidth, kHeight, pitch, luma, chroma);
      const auto dib =
          Convert(layout, kWidth, kHeight, pitch, data, TYuvMatrix::BT601, false, bitCount);
      // Back to 24-bit rows for comparing; 32-bit pixels end with 255.
      const std::size_t stride = (kWidth * bitCount / 8 + 3) & ~3u;
      std::vector<std::uint8_t> rows;
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          const std::uint8_t* pixel = &dib[y * stride + x * bitCount / 8];
          rows.insert(rows.end(), pixel, pixel + 3);
          if (bitCount == 32) {
            EXPECT_EQ(pixel[3], 255);
          }
        }
        // Row padding is cleared, not left as it was.
        for (std::size_t i = kWidth * bitCount / 8; i < stride; ++i) {
          EXPECT_EQ(dib[y * stride + i], 0);
        }
      }
      results.push_back(rows);
    }
  }
  for (std::size_t i = 1; i < results.size(); ++i) {
    EXPECT_EQ(results[i], results[0]) << "layout/depth " << i;
  }
  // The DIB's first row is the picture's last: its luma is the brightest.
  const auto& rows = results[0];
  const int firstRowGreen = rows[1];
  const int lastRowGreen = rows[(kHeight - 1) * kWidth * 3 + 1];
  EXPECT_GT(firstRowGreen, lastRowGreen);
}

TEST(YuvToRgb, BuffersTooShortOrPitchesTooNarrowAreRefused) {
  std::vector<std::uint8_t> data(64 * 48 * 3 / 2);
  TYuvPicture picture;
  EXPECT_TRUE(
      DescribePackedYuv(TYuvLayout::NV12, 64, 48, 48, 64, data.data(), data.size(), picture));
  EXPECT_EQ(picture.Planes[1], data.data() + 64 * 48);
  // Coded rows beyond the visible ones move the chroma plane and need room.
  EXPECT_FALSE(
      DescribePackedYuv(TYuvLayout::NV12, 64, 48, 64, 64, data.data(), data.size(), picture));
  EXPECT_FALSE(
      DescribePackedYuv(TYuvLayout::NV12, 64, 48, 48, 64, data.data(), data.size() - 1, picture));
  EXPECT_FALSE(
      DescribePackedYuv(TYuvLayout::I420, 64, 48, 48, 63, data.data(), data.size(), picture));
  EXPECT_FALSE(
      DescribePackedYuv(TYuvLayout::YUY2, 64, 48, 48, 64, data.data(), data.size(), picture));
  EXPECT_FALSE(
      DescribePackedYuv(TYuvLayout::NV12, 64, 48, 40, 64, data.data(), data.size(), picture));
  EXPECT_FALSE(
      DescribePackedYuv(TYuvLayout::NV12, 0, 48, 48, 64, data.data(), data.size(), picture));
  std::vector<std::uint8_t> coded(64 * 64 * 3 / 2);
  EXPECT_TRUE(
      DescribePackedYuv(TYuvLayout::I420, 64, 48, 64, 64, coded.data(), coded.size(), picture));
  EXPECT_EQ(picture.Planes[1], coded.data() + 64 * 64);
  EXPECT_EQ(picture.Planes[2], coded.data() + 64 * 64 + 32 * 32);
}

}  // namespace
}  // namespace tavelune
