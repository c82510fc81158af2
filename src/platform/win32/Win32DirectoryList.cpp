#include <windows.h>

#include "platform/DirectoryList.h"

namespace tavelune::platform {
namespace {

// Calls `onData` for each entry of the folder until it returns false.
template <typename OnData>
void Search(const std::string& folder, OnData onData) {
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
    if (!onData(data)) {
      break;
    }
  } while (::FindNextFileA(search, &data));
  ::FindClose(search);
}

}  // namespace

void ListDirectory(const std::string& folder,
                   const std::function<bool(const std::string&)>& onEntry) {
  Search(folder, [&](const WIN32_FIND_DATAA& data) { return onEntry(data.cFileName); });
}

void ListFolderEntries(const std::string& folder,
                       const std::function<bool(const TFolderEntry&)>& onEntry) {
  Search(folder, [&](const WIN32_FIND_DATAA& data) {
    TFolderEntry entry;
    entry.Name = data.cFileName;
    entry.Folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.Hidden = (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    return onEntry(entry);
  });
}

}  // namespace tavelune::platform
