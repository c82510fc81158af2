#include "imaging/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tavelune {

namespace {
std::size_t StrideOf(int width) {
  return (3 * static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
}
}  // namespace

TBitmap24::TBitmap24(int width, int height) {
  if (width < 0 || height < 0 ||
      static_cast<std::uint64_t>(StrideOf(width)) * static_cast<std::uint64_t>(height) >
          kMaxBitmapBytes) {
    throw std::length_error("a picture of " + std::to_string(width) + " x " +
                            std::to_string(height) + " pixels is not possible");
  }
  FWidth = width;
  FHeight = height;
  FStride = StrideOf(width);
  FPixels.assign(FStride * static_cast<std::size_t>(height), 0);
}

void TBitmap24::Fill(TColor rgb) {
  const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(rgb >> 16),
                               static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb)};
  if (Empty()) {
    return;
  }
  for (int x = 0; x < FWidth; ++x) {
    std::memcpy(Pixel(x, 0), bgr, 3);
  }
  for (int y = 1; y < FHeight; ++y) {
    std::memcpy(Row(y), Row(0), FStride);
  }
}

void TBitmap24::Resize(int width, int height, TColor rgb) {
  TBitmap24 resized(width, height);
  resized.Fill(rgb);
  int commonWidth = std::min(width, FWidth);
  for (int y = 0; y < std::min(height, FHeight); ++y) {
    std::memcpy(resized.Row(y), Row(y), 3 * static_cast<std::size_t>(commonWidth));
  }
  *this = std::move(resized);
}

bool TBitmap24::operator==(const TBitmap24& other) const {
  if (FWidth != other.FWidth || FHeight != other.FHeight) {
    return false;
  }
  for (int y = 0; y < FHeight; ++y) {
    if (std::memcmp(Row(y), other.Row(y), 3 * static_cast<std::size_t>(FWidth)) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace tavelune
