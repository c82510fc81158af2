#include "imaging/YuvToRgb.h"

#include <algorithm>

namespace tavelune {

namespace {

// Fixed-point factors (× 65536) of one matrix and range.
struct TCoefficients {
  int Luma;    // per luma step above the black level
  int RedV;    // V's part in red
  int GreenU;  // U's part in green (subtracted)
  int GreenV;  // V's part in green (subtracted)
  int BlueU;   // U's part in blue
  int Black;   // the luma of black
};

TCoefficients CoefficientsOf(TYuvMatrix matrix, bool fullRange) {
  double kr = 0.299;
  double kb = 0.114;
  if (matrix == TYuvMatrix::BT709) {
    kr = 0.2126;
    kb = 0.0722;
  } else if (matrix == TYuvMatrix::BT2020) {
    kr = 0.2627;
    kb = 0.0593;
  }
  const double kg = 1.0 - kr - kb;
  const double luma = fullRange ? 1.0 : 255.0 / 219.0;
  const double chroma = fullRange ? 1.0 : 255.0 / 224.0;
  auto fixed = [](double value) {
    return static_cast<int>(value * 65536.0 + (value < 0 ? -0.5 : 0.5));
  };
  return {fixed(luma),
          fixed(2.0 * (1.0 - kr) * chroma),
          fixed(2.0 * kb * (1.0 - kb) / kg * chroma),
          fixed(2.0 * kr * (1.0 - kr) / kg * chroma),
          fixed(2.0 * (1.0 - kb) * chroma),
          fullRange ? 0 : 16};
}

std::uint8_t Clamp(int value) {
  return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// The chroma samples of pixel x on one row: where they sit in each layout.
struct TChromaRow {
  const std::uint8_t* U;
  const std::uint8_t* V;
  int Step;  // bytes between the samples of two chroma positions
};

TChromaRow ChromaRowOf(const TYuvPicture& picture, int y) {
  const int row = y / 2;
  switch (picture.Layout) {
    case TYuvLayout::NV12: {
      const std::uint8_t* uv = picture.Planes[1] + row * picture.Pitches[1];
      return {uv, uv + 1, 2};
    }
    case TYuvLayout::I420:
      return {picture.Planes[1] + row * picture.Pitches[1],
              picture.Planes[2] + row * picture.Pitches[2], 1};
    case TYuvLayout::YV12:
      return {picture.Planes[2] + row * picture.Pitches[2],
              picture.Planes[1] + row * picture.Pitches[1], 1};
    case TYuvLayout::YUY2: {
      const std::uint8_t* line = picture.Planes[0] + y * picture.Pitches[0];
      return {line + 1, line + 3, 4};
    }
  }
  return {nullptr, nullptr, 0};
}

}  // namespace

TYuvMatrix GuessYuvMatrix(int height) {
  return height >= 720 ? TYuvMatrix::BT709 : TYuvMatrix::BT601;
}

bool DescribePackedYuv(TYuvLayout layout, int width, int height, int codedHeight,
                       std::ptrdiff_t pitch, const std::uint8_t* data, std::size_t size,
                       TYuvPicture& picture) {
  if (width <= 0 || height <= 0 || codedHeight < height || data == nullptr) {
    return false;
  }
  const auto rows = static_cast<std::size_t>(codedHeight);
  const auto lumaPitch = static_cast<std::size_t>(pitch);
  const std::size_t chromaRows = (rows + 1) / 2;
  const std::size_t chromaWidth = (static_cast<std::size_t>(width) + 1) / 2;
  picture = {};
  picture.Layout = layout;
  picture.Width = width;
  picture.Height = height;
  picture.Planes[0] = data;
  picture.Pitches[0] = pitch;
  std::size_t needed = 0;
  switch (layout) {
    case TYuvLayout::YUY2:
      if (pitch < static_cast<std::ptrdiff_t>(chromaWidth * 4)) {
        return false;
      }
      needed = lumaPitch * rows;
      break;
    case TYuvLayout::NV12:
      if (pitch < static_cast<std::ptrdiff_t>(chromaWidth * 2)) {
        return false;
      }
      picture.Planes[1] = data + lumaPitch * rows;
      picture.Pitches[1] = pitch;
      needed = lumaPitch * (rows + chromaRows);
      break;
    case TYuvLayout::I420:
    case TYuvLayout::YV12: {
      if (pitch < width) {
        return false;
      }
      const std::size_t chromaPitch = (lumaPitch + 1) / 2;
      picture.Planes[1] = data + lumaPitch * rows;
      picture.Planes[2] = picture.Planes[1] + chromaPitch * chromaRows;
      picture.Pitches[1] = picture.Pitches[2] = static_cast<std::ptrdiff_t>(chromaPitch);
      needed = lumaPitch * rows + 2 * chromaPitch * chromaRows;
      break;
    }
  }
  return needed <= size;
}

namespace {

// Clamping to 0–255 by table: every sum of the factors above lies within
// ±kClampMargin of the scale.
constexpr int kClampMargin = 384;
struct TClampTable {
  std::uint8_t Values[256 + 2 * kClampMargin];
  TClampTable() {
    for (int i = 0; i < 256 + 2 * kClampMargin; ++i) {
      Values[i] = Clamp(i - kClampMargin);
    }
  }
  std::uint8_t operator()(int value) const { return Values[value + kClampMargin]; }
};
const TClampTable kClamp;

// One row, two pixels per chroma position. Templated on the pixel and luma
// steps so that the inner loop has no branches.
template <int BytesPerPixel, int LumaStep>
void ConvertRow(const std::uint8_t* luma, const TChromaRow& chroma, int width,
                const TCoefficients& k, std::uint8_t* out) {
  auto pixel = [&](int y, int blue, int green, int red, std::uint8_t* to) {
    const int scaled = (y - k.Black) * k.Luma + 32768;
    to[0] = kClamp((scaled + blue) >> 16);
    to[1] = kClamp((scaled - green) >> 16);
    to[2] = kClamp((scaled + red) >> 16);
    if constexpr (BytesPerPixel == 4) {
      to[3] = 255;
    }
  };
  for (int x = 0; x < width; x += 2) {
    const int offset = (x / 2) * chroma.Step;
    const int u = chroma.U[offset] - 128;
    const int v = chroma.V[offset] - 128;
    const int blue = k.BlueU * u;
    const int green = k.GreenU * u + k.GreenV * v;
    const int red = k.RedV * v;
    pixel(luma[x * LumaStep], blue, green, red, out + x * BytesPerPixel);
    if (x + 1 < width) {
      pixel(luma[(x + 1) * LumaStep], blue, green, red, out + (x + 1) * BytesPerPixel);
    }
  }
}

}  // namespace

void YuvToDib(const TYuvPicture& picture, TYuvMatrix matrix, bool fullRange, int bitCount,
              std::uint8_t* dib) {
  const TCoefficients k = CoefficientsOf(matrix, fullRange);
  const int bytesPerPixel = bitCount / 8;
  const std::size_t stride =
      (static_cast<std::size_t>(picture.Width) * bytesPerPixel + 3) & ~std::size_t{3};
  const std::size_t rowBytes = static_cast<std::size_t>(picture.Width) * bytesPerPixel;
  const bool packed = picture.Layout == TYuvLayout::YUY2;
  for (int y = 0; y < picture.Height; ++y) {
    const std::uint8_t* luma = picture.Planes[0] + y * picture.Pitches[0];
    const TChromaRow chroma = ChromaRowOf(picture, y);
    std::uint8_t* out = dib + static_cast<std::size_t>(picture.Height - 1 - y) * stride;
    if (bytesPerPixel == 4) {
      packed ? ConvertRow<4, 2>(luma, chroma, picture.Width, k, out)
             : ConvertRow<4, 1>(luma, chroma, picture.Width, k, out);
    } else {
      packed ? ConvertRow<3, 2>(luma, chroma, picture.Width, k, out)
             : ConvertRow<3, 1>(luma, chroma, picture.Width, k, out);
    }
    std::fill(out + rowBytes, out + stride, std::uint8_t{0});
  }
}

}  // namespace tavelune
