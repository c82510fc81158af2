#include "frontends/win32/Win32FolderChooser.h"

#include <commctrl.h>
#include <shlobj.h>

#include "frontends/win32/Win32DialogUtils.h"

namespace tavelune::platform {

namespace {

struct TFolderDialogState {
  HWND Owner;
  std::wstring Title;
  std::wstring Start;  // the folder selected when it opens; empty for none
};

int CALLBACK FolderDialogCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
  const auto* state = reinterpret_cast<const TFolderDialogState*>(data);
  if (message == BFFM_INITIALIZED) {
    ::SetWindowTextW(window, state->Title.c_str());
    CentreOver(window, state->Owner);
    if (!state->Start.empty()) {
      ::SendMessageW(window, BFFM_SETSELECTIONW, TRUE,
                     reinterpret_cast<LPARAM>(state->Start.c_str()));
    }
    // The keys move through the folders from the start, once the chooser
    // has given its own first focus.
    if (HWND tree = ::FindWindowExW(window, nullptr, WC_TREEVIEWW, nullptr)) {
      ::PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(tree), TRUE);
    }
  } else if (message == BFFM_SELCHANGED) {
    // The status line shows the path of the folder selected now.
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path)) {
      path[0] = L'\0';
    }
    ::SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
  }
  return 0;
}

}  // namespace

std::optional<std::wstring> ChooseFolder(HWND owner, const std::wstring& title,
                                         const std::wstring& text, const std::wstring& start) {
  TFolderDialogState state{owner, title, start};
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.pidlRoot = nullptr;  // the desktop
  browse.lpszTitle = text.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  browse.lpfn = &FolderDialogCallback;
  browse.lParam = reinterpret_cast<LPARAM>(&state);
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&browse);
  if (chosen == nullptr) {
    return std::nullopt;
  }
  wchar_t path[MAX_PATH] = {};
  const bool named = ::SHGetPathFromIDListW(chosen, path) != FALSE;
  ::CoTaskMemFree(chosen);
  if (!named) {
    return std::nullopt;  // a folder of the shell's own with no path
  }
  return std::wstring(path);
}

}  // namespace tavelune::platform
