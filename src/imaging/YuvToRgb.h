#pragma once

// Decoded video pictures in the YUV layouts decoders hand out, turned into
// the bottom-up RGB DIB rows the grabber delivers. The conversion follows
// the picture's own matrix and range, since a BT.709 movie converted with
// the BT.601 matrix has visibly wrong colours.

#include <cstddef>
#include <cstdint>

namespace tavelune {

enum class TYuvLayout {
  NV12,  // Y plane, then one plane of interleaved U and V at half size
  I420,  // Y, U, V planes, U and V at half size
  YV12,  // Y, V, U planes, V and U at half size
  YUY2,  // one plane of Y0 U Y1 V, chroma at half width
};

enum class TYuvMatrix { BT601, BT709, BT2020 };

// A picture's planes. Pitches are in bytes and may be negative; plane 0 is
// the only one of YUY2 and NV12's plane 1 holds U and V. Chroma planes of
// the half-size layouts have (Width + 1) / 2 samples per row and
// (Height + 1) / 2 rows.
struct TYuvPicture {
  TYuvLayout Layout = TYuvLayout::NV12;
  int Width = 0;
  int Height = 0;
  const std::uint8_t* Planes[3] = {};
  std::ptrdiff_t Pitches[3] = {};
};

// The matrix of a stream that does not say: BT.709 for HD (from 720 lines
// up), BT.601 below, as players guess.
TYuvMatrix GuessYuvMatrix(int height);

// The planes of a picture packed in one buffer the way decoders lay it out:
// luma rows `pitch` bytes apart, `codedHeight` rows (at least `height`) per
// full-size plane, the chroma planes right after with half the pitch (for
// NV12 the same pitch). False when `size` bytes cannot hold it.
bool DescribePackedYuv(TYuvLayout layout, int width, int height, int codedHeight,
                       std::ptrdiff_t pitch, const std::uint8_t* data, std::size_t size,
                       TYuvPicture& picture);

// Writes the picture as bottom-up DIB rows of `bitCount` bits (24: B G R;
// 32: B G R 255), each row padded to four bytes, into `dib`, which holds
// stride × Height bytes. `fullRange`: samples span 0–255 instead of the
// usual 16–235 (chroma 16–240).
void YuvToDib(const TYuvPicture& picture, TYuvMatrix matrix, bool fullRange, int bitCount,
              std::uint8_t* dib);

}  // namespace tavelune
