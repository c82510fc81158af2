#include "frontends/win32/Win32FormMessage.h"

#include <windowsx.h>

#include "ports/win32/Win32Gdi.h"

namespace tavelune::platform {

namespace {

constexpr wchar_t kClassName[] = L"TFormMessage";
constexpr UINT_PTR kCountdownTimer = 1;
constexpr int kOkButtonId = 1;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;

HWND Control(const wchar_t* kind, const wchar_t* text, DWORD style, const int (&rect)[4],
             HWND parent, int id) {
  return ::CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, rect[0], rect[1], rect[2],
                           rect[3], parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

std::unique_ptr<TWin32FormMessage> TWin32FormMessage::Show(std::function<std::string()> movieFile,
                                                           TPassedInput passed) {
  // The constructor is private: only a shown notice is handed out.
  std::unique_ptr<TWin32FormMessage> notice(
      new TWin32FormMessage(std::move(movieFile), std::move(passed)));
  if (!notice->Create()) {
    return nullptr;
  }
  return notice;
}

TWin32FormMessage::TWin32FormMessage(std::function<std::string()> movieFile, TPassedInput passed)
    : FLogic(*this, std::move(movieFile)) {
  FLogic.SetPassedInput(std::move(passed));
}

TWin32FormMessage::~TWin32FormMessage() {
  if (FWindow != nullptr) {
    ::DestroyWindow(FWindow);
  }
  if (FFont != nullptr) {
    ::DeleteObject(FFont);
  }
}

bool TWin32FormMessage::Create() {
  static const bool kRegistered = [] {
    return RegisterWindowClass(kClassName, &WindowProc,
                               reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  }();
  const TFormMessageLayout& layout = kFormMessageLayout;
  RECT frame{0, 0, layout.ClientWidth, layout.ClientHeight};
  ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // At the centre of the desktop.
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  FWindow = kRegistered
                ? ::CreateWindowExW(kExStyle, kClassName, WideFromUtf8(layout.Caption).c_str(),
                                    kStyle, left, top, width, height, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), this)
                : nullptr;
  if (FWindow == nullptr) {
    return false;
  }
  FFont = CreateSaverFont(false);
  FMessageLabel = Control(L"STATIC", L"", SS_LEFT, layout.MessageLabel, FWindow, 0);
  FCountdownLabel = Control(L"STATIC", WideFromUtf8(layout.InitialCount).c_str(), SS_LEFT,
                            layout.CountdownLabel, FWindow, 0);
  FOkButton = Control(L"BUTTON", WideFromUtf8(layout.ButtonCaption).c_str(),
                      WS_TABSTOP | BS_DEFPUSHBUTTON, layout.OkButton, FWindow, kOkButtonId);
  for (HWND control : {FMessageLabel, FCountdownLabel, FOkButton}) {
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  }
  // The button has the focus: its keys come here first.
  ::SetWindowLongPtrW(FOkButton, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  FButtonDefault = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(FOkButton, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ButtonProc)));
  SetTimerEnabled(FTimerWanted);
  ::ShowWindow(FWindow, SW_SHOW);
  ::SetForegroundWindow(FWindow);
  ::SetFocus(FOkButton);
  FLogic.FormActivate();
  return true;
}

bool TWin32FormMessage::Input(UINT message, WPARAM wParam, HWND from, LPARAM lParam) {
  if (message == WM_MOUSEMOVE) {
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(from, &at);
    FLogic.FormMouseMove(at.x, at.y);
    return false;
  }
  // WM_CHAR: Return and Esc close the notice, the blank presses the button
  // (the button's own doing); other characters are the saver's.
  const char key = wParam < 0x80 ? static_cast<char>(wParam) : '?';
  if (FLogic.FormKeyPress(key)) {
    return true;
  }
  if (key == '\r' || key == '\n' || key == '\x1b') {
    FLogic.OkButtonClick();
    return true;
  }
  return false;
}

LRESULT CALLBACK TWin32FormMessage::ButtonProc(HWND button, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  auto* self = reinterpret_cast<TWin32FormMessage*>(::GetWindowLongPtrW(button, GWLP_USERDATA));
  if ((message == WM_CHAR || message == WM_MOUSEMOVE) &&
      self->Input(message, wParam, button, lParam)) {
    return 0;
  }
  return ::CallWindowProcW(self->FButtonDefault, button, message, wParam, lParam);
}

LRESULT CALLBACK TWin32FormMessage::WindowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  auto* self = WindowOwner<TWin32FormMessage>(window, message, lParam);
  if (self == nullptr) {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  switch (message) {
    case WM_TIMER:
      if (wParam == kCountdownTimer) {
        self->FLogic.CountdownTick();
      }
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kOkButtonId && HIWORD(wParam) == BN_CLICKED) {
        self->FLogic.OkButtonClick();
      }
      return 0;
    case WM_CHAR:
    case WM_MOUSEMOVE:
      if (self->Input(message, wParam, window, lParam)) {
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        self->FLogic.FormActivate();
      }
      break;
    case WM_CLOSE:
      self->FLogic.FormClose();
      ::DestroyWindow(window);
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      self->FWindow = nullptr;
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void TWin32FormMessage::SetMessageText(const std::string& text) {
  // The movie's name is in the system code page, and so, where the
  // program runs with UTF-8 as that code page, is the literal after it.
  ::SetWindowTextW(FMessageLabel, WideText(text).c_str());
}

void TWin32FormMessage::SetCountdownText(const std::string& text) {
  ::SetWindowTextW(FCountdownLabel, WideFromUtf8(text).c_str());
}

void TWin32FormMessage::SetTimerEnabled(bool enabled) {
  // The logic starts the countdown in its constructor, before the window
  // exists; the window starts it then.
  FTimerWanted = enabled;
  if (FWindow == nullptr) {
    return;
  }
  if (enabled) {
    ::SetTimer(FWindow, kCountdownTimer, 1000, nullptr);
  } else {
    ::KillTimer(FWindow, kCountdownTimer);
  }
}

void TWin32FormMessage::Hide() {
  ::ShowWindow(FWindow, SW_HIDE);
}

void TWin32FormMessage::Close() {
  ::PostMessageW(FWindow, WM_CLOSE, 0, 0);
}

void TWin32FormMessage::RepaintCountdown() {
  ::UpdateWindow(FCountdownLabel);
}

}  // namespace tavelune::platform
