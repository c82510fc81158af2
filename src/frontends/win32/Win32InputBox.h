#pragma once

// The one-line input box: a small modal window with a prompt, an edit and
// "OK" / "キャンセル", centred over its owner. Enter confirms, Esc and the
// close box cancel. UI thread.

#include <windows.h>

#include <optional>
#include <string>

namespace tavelune::platform {

class TInputBox {
 public:
  // The text confirmed, or nullopt when cancelled (or when the window
  // cannot be made). `font` is the owner's; `scale` its designed bounds'
  // scale. The owner is disabled while the box is up; a quit message that
  // arrives meanwhile ends the box and is posted again for the loop that
  // owns it.
  static std::optional<std::wstring> Run(HWND owner, HFONT font, double scale,
                                         const std::wstring& caption, const std::wstring& prompt,
                                         const std::wstring& text);

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  bool FDone = false;
  bool FConfirmed = false;
};

}  // namespace tavelune::platform
