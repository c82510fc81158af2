#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tavelune::platform {

// Hands every entry of `folder` (its name only) to `onEntry` in the order
// the platform returns them: files and sub-folders, hidden and system ones,
// "." and ".." included. Stops early when `onEntry` returns false. A folder
// that is missing or unreadable yields nothing. Any thread.
void ListDirectory(const std::string& folder,
                   const std::function<bool(const std::string&)>& onEntry);

// One entry of a folder with what a walk over sub-folders needs to know.
struct TFolderEntry {
  std::string Name;
  bool Folder = false;  // a folder, or a link to one
  // Hidden or system: Windows' attributes; on Linux a name starting with ".".
  bool Hidden = false;
  // The folder's identity on its file system (Linux: device and inode,
  // after following links; Windows: volume serial and file index of where a
  // link or junction leads), so that a walk can see a folder it has been
  // in already; both 0 where the platform does not tell (an ordinary
  // Windows folder, which cannot lead back up a tree).
  std::uint64_t Device = 0;
  std::uint64_t Node = 0;
};

// Like ListDirectory, with each entry's kind and attributes.
void ListFolderEntries(const std::string& folder,
                       const std::function<bool(const TFolderEntry&)>& onEntry);

}  // namespace tavelune::platform
