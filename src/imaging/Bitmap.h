#pragma once

// The core's picture type: 24 bits per pixel, 3 bytes per pixel in
// blue-green-red order, each row padded to a multiple of 4 bytes, rows top
// down. This is the Windows DIB layout (as a top-down DIB), which GDI and
// Qt's QImage::Format_BGR888 can both wrap without copying.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace tavelune {

// A colour as stored in the settings: 0x00BBGGRR, or 0x80000000 + n for
// system colour n.
using TColor = std::uint32_t;

// Pixels beyond this are refused: no picture the saver handles comes near
// it, and it keeps a lying file header from asking for gigabytes.
inline constexpr std::uint64_t kMaxBitmapBytes = 512ull * 1024 * 1024;

class TBitmap24 {
 public:
  TBitmap24() = default;
  // A picture of the size, all black. Throws std::length_error for negative
  // sizes or more than kMaxBitmapBytes of pixels.
  TBitmap24(int width, int height);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }
  // Bytes per row, padding included.
  std::size_t Stride() const { return FStride; }

  std::uint8_t* Row(int y) { return FPixels.data() + static_cast<std::size_t>(y) * FStride; }
  const std::uint8_t* Row(int y) const {
    return FPixels.data() + static_cast<std::size_t>(y) * FStride;
  }
  std::uint8_t* Pixel(int x, int y) { return Row(y) + 3 * static_cast<std::size_t>(x); }
  const std::uint8_t* Pixel(int x, int y) const { return Row(y) + 3 * static_cast<std::size_t>(x); }

  // Fills every pixel with an RGB colour (0x00BBGGRR; system colours must be
  // resolved by the caller).
  void Fill(TColor rgb);
  // Changes the size; the pixels kept are those of the common area, the new
  // area takes `rgb`.
  void Resize(int width, int height, TColor rgb);

  bool operator==(const TBitmap24& other) const;

 private:
  int FWidth = 0;
  int FHeight = 0;
  std::size_t FStride = 0;
  std::vector<std::uint8_t> FPixels;
};

}  // namespace tavelune
