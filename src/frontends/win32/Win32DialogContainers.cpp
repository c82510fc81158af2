#include "frontends/win32/Win32DialogContainers.h"

#include <commctrl.h>
#include <windowsx.h>

#include <string>

#include "frontends/win32/Win32DialogUtils.h"
#include "ports/win32/Win32Gdi.h"

namespace tavelune::platform {

namespace {

void PaintGroupFrame(HWND window, HFONT font) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  RECT client;
  ::GetClientRect(window, &client);
  HGDIOBJ oldFont = ::SelectObject(dc, font);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  RECT frame = client;
  frame.top += metrics.tmHeight / 2;
  ::DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
  const std::wstring caption = L" " + WindowText(window) + L" ";
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  ::SetBkMode(dc, OPAQUE);
  ::TextOutW(dc, metrics.tmAveCharWidth, 0, caption.c_str(), static_cast<int>(caption.size()));
  ::SelectObject(dc, oldFont);
  ::EndPaint(window, &paint);
}

LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_SETCURSOR:
      return ::SendMessageW(::GetAncestor(window, GA_ROOT), message, wParam, lParam);
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_PAINT:
      if (auto font = reinterpret_cast<HFONT>(::GetWindowLongPtrW(window, GWLP_USERDATA))) {
        PaintGroupFrame(window, font);
        return 0;
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK PagesProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                           DWORD_PTR /*data*/) {
  if (message == WM_NCHITTEST) {
    const LRESULT hit = ::DefSubclassProc(window, message, wParam, lParam);
    if (hit != HTCLIENT) {
      return hit;
    }
    TCHITTESTINFO test{};
    test.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ScreenToClient(window, &test.pt);
    return TabCtrl_HitTest(window, &test) < 0 ? HTTRANSPARENT : hit;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

bool RegisterControlFormClasses(WNDPROC formProc) {
  static const bool kRegistered = [formProc] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    const auto face = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    return RegisterWindowClass(kControlFormClass, formProc, face, true) &&
           RegisterWindowClass(kContainerClass, &ContainerProc, face);
  }();
  return kRegistered;
}

}  // namespace tavelune::platform
