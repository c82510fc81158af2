#include "ports/win32/Win32MessagePump.h"

#include <windows.h>

#include "base/Synchronize.h"

namespace tavelune {

void TWin32MessagePump::DispatchPending() {
  MSG message;
  bool woken = false;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      FQuitRequested = true;  // for the message loop that owns it
      continue;
    }
    // A thread timer's message still goes to its procedure.
    if (message.hwnd == nullptr && message.message != WM_TIMER) {
      woken = true;
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (woken) {
    RunSynchronizeRequests();
  }
}

}  // namespace tavelune
