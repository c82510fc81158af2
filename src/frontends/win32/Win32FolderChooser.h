#pragma once

// The folder chooser: the system's own (SHBrowseForFolderW), centred over
// its owner, with the path of the selected folder on its status line and
// the keys in the folder tree from the start. UI thread; modal.

#include <windows.h>

#include <optional>
#include <string>

namespace tavelune::platform {

// The chosen folder's path; nullopt when cancelled or when the choice is a
// folder of the shell's own with no path. `start` is the folder selected
// when it opens (empty for none).
std::optional<std::wstring> ChooseFolder(HWND owner, const std::wstring& title,
                                         const std::wstring& text, const std::wstring& start);

}  // namespace tavelune::platform
