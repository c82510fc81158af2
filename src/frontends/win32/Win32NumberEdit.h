#pragma once

// A numeric edit of the settings dialog: its number and display format. The
// edit shows the number in that format while it has no focus, and as the
// save reads it while it has; it takes only characters that can be part of
// a number. An edit subclassed with Proc, this object as its data. UI
// thread.

#include <windows.h>

#include <string_view>

namespace tavelune::platform {

struct TWin32NumberEdit {
  std::string_view Format;
  double Value = 0;

  static LRESULT CALLBACK Proc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                               DWORD_PTR data);
  // The number typed in `edit` now, 0 for none.
  double Typed(HWND edit) const;
  // The typed number while `edit` has the focus, Value otherwise.
  double Current(HWND edit) const;
  // Shows `value`, unless the user is typing in `edit`.
  void Set(HWND edit, double value);
  void Show(HWND edit) const;
};

}  // namespace tavelune::platform
