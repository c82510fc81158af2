// The platform-independent part of TByteFile: its life over the platform's
// Close, and ReadAt over the platform's Seek and Read.

#include "platform/ByteFile.h"

#include <utility>

namespace tavelune::platform {

TByteFile::~TByteFile() {
  Close();
}

TByteFile::TByteFile(TByteFile&& other) noexcept
    : FHandle(std::exchange(other.FHandle, kNoHandle)) {}

TByteFile& TByteFile::operator=(TByteFile&& other) noexcept {
  if (this != &other) {
    Close();
    FHandle = std::exchange(other.FHandle, kNoHandle);
  }
  return *this;
}

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
