#pragma once

// What the Windows front end's windows share of GDI: the saver's font, a
// 24-bit top-down DIB over the core's pictures, and text in UTF-16.

#include <windows.h>

#include <string>

#include "imaging/Bitmap.h"
#include "ports/win32/Win32Text.h"

namespace tavelune::platform {

// "ＭＳ Ｐゴシック" at `height` pixels (the em, not the line), Shift-JIS
// character set. The caller deletes it (DeleteObject).
HFONT CreateJapaneseFont(int height, bool bold, bool underline);

// The saver's font: the face above at 12 pixels; bold for its red error
// line.
HFONT CreateSaverFont(bool bold);

// The header that describes `picture` (top-down, 24 bits, rows padded to 4
// bytes, as TBitmap24 keeps them) to SetDIBitsToDevice and its kin.
BITMAPINFO DibHeaderOf(const TBitmap24& picture);

// Registers a window class of this program: the arrow cursor, `background`
// (nullptr for none), the program's icon "MAINICON" when `withIcon`. True
// when the class exists now.
bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background,
                         bool withIcon = false);

// The object that owns `window`: the creation parameter it was given, kept
// in its user data from WM_NCCREATE on; nullptr before that.
template <typename TOwner>
TOwner* WindowOwner(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<TOwner*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace tavelune::platform
