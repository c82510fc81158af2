// The platform-independent part of TByteFile: it is built on the
// platform's Seek and Read.

#include "platform/ByteFile.h"

namespace tavelune::platform {

bool TByteFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (!Seek(offset)) {
    return false;
  }
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    std::size_t got = Read(out + done, count - done);
    if (got == 0) {
      return false;
    }
    done += got;
  }
  return true;
}

}  // namespace tavelune::platform
