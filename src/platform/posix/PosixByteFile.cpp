#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/ByteFile.h"
#include "platform/FileSystem.h"

namespace tavelune {

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

bool TByteFile::Open(const std::string& fileName, TShareMode /*share: no share modes here*/) {
  Close();
  int fd = ::open(ResolveFileName(fileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return false;
  }
  FHandle = fd;
  return true;
}

void TByteFile::Close() {
  if (IsOpen()) {
    ::close(static_cast<int>(FHandle));
    FHandle = kNoHandle;
  }
}

std::size_t TByteFile::Read(void* buffer, std::size_t count) {
  if (!IsOpen()) {
    return 0;
  }
  for (;;) {
    ssize_t got = ::read(static_cast<int>(FHandle), buffer, count);
    if (got >= 0) {
      return static_cast<std::size_t>(got);
    }
    if (errno != EINTR) {
      return 0;
    }
  }
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

bool TByteFile::Seek(std::uint64_t offset) {
  return IsOpen() && ::lseek(static_cast<int>(FHandle), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::uint64_t TByteFile::Size() {
  struct stat info {};
  if (!IsOpen() || ::fstat(static_cast<int>(FHandle), &info) != 0) {
    return 0;
  }
  return static_cast<std::uint64_t>(info.st_size);
}

void WriteFileNoFollow(const std::string& fileName, std::string_view bytes) {
  auto fail = [&](int error) {
    return EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(error));
  };
  int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) {
    throw fail(errno);
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::ftruncate(fd, 0) != 0) {
    const int error = S_ISREG(info.st_mode) ? errno : EINVAL;
    ::close(fd);
    throw fail(error);
  }
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      const int error = written < 0 ? errno : EIO;
      ::close(fd);
      throw fail(error);
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  if (::close(fd) != 0) {
    throw fail(errno);
  }
}

}  // namespace tavelune
