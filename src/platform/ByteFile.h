#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavelune::platform {

// What other processes may still do with a file while we hold it open.
// Only Windows enforces this; Linux has no mandatory share modes.
enum class TShareMode {
  DenyNone,   // byte-level reads of movies: never get in the recorder's way
  DenyWrite,  // text reads: fail while another process is writing the file
};

// A read-only file handle. Platform implementation in platform/<name>/.
// Owns its handle exclusively; movable, not copyable. Not thread-safe.
class TByteFile {
 public:
  TByteFile() = default;
  ~TByteFile();
  TByteFile(TByteFile&& other) noexcept;
  TByteFile& operator=(TByteFile&& other) noexcept;
  TByteFile(const TByteFile&) = delete;
  TByteFile& operator=(const TByteFile&) = delete;

  // Opens an existing regular file for reading. False when it is missing, a
  // folder, not permitted, or locked against us, and for anything that is
  // not a plain file on a disk (a FIFO, a device, a pipe, a socket): those
  // could block the reader for good, so they are refused before anything
  // waits on them. Never throws for those.
  bool Open(const std::string& fileName, TShareMode share);
  bool IsOpen() const { return FHandle != kNoHandle; }
  void Close();

  // Reads up to `count` bytes at the current position and returns how many
  // came. 0 means the end of the file; a read error also reads as the end.
  std::size_t Read(void* buffer, std::size_t count);
  // Reads exactly `count` bytes at `offset`; false when fewer are there.
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count);
  bool Seek(std::uint64_t offset);
  // The file's size in bytes, or 0 when it cannot be told.
  std::uint64_t Size();

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t FHandle = kNoHandle;
};

// A file that cannot be created or written.
class EFCreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Replaces the contents of `fileName` with `bytes`, creating it readable by
// the user alone. A link at that name is not followed and anything that is
// not a regular file is refused, so a file planted in a shared folder
// cannot redirect the write. Throws EFCreateError.
void WriteFileNoFollow(const std::string& fileName, std::string_view bytes);

// Appends `bytes` to `fileName`, creating it when it is missing. Anything
// that is not a regular file is refused, and the open never waits (a FIFO
// without a reader is refused at once instead of blocking the writer).
// Throws EFCreateError.
void AppendToFile(const std::string& fileName, std::string_view bytes);

}  // namespace tavelune::platform
