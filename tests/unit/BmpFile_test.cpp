#include "imaging/BmpFile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "helpers/TestFiles.h"

namespace tavelune {
namespace {

TBitmap24 RandomPicture(int width, int height, std::uint32_t seed) {
  TBitmap24 picture(width, height);
  std::mt19937 random(seed);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < 3 * width; ++x) {
      picture.Row(y)[x] = static_cast<std::uint8_t>(random());
    }
  }
  return picture;
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<char>(v >> (8 * i));
  }
}

TEST(BmpFile, ReadsBackWhatItWrites) {
  test::TTempDir dir;
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {5, 7}, {64, 3}}) {
    TBitmap24 picture = RandomPicture(w, h, static_cast<std::uint32_t>(w * 100 + h));
    std::string name = dir.Name("p.bmp");
    WriteBmpFile(picture, name);
    EXPECT_TRUE(ReadBmpFile(name) == picture) << w << "x" << h;
  }
}

TEST(BmpFile, WritesBottomUpRowsPaddedToFourBytes) {
  TBitmap24 picture(1, 2);
  picture.Fill(0x00332211);  // RGB 11 22 33 -> stored B G R = 33 22 11
  picture.Pixel(0, 0)[0] = 0xAA;
  std::string bytes = EncodeBmp(picture);
  ASSERT_EQ(bytes.size(), 54u + 2 * 4);
  EXPECT_EQ(bytes.substr(54, 4), std::string("\x33\x22\x11\x00", 4));  // bottom row first
  EXPECT_EQ(bytes.substr(58, 4), std::string("\xAA\x22\x11\x00", 4));
}

TEST(BmpFile, ReadsTopDownAnd32BitFiles) {
  TBitmap24 picture = RandomPicture(3, 2, 9);
  std::string topDown = EncodeBmp(picture);
  Put32(topDown, 22, static_cast<std::uint32_t>(-2));
  // Rows are now read top-down: the stored first row is the top one.
  TBitmap24 flipped = DecodeBmp(topDown, "t");
  EXPECT_EQ(std::memcmp(flipped.Row(0), picture.Row(1), 9), 0);
  EXPECT_EQ(std::memcmp(flipped.Row(1), picture.Row(0), 9), 0);

  std::string wide = topDown.substr(0, 54);
  wide[28] = 32;
  for (int y = 1; y >= 0; --y) {
    for (int x = 0; x < 3; ++x) {
      wide.append(reinterpret_cast<const char*>(picture.Pixel(x, y)), 3);
      wide += '\xFF';
    }
  }
  EXPECT_TRUE(DecodeBmp(wide, "w") == flipped);
}

TEST(BmpFile, RefusesDamagedAndUnsupportedFiles) {
  std::string good = EncodeBmp(RandomPicture(4, 4, 1));
  EXPECT_THROW(DecodeBmp("", "x"), EBmpError);
  EXPECT_THROW(DecodeBmp("PK" + good.substr(2), "x"), EBmpError);
  for (std::size_t length = 0; length < good.size(); length += 7) {
    EXPECT_THROW(DecodeBmp(good.substr(0, length), "x"), EBmpError) << length;
  }
  std::string lying = good;
  Put32(lying, 18, 60000);  // claims 60000 x 4 pixels
  EXPECT_THROW(DecodeBmp(lying, "x"), EBmpError);
  std::string absurd = good;
  Put32(absurd, 18, 0x7FFFFFFF);
  Put32(absurd, 22, 0x7FFFFFFF);
  EXPECT_THROW(DecodeBmp(absurd, "x"), EBmpError);
  std::string zero = good;
  Put32(zero, 18, 0);
  EXPECT_THROW(DecodeBmp(zero, "x"), EBmpError);
  std::string eightBit = good;
  eightBit[28] = 8;
  EXPECT_THROW(DecodeBmp(eightBit, "x"), EBmpError);
  std::string compressed = good;
  Put32(compressed, 30, 1);
  EXPECT_THROW(DecodeBmp(compressed, "x"), EBmpError);
  test::TTempDir dir;
  EXPECT_THROW(ReadBmpFile(dir.Name("missing.bmp")), EBmpError);
}

TEST(Bitmap, RefusesImpossibleSizes) {
  EXPECT_THROW(TBitmap24(-1, 5), std::length_error);
  EXPECT_THROW(TBitmap24(100000, 100000), std::length_error);
  TBitmap24 empty(0, 0);
  EXPECT_TRUE(empty.Empty());
}

}  // namespace
}  // namespace tavelune
