#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/ByteFile.h"
#include "platform/FileSystem.h"

namespace tavelune::platform {

bool TByteFile::Open(const std::string& fileName, TShareMode /*share: no share modes here*/) {
  Close();
  // Non-blocking, so that opening a FIFO returns at once instead of waiting
  // for a writer; what is not a regular file is then refused. Reads of a
  // regular file are not affected by the flag.
  int fd = ::open(ResolveFileName(fileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
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

namespace {

EFCreateError CreateError(const std::string& fileName, int error) {
  return EFCreateError{"Cannot create file \"" + fileName + "\". " + std::strerror(error)};
}

// Opens for writing with `flags` added, refusing what is not a regular file.
int OpenRegularForWriting(const std::string& fileName, int flags, mode_t mode) {
  int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | flags, mode);
  if (fd < 0) {
    throw CreateError(fileName, errno);
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int error = S_ISREG(info.st_mode) ? errno : EINVAL;
    ::close(fd);
    throw CreateError(fileName, error);
  }
  return fd;
}

// Writes all of `bytes` and closes `fd`, also when a write fails.
void WriteAllAndClose(const std::string& fileName, int fd, std::string_view bytes) {
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
      throw CreateError(fileName, error);
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  if (::close(fd) != 0) {
    throw CreateError(fileName, errno);
  }
}

}  // namespace

void WriteFileNoFollow(const std::string& fileName, std::string_view bytes) {
  const int fd = OpenRegularForWriting(fileName, O_NOFOLLOW, 0600);
  if (::ftruncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    throw CreateError(fileName, error);
  }
  WriteAllAndClose(fileName, fd, bytes);
}

void AppendToFile(const std::string& fileName, std::string_view bytes) {
  WriteAllAndClose(fileName, OpenRegularForWriting(fileName, O_APPEND, 0666), bytes);
}

}  // namespace tavelune::platform
