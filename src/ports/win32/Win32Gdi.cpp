#include "ports/win32/Win32Gdi.h"

namespace tavelune::platform {

HFONT CreateJapaneseFont(int height, bool bold, bool underline) {
  return ::CreateFontW(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE,
                       SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");
}

HFONT CreateSaverFont(bool bold) {
  return CreateJapaneseFont(12, bold, false);
}

bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background, bool withIcon) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = background;
  windowClass.hIcon = withIcon ? ::LoadIconW(windowClass.hInstance, L"MAINICON") : nullptr;
  windowClass.lpszClassName = name;
  return ::RegisterClassExW(&windowClass) != 0;
}

BITMAPINFO DibHeaderOf(const TBitmap24& picture) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.Width();
  info.bmiHeader.biHeight = -picture.Height();  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace tavelune::platform
