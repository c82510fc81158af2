#include <windows.h>

#include "platform/ByteFile.h"
#include "ports/win32/Win32Text.h"

namespace tavelune::platform {

namespace {
HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}
}  // namespace

bool TByteFile::Open(const std::string& fileName, TShareMode share) {
  Close();
  DWORD shareFlags =
      share == TShareMode::DenyNone ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  HANDLE handle = ::CreateFileW(WideFileName(fileName).c_str(), GENERIC_READ, shareFlags, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  // Pipes, consoles and devices ("CON", "COM1", "\\.\pipe\x") can block a
  // reader for good: only files on a disk are read.
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    return false;
  }
  FHandle = reinterpret_cast<std::intptr_t>(handle);
  return true;
}

void TByteFile::Close() {
  if (IsOpen()) {
    ::CloseHandle(AsHandle(FHandle));
    FHandle = kNoHandle;
  }
}

std::size_t TByteFile::Read(void* buffer, std::size_t count) {
  if (!IsOpen()) {
    return 0;
  }
  DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
  DWORD got = 0;
  if (!::ReadFile(AsHandle(FHandle), buffer, chunk, &got, nullptr)) {
    return 0;
  }
  return got;
}

bool TByteFile::Seek(std::uint64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return IsOpen() && ::SetFilePointerEx(AsHandle(FHandle), distance, nullptr, FILE_BEGIN);
}

std::uint64_t TByteFile::Size() {
  LARGE_INTEGER size;
  if (!IsOpen() || !::GetFileSizeEx(AsHandle(FHandle), &size)) {
    return 0;
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

namespace {

EFCreateError CreateError(const std::string& fileName, const char* why) {
  return EFCreateError{"Cannot create file \"" + fileName + "\". " + why};
}

// Writes all of `bytes` and closes `file`, also when a write fails.
void WriteAllAndClose(const std::string& fileName, HANDLE file, std::string_view bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const DWORD chunk = static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
      ::CloseHandle(file);
      throw CreateError(fileName, "The file cannot be written.");
    }
    data += written;
    left -= written;
  }
  ::CloseHandle(file);
}

}  // namespace

void WriteFileNoFollow(const std::string& fileName, std::string_view bytes) {
  auto fail = [&](const char* why) { return CreateError(fileName, why); };
  // The reparse-point flag opens a link itself instead of its target; a
  // link found there is refused.
  HANDLE file =
      ::CreateFileW(WideFileName(fileName).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw fail("The file cannot be opened for writing.");
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      !::SetEndOfFile(file)) {
    ::CloseHandle(file);
    throw fail("It is not a plain file.");
  }
  WriteAllAndClose(fileName, file, bytes);
}

void AppendToFile(const std::string& fileName, std::string_view bytes) {
  // Append-only access writes every block at the end, as "ab" does; others
  // may read the file meanwhile.
  HANDLE file = ::CreateFileW(WideFileName(fileName).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw CreateError(fileName, "The file cannot be opened for writing.");
  }
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    throw CreateError(fileName, "It is not a plain file.");
  }
  WriteAllAndClose(fileName, file, bytes);
}

}  // namespace tavelune::platform
