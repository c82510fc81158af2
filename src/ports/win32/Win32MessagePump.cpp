#include "ports/win32/Win32MessagePump.h"

#include <windows.h>

namespace tavelune {

void TWin32MessagePump::DispatchPending() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      FQuitRequested = true;  // for the message loop that owns it
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace tavelune
