#include <windows.h>

#include "platform/FileSystem.h"
#include "platform/PathStyle.h"

namespace tavelune::platform {

bool IsSystemLeadByte(unsigned char byte) {
  return ::IsDBCSLeadByte(byte) != 0;
}

// Windows file names are case-insensitive already.
std::string ResolveFileName(const std::string& fileName) {
  return fileName;
}

bool FileExists(const std::string& fileName) {
  DWORD attributes = ::GetFileAttributesA(fileName.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& name) {
  DWORD attributes = ::GetFileAttributesA(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace tavelune::platform
