#include "ports/win32/Win32ScreenInfo.h"

#include <windows.h>

namespace tavelune {

int TWin32ScreenInfo::ColorDepth() {
  HDC screen = ::GetDC(nullptr);
  int depth = ::GetDeviceCaps(screen, BITSPIXEL);
  ::ReleaseDC(nullptr, screen);
  return depth;
}

}  // namespace tavelune
