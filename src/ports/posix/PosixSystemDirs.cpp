#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "platform/SystemDirs.h"

namespace tavelune::platform {

std::string TempDirText() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp ? tmp : "/tmp";
}

namespace {

bool IsPrivateFolder(const std::string& folder) {
  struct stat info {};
  return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

}  // namespace

std::string PrivateTempDirText() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && IsPrivateFolder(runtime)) {
    return runtime;
  }
  std::string base = TempDirText();
  if (!base.empty() && base.back() != '/') {
    base += '/';
  }
  std::string folder = base + "tavelune-" + std::to_string(::getuid());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    throw std::runtime_error("Cannot create the folder \"" + folder + "\". " +
                             std::strerror(errno));
  }
  if (!IsPrivateFolder(folder)) {
    throw std::runtime_error("The folder \"" + folder + "\" is not a private folder of this user.");
  }
  return folder;
}

std::string UserCacheDirText() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && cache[0] == '/') {
    return std::string(cache) + "/tavelune";
  }
  const char* home = std::getenv("HOME");
  return home != nullptr && home[0] == '/' ? std::string(home) + "/.cache/tavelune" : std::string();
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
