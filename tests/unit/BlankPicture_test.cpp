// The blank test that keeps fades, black frames and flat cards out of the
// collage.

#include "imaging/BlankPicture.h"

#include <gtest/gtest.h>

namespace tavelune {
namespace {

TBitmap24 Filled(int width, int height, TColor rgb) {
  TBitmap24 picture(width, height);
  picture.Fill(rgb);
  return picture;
}

// Paints the rectangle [left, right) x [top, bottom) in a grey level.
void PaintGrey(TBitmap24& picture, int left, int top, int right, int bottom, std::uint8_t grey) {
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      std::uint8_t* pixel = picture.Pixel(x, y);
      pixel[0] = pixel[1] = pixel[2] = grey;
    }
  }
}

TEST(BlankPicture, BlackDarkAndFlatFramesAreBlank) {
  EXPECT_TRUE(IsBlankPicture(Filled(1920, 1080, 0x000000)));
  EXPECT_TRUE(IsBlankPicture(Filled(640, 360, 0x0C0C0C)));  // the end of a fade
  EXPECT_TRUE(IsBlankPicture(Filled(720, 576, 0xA05020)));  // a flat card in colour
  // Grain over a flat card: still one band.
  TBitmap24 grainy = Filled(320, 240, 0x808080);
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      grainy.Pixel(x, y)[1] = static_cast<std::uint8_t>(124 + (x * 7 + y * 13) % 9);
    }
  }
  EXPECT_TRUE(IsBlankPicture(grainy));
  EXPECT_TRUE(IsBlankPicture(TBitmap24()));
}

TEST(BlankPicture, PicturesWithDetailAreDrawn) {
  TBitmap24 ramp(1280, 720);
  for (int x = 0; x < 1280; ++x) {
    PaintGrey(ramp, x, 0, x + 1, 720, static_cast<std::uint8_t>(x / 5));
  }
  EXPECT_FALSE(IsBlankPicture(ramp));
  // A title on a black card: a tenth of the picture is bright.
  TBitmap24 title = Filled(1920, 1080, 0x000000);
  PaintGrey(title, 480, 400, 1440, 616, 230);
  EXPECT_GT(MeasureFlatness(title).MeanLuma, kBlankMeanLuma);
  EXPECT_FALSE(IsBlankPicture(title));
}

TEST(BlankPicture, TheThresholdsLieWhereTheyAreDocumented) {
  // 3 % of the picture off the band: drawn; 1 %: blank.
  TBitmap24 mostlyFlat = Filled(1000, 1000, 0x606060);
  PaintGrey(mostlyFlat, 0, 0, 1000, 30, 250);
  EXPECT_NEAR(MeasureFlatness(mostlyFlat).ShareInBand, 0.97, 0.01);
  EXPECT_FALSE(IsBlankPicture(mostlyFlat));
  PaintGrey(mostlyFlat, 0, 0, 1000, 20, 0x60);
  EXPECT_TRUE(IsBlankPicture(mostlyFlat));
  // A detailed but very dark frame: its mean decides. Every other column is
  // black, the others 2..58 (mean 15), then 6..62 (mean 17).
  for (int lift : {0, 4}) {
    TBitmap24 dark(420, 300);
    for (int x = 1; x < 420; x += 2) {
      PaintGrey(dark, x, 0, x + 1, 300, static_cast<std::uint8_t>(2 * (x % 30) + lift));
    }
    const TFlatness flatness = MeasureFlatness(dark);
    EXPECT_LT(flatness.ShareInBand, 0.7);
    EXPECT_NEAR(flatness.MeanLuma, 15 + lift / 2, 0.5);
    EXPECT_EQ(IsBlankPicture(dark), lift == 0);
  }
}

TEST(BlankPicture, SamplesAboutTheSameNumberOfPixelsAtEverySize) {
  EXPECT_EQ(MeasureFlatness(Filled(100, 100, 0)).Samples, 10000u);  // every pixel
  const std::uint32_t hd = MeasureFlatness(Filled(1920, 1080, 0)).Samples;
  const std::uint32_t uhd = MeasureFlatness(Filled(3840, 2160, 0)).Samples;
  EXPECT_GT(hd, 60000u);
  EXPECT_LT(hd, 140000u);
  EXPECT_GT(uhd, 60000u);
  EXPECT_LT(uhd, 140000u);
}

}  // namespace
}  // namespace tavelune
