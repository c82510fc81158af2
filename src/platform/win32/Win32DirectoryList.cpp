#include <windows.h>

#include "platform/DirectoryList.h"

namespace tavelune::platform {

void ListDirectory(const std::string& folder,
                   const std::function<bool(const std::string&)>& onEntry) {
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != ':') {
    pattern += '\\';
  }
  pattern += "*.*";
  WIN32_FIND_DATAA data;
  HANDLE search = ::FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    if (!onEntry(data.cFileName)) {
      break;
    }
  } while (::FindNextFileA(search, &data));
  ::FindClose(search);
}

}  // namespace tavelune::platform
