#include <dirent.h>

#include <memory>

#include "platform/DirectoryList.h"
#include "platform/FileSystem.h"

namespace tavelune::platform {

void ListDirectory(const std::string& folder,
                   const std::function<bool(const std::string&)>& onEntry) {
  std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(ResolveFileName(folder).c_str()),
                                             ::closedir);
  if (!handle) {
    return;
  }
  while (const dirent* entry = ::readdir(handle.get())) {
    if (!onEntry(entry->d_name)) {
      return;
    }
  }
}

}  // namespace tavelune::platform
