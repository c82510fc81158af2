#pragma once

// Reading and writing 24-bit BMP files, the format of the temporary picture
// file that still composition turns pictures through.

#include <stdexcept>
#include <string>
#include <string_view>

#include "imaging/Bitmap.h"

namespace tavelune {

// A BMP file that cannot be used: the message says which file and why.
class EBmpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads uncompressed 24- and 32-bit BMP files, bottom-up and top-down (for
// 32 bits, the fourth byte is dropped). Throws EBmpError for anything else,
// for a truncated file and for a header that lies about the size.
TBitmap24 ReadBmpFile(const std::string& fileName);
// The same from bytes in memory; `what` names them in error messages.
TBitmap24 DecodeBmp(std::string_view bytes, const std::string& what);

// Writes a bottom-up 24-bit BMP file. Throws EBmpError when it cannot.
void WriteBmpFile(const TBitmap24& bitmap, const std::string& fileName);
std::string EncodeBmp(const TBitmap24& bitmap);

}  // namespace tavelune
