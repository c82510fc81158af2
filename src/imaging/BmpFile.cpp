#include "imaging/BmpFile.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "platform/ByteFile.h"

namespace tavelune {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kBitFields = 3;

std::uint32_t U32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
std::uint16_t U16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    static_cast<unsigned char>(b[at + 1]) << 8);
}

void Put32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    out[at + i] = static_cast<char>(v >> (8 * i));
  }
}
void Put16(std::string& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<char>(v);
  out[at + 1] = static_cast<char>(v >> 8);
}

[[noreturn]] void Fail(const std::string& what, const std::string& why) {
  throw EBmpError(what + ": " + why);
}

}  // namespace

TBitmap24 DecodeBmp(std::string_view bytes, const std::string& what) {
  if (bytes.size() < kFileHeaderSize + kInfoHeaderSize || bytes.substr(0, 2) != "BM") {
    Fail(what, "not a BMP file");
  }
  std::uint32_t pixelsAt = U32(bytes, 10);
  std::uint32_t headerSize = U32(bytes, 14);
  if (headerSize < kInfoHeaderSize) {
    Fail(what, "unsupported BMP header of " + std::to_string(headerSize) + " bytes");
  }
  auto width = static_cast<std::int32_t>(U32(bytes, 18));
  auto height = static_cast<std::int32_t>(U32(bytes, 22));
  std::uint16_t bits = U16(bytes, 28);
  std::uint32_t compression = U32(bytes, 30);
  bool standardMasks = compression == kBitFields && bytes.size() >= 66 &&
                       U32(bytes, 54) == 0x00FF0000 && U32(bytes, 58) == 0x0000FF00 &&
                       U32(bytes, 62) == 0x000000FF;
  if (!((bits == 24 && compression == kRgb) ||
        (bits == 32 && (compression == kRgb || standardMasks)))) {
    Fail(what, "unsupported BMP format (" + std::to_string(bits) + " bits per pixel, compression " +
                   std::to_string(compression) + "); only 24 and 32 bits are read");
  }
  if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min()) {
    Fail(what, "impossible picture size " + std::to_string(width) + " x " + std::to_string(height));
  }
  bool topDown = height < 0;
  int rows = topDown ? -height : height;
  std::uint64_t sourceStride = (static_cast<std::uint64_t>(bits) * width + 31) / 32 * 4;
  std::uint64_t needed = sourceStride * static_cast<std::uint64_t>(rows);
  if (static_cast<std::uint64_t>(width) * 3 * static_cast<std::uint64_t>(rows) > kMaxBitmapBytes) {
    Fail(what,
         "picture size " + std::to_string(width) + " x " + std::to_string(rows) + " is too large");
  }
  if (pixelsAt > bytes.size() || needed > bytes.size() - pixelsAt) {
    Fail(what, "truncated: the header promises " + std::to_string(needed) +
                   " bytes of pixels, the file has " +
                   std::to_string(pixelsAt > bytes.size() ? 0 : bytes.size() - pixelsAt));
  }
  TBitmap24 bitmap(width, rows);
  const std::size_t step = bits / 8;
  for (int row = 0; row < rows; ++row) {
    const char* source = bytes.data() + pixelsAt + static_cast<std::size_t>(row) * sourceStride;
    std::uint8_t* target = bitmap.Row(topDown ? row : rows - 1 - row);
    if (step == 3) {
      std::memcpy(target, source, 3 * static_cast<std::size_t>(width));
    } else {
      for (int x = 0; x < width; ++x) {
        std::memcpy(target + 3 * x, source + step * x, 3);
      }
    }
  }
  return bitmap;
}

TBitmap24 ReadBmpFile(const std::string& fileName) {
  platform::TByteFile file;
  if (!file.Open(fileName, platform::TShareMode::DenyWrite)) {
    Fail(fileName, "cannot be opened for reading");
  }
  std::uint64_t size = file.Size();
  // Pixels plus the largest header and palette a 24/32-bit file can carry.
  if (size > kMaxBitmapBytes * 4 / 3 + 4096) {
    Fail(fileName, "too large for a picture (" + std::to_string(size) + " bytes)");
  }
  std::string bytes(size, '\0');
  if (!file.ReadAt(0, bytes.data(), bytes.size())) {
    Fail(fileName, "cannot be read");
  }
  return DecodeBmp(bytes, fileName);
}

std::string EncodeBmp(const TBitmap24& bitmap) {
  const std::size_t stride = bitmap.Stride();
  const std::size_t pixelBytes = stride * static_cast<std::size_t>(bitmap.Height());
  std::string out(kFileHeaderSize + kInfoHeaderSize, '\0');
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, static_cast<std::uint32_t>(out.size() + pixelBytes));
  Put32(out, 10, static_cast<std::uint32_t>(out.size()));
  Put32(out, 14, kInfoHeaderSize);
  Put32(out, 18, static_cast<std::uint32_t>(bitmap.Width()));
  Put32(out, 22, static_cast<std::uint32_t>(bitmap.Height()));
  Put16(out, 26, 1);
  Put16(out, 28, 24);
  Put32(out, 34, static_cast<std::uint32_t>(pixelBytes));
  out.reserve(out.size() + pixelBytes);
  for (int y = bitmap.Height() - 1; y >= 0; --y) {
    out.append(reinterpret_cast<const char*>(bitmap.Row(y)), stride);
  }
  return out;
}

void WriteBmpFile(const TBitmap24& bitmap, const std::string& fileName) {
  std::string bytes = EncodeBmp(bitmap);
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    Fail(fileName, "cannot be written");
  }
}

}  // namespace tavelune
