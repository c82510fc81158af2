#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "base/TextUtils.h"
#include "platform/FileSystem.h"
#include "platform/PathStyle.h"

namespace tavelune::platform {

bool IsSystemLeadByte(unsigned char /*byte*/) {
  return false;
}

namespace {

bool Exists(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0;
}

// The entry of `dir` whose name equals `wanted` but for ASCII letter case;
// the alphabetically first one when several do, so the answer is stable.
std::string FindEntryIgnoringCase(const std::string& dir, const std::string& wanted) {
  std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.empty() ? "." : dir.c_str()),
                                             ::closedir);
  if (!handle) {
    return {};
  }
  std::string found;
  while (const dirent* entry = ::readdir(handle.get())) {
    std::string name = entry->d_name;
    if (SameTextAscii(name, wanted) && (found.empty() || name < found)) {
      found = std::move(name);
    }
  }
  return found;
}

}  // namespace

bool NamesDevice(const std::string& name) {
  struct stat info {};
  return ::stat(ResolveFileName(name).c_str(), &info) == 0 &&
         (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode) ||
          S_ISSOCK(info.st_mode));
}

std::string ResolveFileName(const std::string& fileName) {
  if (fileName.empty() || Exists(fileName)) {
    return fileName;
  }
  // Walk the name one component at a time, keeping the part that exists as
  // spelled and repairing only the components that do not.
  std::string resolved;
  std::size_t start = 0;
  if (fileName.front() == kPathDelimiter) {
    resolved = std::string(1, kPathDelimiter);
    start = 1;
  }
  while (start <= fileName.size()) {
    std::size_t end = fileName.find(kPathDelimiter, start);
    if (end == std::string::npos) {
      end = fileName.size();
    }
    std::string component = fileName.substr(start, end - start);
    if (!component.empty()) {
      std::string candidate = resolved + component;
      if (!Exists(candidate)) {
        std::string match = FindEntryIgnoringCase(resolved, component);
        if (match.empty()) {
          return fileName;
        }
        candidate = resolved + match;
      }
      resolved = candidate;
    }
    if (end < fileName.size()) {
      resolved += kPathDelimiter;
    }
    start = end + 1;
  }
  return resolved;
}

bool FileExists(const std::string& fileName) {
  struct stat info {};
  return ::stat(ResolveFileName(fileName).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& name) {
  struct stat info {};
  return ::stat(ResolveFileName(name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace tavelune::platform
