// The BMP reader on arbitrary bytes: a picture or a clear error, never a
// fault or an allocation beyond what the bytes can fill.
#include "FuzzFiles.h"
#include "imaging/BmpFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelune;
  try {
    TBitmap24 picture = DecodeBmp(fuzz::AsText(data, size), "input");
    if (DecodeBmp(EncodeBmp(picture), "again") == picture) {
      return 0;
    }
    __builtin_trap();  // what was read must write and read back the same
  } catch (const EBmpError&) {
  }
  return 0;
}
