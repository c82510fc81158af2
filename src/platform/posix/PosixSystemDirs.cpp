#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/SystemDirs.h"

namespace tavelune::platform {

std::string TempDirText() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp ? tmp : "/tmp";
}

std::string SystemDirText() {
  return "/usr/lib";
}

std::string ProgramFileName() {
  std::string path(4096, '\0');
  ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  path.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return path;
}

std::string ProgramDir() {
  std::string path = ProgramFileName();
  return path.empty() ? "./" : path.substr(0, path.rfind('/') + 1);
}

}  // namespace tavelune::platform
