#pragma once

// Random access to the bytes of a program image, from a file or from memory,
// for the readers of version records.

#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/ByteFile.h"

namespace tavelune {

class IImageBytes {
 public:
  virtual ~IImageBytes() = default;
  // Exactly `count` bytes at `offset`; false when the image is shorter.
  virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

// Reads through an open file, which it does not own.
class TFileImage final : public IImageBytes {
 public:
  explicit TFileImage(platform::TByteFile& file) : FFile(file) {}
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    return FFile.ReadAt(offset, buffer, count);
  }

 private:
  platform::TByteFile& FFile;
};

// Reads from bytes that outlive it.
class TMemoryImage final : public IImageBytes {
 public:
  explicit TMemoryImage(std::string_view bytes) : FBytes(bytes) {}
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    if (offset > FBytes.size() || count > FBytes.size() - offset) {
      return false;
    }
    if (count > 0) {
      std::memcpy(buffer, FBytes.data() + offset, count);
    }
    return true;
  }

 private:
  std::string_view FBytes;
};

}  // namespace tavelune
