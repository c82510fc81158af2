#include "platform/win32/Win32Gdi.h"

namespace tavelune::platform {

HFONT CreateJapaneseFont(int height, bool bold, bool underline) {
  return ::CreateFontW(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE,
                       SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");
}

HFONT CreateSaverFont(bool bold) {
  return CreateJapaneseFont(12, bold, false);
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
