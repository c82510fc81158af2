#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

#include "platform/DirectoryList.h"
#include "platform/FileSystem.h"

namespace tavelune::platform {
namespace {

using TDirHandle = std::unique_ptr<DIR, int (*)(DIR*)>;

TDirHandle OpenFolder(const std::string& folder) {
  return {::opendir(platform::ResolveFileName(folder).c_str()), ::closedir};
}

}  // namespace

void ListDirectory(const std::string& folder,
                   const std::function<bool(const std::string&)>& onEntry) {
  TDirHandle handle = OpenFolder(folder);
  if (!handle) {
    return;
  }
  while (const dirent* entry = ::readdir(handle.get())) {
    if (!onEntry(entry->d_name)) {
      return;
    }
  }
}

void ListFolderEntries(const std::string& folder,
                       const std::function<bool(const TFolderEntry&)>& onEntry) {
  TDirHandle handle = OpenFolder(folder);
  if (!handle) {
    return;
  }
  while (const dirent* raw = ::readdir(handle.get())) {
    TFolderEntry entry;
    entry.Name = raw->d_name;
    entry.Hidden = entry.Name.front() == '.';
    // Only what may be a folder costs a stat: links are followed, as the
    // walk enters linked folders.
    if (raw->d_type == DT_DIR || raw->d_type == DT_LNK || raw->d_type == DT_UNKNOWN) {
      struct stat info {};
      if (::fstatat(::dirfd(handle.get()), raw->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode)) {
        entry.Folder = true;
        entry.Device = static_cast<std::uint64_t>(info.st_dev);
        entry.Node = static_cast<std::uint64_t>(info.st_ino);
      }
    }
    if (!onEntry(entry)) {
      return;
    }
  }
}

}  // namespace tavelune::platform
