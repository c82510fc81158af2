#include "frontends/win32/Win32InputBox.h"

#include <cmath>

#include "frontends/win32/Win32DialogUtils.h"
#include "ports/win32/Win32Gdi.h"

namespace tavelune::platform {

namespace {

constexpr wchar_t kInputBoxClass[] = L"TInputBox";

}  // namespace

std::optional<std::wstring> TInputBox::Run(HWND owner, HFONT font, double scale,
                                           const std::wstring& caption, const std::wstring& prompt,
                                           const std::wstring& text) {
  static const bool kRegistered = [] {
    return RegisterWindowClass(kInputBoxClass, &Proc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  }();
  if (!kRegistered) {
    return std::nullopt;
  }
  TInputBox box;
  const auto s = [scale](int value) { return static_cast<int>(std::lround(value * scale)); };
  constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_TOPMOST;
  RECT frame{0, 0, s(268), s(100)};
  ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  HWND window = ::CreateWindowExW(kExStyle, kInputBoxClass, caption.c_str(), kStyle, 0, 0,
                                  frame.right - frame.left, frame.bottom - frame.top, owner,
                                  nullptr, ::GetModuleHandleW(nullptr), &box);
  if (window == nullptr) {
    return std::nullopt;
  }
  const auto child = [&](const wchar_t* kind, const std::wstring& label, DWORD style, DWORD exStyle,
                         int left, int top, int width, int height, int id) {
    HWND control = ::CreateWindowExW(exStyle, kind, label.c_str(), WS_CHILD | WS_VISIBLE | style,
                                     s(left), s(top), s(width), s(height), window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  };
  child(L"STATIC", prompt, SS_LEFT | SS_NOPREFIX, 0, 8, 8, 252, 16, -1);
  HWND edit = child(L"EDIT", text, WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 8, 28,
                    252, 21, 10);
  child(L"BUTTON", L"OK", WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 0, 104, 64, 75, 25, IDOK);
  child(L"BUTTON", L"\u30AD\u30E3\u30F3\u30BB\u30EB", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, 185,
        64, 75, 25, IDCANCEL);  // キャンセル
  CentreOver(window, owner);
  const bool ownerWasEnabled = owner != nullptr && !::EnableWindow(owner, FALSE);
  ::ShowWindow(window, SW_SHOW);
  ::SetFocus(edit);
  ::SendMessageW(edit, EM_SETSEL, 0, -1);
  MSG message;
  while (!box.FDone && ::IsWindow(window)) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that owns it
      break;
    }
    if (!::IsDialogMessageW(window, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  std::optional<std::wstring> answer;
  if (box.FConfirmed && ::IsWindow(window)) {
    answer = WindowText(edit);
  }
  if (ownerWasEnabled) {
    ::EnableWindow(owner, TRUE);
  }
  ::DestroyWindow(window);
  return answer;
}

LRESULT CALLBACK TInputBox::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* box = WindowOwner<TInputBox>(window, message, lParam);
  if (box != nullptr) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
      box->FConfirmed = LOWORD(wParam) == IDOK;
      box->FDone = true;
      return 0;
    }
    if (message == WM_CLOSE) {
      box->FDone = true;
      return 0;
    }
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tavelune::platform
