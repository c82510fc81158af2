#include <windows.h>

#include "platform/SystemDirs.h"

namespace tavelune::platform {

namespace {
// The platform writes into a zero-filled buffer of MAX_PATH characters; the
// text ends at its first zero.
template <typename Getter>
std::string AskPlatform(Getter getter) {
  char buffer[MAX_PATH + 1] = {};
  getter(buffer, MAX_PATH);
  return std::string(buffer);
}
}  // namespace

std::string TempDirText() {
  return AskPlatform([](char* buffer, DWORD size) { ::GetTempPathA(size, buffer); });
}

std::string PrivateTempDirText() {
  return TempDirText();
}

std::string SystemDirText() {
  return AskPlatform([](char* buffer, DWORD size) { ::GetSystemDirectoryA(buffer, size); });
}

std::string UserCacheDirText() {
  const std::string local = AskPlatform(
      [](char* buffer, DWORD size) { ::GetEnvironmentVariableA("LOCALAPPDATA", buffer, size); });
  return local.empty() ? std::string() : local + "\\Tavelune";
}

std::string ProgramFileName() {
  return AskPlatform([](char* buffer, DWORD size) { ::GetModuleFileNameA(nullptr, buffer, size); });
}

std::string ProgramDir() {
  std::string path = ProgramFileName();
  return path.substr(0, path.find_last_of("\\:") + 1);
}

}  // namespace tavelune::platform
