#include <windows.h>

#include "platform/FileSystem.h"
#include "platform/PathStyle.h"
#include "ports/win32/Win32Text.h"

namespace tavelune::platform {

bool IsSystemLeadByte(unsigned char byte) {
  return ::IsDBCSLeadByte(byte) != 0;
}

// Windows file names are case-insensitive already.
std::string ResolveFileName(const std::string& fileName) {
  return fileName;
}

bool NamesDevice(const std::string& name) {
  // The full form of a reserved device name is its \\.\ name, wherever
  // the name puts it (C:\x\NUL.txt gives \\.\NUL).
  constexpr char kDevicePrefix[] = "\\\\.\\";
  char full[MAX_PATH];
  const DWORD length = ::GetFullPathNameA(name.c_str(), MAX_PATH, full, nullptr);
  return name.rfind(kDevicePrefix, 0) == 0 ||
         (length > 0 && length < MAX_PATH &&
          std::string(full, length).rfind(kDevicePrefix, 0) == 0);
}

bool FileExists(const std::string& fileName) {
  DWORD attributes = ::GetFileAttributesW(WideFileName(fileName).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& name) {
  DWORD attributes = ::GetFileAttributesW(WideFileName(name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace tavelune::platform
