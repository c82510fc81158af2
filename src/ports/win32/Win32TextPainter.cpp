// Text on the core's pictures with GDI: the text's cell is drawn into a
// small DIB section of its own and copied onto the picture, clipped.

#include <windows.h>
// windows.h makes DrawText a macro for DrawTextA; the core's text painter
// and hosts have a DrawText of their own, which must keep its name in every
// program (the tool includes no windows.h). Win32 code calls DrawTextW.
#undef DrawText

#include <algorithm>
#include <cstring>

#include "imaging/TextPainter.h"
#include "ports/win32/Win32Gdi.h"

namespace tavelune::platform {

namespace {

COLORREF AsColorRef(TColor rgb) {
  return RGB(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

}  // namespace

TTextPainter::TTextPainter() = default;

void TTextPainter::DrawText(TBitmap24& surface, int x, int y, const std::string& text,
                            TColor fontColor, TColor brushColor) {
  if (surface.Empty() || text.empty()) {
    return;
  }
  const std::wstring line = WideText(text);
  HDC dc = ::CreateCompatibleDC(nullptr);
  HFONT font = CreateSaverFont(false);
  HGDIOBJ oldFont = ::SelectObject(dc, font);
  SIZE extent{};
  ::GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &extent);
  if (extent.cx > 0 && extent.cy > 0) {
    TBitmap24 cell(extent.cx, extent.cy);
    BITMAPINFO info = DibHeaderOf(cell);
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib != nullptr) {
      HGDIOBJ oldBitmap = ::SelectObject(dc, dib);
      ::SetBkMode(dc, OPAQUE);
      ::SetBkColor(dc, AsColorRef(brushColor));
      ::SetTextColor(dc, AsColorRef(fontColor));
      const RECT box{0, 0, extent.cx, extent.cy};
      ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &box, line.c_str(), static_cast<UINT>(line.size()),
                    nullptr);
      ::GdiFlush();
      // The DIB's rows are laid out as the picture's: copy the visible part.
      const auto* from = static_cast<const std::uint8_t*>(bits);
      for (int row = std::max(0, -y); row < extent.cy && y + row < surface.Height(); ++row) {
        const int first = std::max(0, -x);
        const int last = std::min<int>(extent.cx, surface.Width() - x);
        if (first < last) {
          std::memcpy(surface.Pixel(x + first, y + row), from + row * cell.Stride() + 3 * first,
                      static_cast<std::size_t>(3 * (last - first)));
        }
      }
      ::SelectObject(dc, oldBitmap);
      ::DeleteObject(dib);
    }
  }
  ::SelectObject(dc, oldFont);
  ::DeleteObject(font);
  ::DeleteDC(dc);
}

}  // namespace tavelune::platform
