#include <windows.h>

#include <cstdint>

#include "platform/DirectoryList.h"
#include "ports/win32/Win32Text.h"

namespace tavelune::platform {
namespace {

// The folder's name ready for an entry's name to follow.
std::string WithDelimiter(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != ':') {
    folder += '\\';
  }
  return folder;
}

// Calls `onData` for each entry of the folder until it returns false.
template <typename OnData>
void Search(const std::string& folder, OnData onData) {
  const std::string pattern = WithDelimiter(folder) + "*.*";
  WIN32_FIND_DATAW data;
  HANDLE search = ::FindFirstFileW(WideFileName(pattern).c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    if (!onData(data)) {
      break;
    }
  } while (::FindNextFileW(search, &data));
  ::FindClose(search);
}

// The identity of the folder a link or junction leads to: its volume's
// serial number and its file index there; both 0 when it cannot be opened.
// Only links are asked, as only they can lead back up a tree, and opening
// every folder of a large walk would cost more than the walk itself.
void LinkTargetIdentity(const std::string& path, TFolderEntry& entry) {
  HANDLE target = ::CreateFileW(WideFileName(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (target == INVALID_HANDLE_VALUE) {
    return;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(target, &information)) {
    // The serial is kept apart from 0, which would read as "not told".
    entry.Device = static_cast<std::uint64_t>(information.dwVolumeSerialNumber) | 1ull << 32;
    entry.Node =
        static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
  }
  ::CloseHandle(target);
}

}  // namespace

void ListDirectory(const std::string& folder,
                   const std::function<bool(const std::string&)>& onEntry) {
  Search(folder, [&](const WIN32_FIND_DATAW& data) { return onEntry(SystemText(data.cFileName)); });
}

void ListFolderEntries(const std::string& folder,
                       const std::function<bool(const TFolderEntry&)>& onEntry) {
  Search(folder, [&](const WIN32_FIND_DATAW& data) {
    TFolderEntry entry;
    entry.Name = SystemText(data.cFileName);
    entry.Folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.Hidden = (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    if (entry.Folder && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      LinkTargetIdentity(WithDelimiter(folder) + entry.Name, entry);
    }
    return onEntry(entry);
  });
}

}  // namespace tavelune::platform
