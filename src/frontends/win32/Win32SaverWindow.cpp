#include "frontends/win32/Win32SaverWindow.h"

#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "app/Program.h"
#include "base/ProcessUtils.h"
#include "base/Synchronize.h"
#include "frontends/win32/Win32FormMessage.h"
#include "platform/InputWatch.h"
#include "platform/MessagePump.h"
#include "platform/SystemDirs.h"
#include "ports/win32/Win32Gdi.h"

namespace tavelune::platform {

namespace {

constexpr wchar_t kClassName[] = L"TSaver";
// The input watchdog's question, posted to the saver window.
constexpr UINT kAnswerWatchdog = WM_APP + 3;
// Wakes the outermost message loop for the first activation, which it runs
// after dispatching this (the paint that asks for it may come in a nested
// pass, after which nothing else may arrive for a long time).
constexpr UINT kActivationDue = WM_APP + 4;
// The red error line's height above the bottom edge of the window.
constexpr int kErrorLineHeight = 18;
constexpr COLORREF kRed = RGB(255, 0, 0);
// How often a preview looks whether its pane is still there.
constexpr UINT kPaneCheckInterval = 250;
// The preview whose pane is being watched (there is one saver window).
TWin32SaverWindow* gWatchedPreview = nullptr;

HWND PaneOf(const TProgramRun& run) {
  return reinterpret_cast<HWND>(static_cast<INT_PTR>(run.PreviewHandle));
}

}  // namespace

// A window timer of the saver window: WM_TIMER with its own id.
class TWin32SaverWindow::TTimer final : public ITimer {
 public:
  TTimer(TWin32SaverWindow& owner, UINT_PTR id, int interval)
      : FOwner(owner), FId(id), FInterval(interval) {}
  ~TTimer() override {
    SetEnabled(false);
    FOwner.FTimers.erase(FId);
  }
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;
  void SetInterval(int milliseconds) override {
    FInterval = milliseconds;
    if (FEnabled) {
      SetEnabled(true);
    }
  }
  void SetEnabled(bool enabled) override {
    // Setting a running timer again starts its interval anew.
    if (enabled && FOwner.FWindow != nullptr) {
      ::SetTimer(FOwner.FWindow, FId, static_cast<UINT>(FInterval), nullptr);
    } else if (FOwner.FWindow != nullptr) {
      ::KillTimer(FOwner.FWindow, FId);
    }
    FEnabled = enabled;
  }
  bool Enabled() const override { return FEnabled; }

 private:
  TWin32SaverWindow& FOwner;
  UINT_PTR FId;
  int FInterval;
  bool FEnabled = false;
};

TWin32SaverWindow::TWin32SaverWindow(const TProgramRun& run, std::unique_ptr<IMediaFramework> media)
    : FRun(run),
      FMedia(std::move(media)),
      FLogFile(ProgramFileName()),
      FErrorFont(CreateSaverFont(true)) {
  static const bool kRegistered = [] {
    return RegisterWindowClass(kClassName, &WindowProc, nullptr);
  }();
  const bool preview = FRun.Preview();
  // A preview lives inside the host's pane; a run covers the screen above
  // everything else.
  const DWORD style = preview ? WS_CHILD : WS_POPUP;
  const DWORD exStyle = preview ? 0 : WS_EX_TOPMOST;
  HWND parent = preview ? PaneOf(FRun) : nullptr;
  if (kRegistered && (!preview || ::IsWindow(parent))) {
    FWindow = ::CreateWindowExW(exStyle, kClassName, WideFromUtf8(kApplicationTitle).c_str(), style,
                                0, 0, 0, 0, parent, nullptr, ::GetModuleHandleW(nullptr), this);
  }
  FSaver = std::make_unique<TSaver>(*this, *FMedia, FLogFile, FRun);
}

TWin32SaverWindow::~TWin32SaverWindow() {
  for (const auto& monitor : FMonitorWindows) {
    ::DestroyWindow(monitor->Window);
  }
  if (FPaneTimer != 0) {
    ::KillTimer(nullptr, FPaneTimer);
    FPaneTimer = 0;
    gWatchedPreview = nullptr;
  }
  FInputWatch.reset();
  FInputWatchdog.reset();
  Guarded([this] { FSaver->FormDestroy(); });
  FSaver.reset();
  if (FWindow != nullptr) {
    ::DestroyWindow(FWindow);
  }
  ::DeleteObject(FErrorFont);
}

bool TWin32SaverWindow::Start() {
  if (FWindow == nullptr) {
    return false;
  }
  if (!FSaver->Preview()) {
    WatchInput();
  }
  Guarded([this] { FSaver->FormCreate(); });
  RECT area{};
  if (FSaver->Preview()) {
    ::GetClientRect(::GetParent(FWindow), &area);
    ::MoveWindow(FWindow, 0, 0, area.right - area.left, area.bottom - area.top, FALSE);
    gWatchedPreview = this;
    FPaneTimer = ::SetTimer(nullptr, 0, kPaneCheckInterval, &CheckPreviewPane);
  } else {
    area = {0, 0, ScreenWidth(), ScreenHeight()};
    ::SetWindowPos(FWindow, HWND_TOPMOST, 0, 0, area.right, area.bottom, SWP_NOACTIVATE);
    CoverOtherMonitors();
  }
  FSaver->SetClientSize(area.right - area.left, area.bottom - area.top);
  ::ShowWindow(FWindow, SW_SHOW);
  if (!FSaver->Preview()) {
    ::SetForegroundWindow(FWindow);
    ::SetFocus(FWindow);
  }
  return true;
}

namespace {

constexpr const wchar_t* kMonitorClassName = L"TSaverMonitor";

BOOL CALLBACK AddOtherMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (::GetMonitorInfoW(monitor, &info) && (info.dwFlags & MONITORINFOF_PRIMARY) == 0) {
    const RECT& r = info.rcMonitor;
    reinterpret_cast<std::vector<TScreenArea>*>(areas)->push_back(
        {r.left, r.top, r.right - r.left, r.bottom - r.top});
  }
  return TRUE;
}

}  // namespace

std::vector<TScreenArea> TWin32SaverWindow::OtherMonitors() {
  // The virtual screen's coordinates put the primary monitor at (0, 0).
  std::vector<TScreenArea> areas;
  ::EnumDisplayMonitors(nullptr, nullptr, &AddOtherMonitor, reinterpret_cast<LPARAM>(&areas));
  return areas;
}

void TWin32SaverWindow::CoverOtherMonitors() {
  static const bool kRegistered = [] {
    return RegisterWindowClass(kMonitorClassName, &MonitorWindowProc, nullptr);
  }();
  const std::vector<TOtherScreen>& others = FSaver->OtherScreens();
  for (std::size_t i = 0; kRegistered && i < others.size(); ++i) {
    auto monitor = std::make_unique<TMonitorWindow>(TMonitorWindow{this, i});
    const TScreenArea& area = others[i].Area;
    monitor->Window = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kMonitorClassName,
                                        WideFromUtf8(kApplicationTitle).c_str(), WS_POPUP,
                                        area.Left, area.Top, area.Width, area.Height, FWindow,
                                        nullptr, ::GetModuleHandleW(nullptr), monitor.get());
    if (monitor->Window != nullptr) {
      ::ShowWindow(monitor->Window, SW_SHOWNOACTIVATE);
      FMonitorWindows.push_back(std::move(monitor));
    }
  }
}

LRESULT CALLBACK TWin32SaverWindow::MonitorWindowProc(HWND window, UINT message, WPARAM wParam,
                                                      LPARAM lParam) {
  auto* monitor = WindowOwner<TMonitorWindow>(window, message, lParam);
  if (monitor == nullptr || monitor->Owner->FSaver == nullptr) {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  TWin32SaverWindow& owner = *monitor->Owner;
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      owner.PaintMonitor(*monitor);
      return 0;
    case WM_MOUSEMOVE: {
      // Where the mouse is, in the saver window's own coordinates.
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ::MapWindowPoints(window, owner.FWindow, &at, 1);
      return owner.Handle(message, wParam, MAKELPARAM(at.x, at.y));
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_CHAR:
      return owner.Handle(message, wParam, lParam);
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

void TWin32SaverWindow::PaintMonitor(const TMonitorWindow& monitor) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(monitor.Window, &paint);
  const std::vector<TOtherScreen>& others = FSaver->OtherScreens();
  if (monitor.Index < others.size() && !others[monitor.Index].Screen.Empty()) {
    const TBitmap24& picture = others[monitor.Index].Screen;
    const BITMAPINFO info = DibHeaderOf(picture);
    ::SetDIBitsToDevice(dc, 0, 0, picture.Width(), picture.Height(), 0, 0, 0,
                        static_cast<UINT>(picture.Height()), picture.Row(0), &info, DIB_RGB_COLORS);
  }
  ::EndPaint(monitor.Window, &paint);
}

void TWin32SaverWindow::HideUnpluggedMonitors() {
  for (const auto& monitor : FMonitorWindows) {
    RECT bounds{};
    ::GetWindowRect(monitor->Window, &bounds);
    if (::MonitorFromRect(&bounds, MONITOR_DEFAULTTONULL) == nullptr) {
      ::ShowWindow(monitor->Window, SW_HIDE);
    }
  }
}

void TWin32SaverWindow::WatchInput() {
  // The answer is a posted message, which every message loop dispatches,
  // nested and modal ones included: it stays out only while the UI thread
  // handles nothing.
  HWND window = FWindow;
  FInputWatchdog =
      StartInputWatchdog([window] { ::PostMessageW(window, kAnswerWatchdog, 0, 0); }, FLogFile);
  FInputWatch = WatchDesktopInput([watchdog = FInputWatchdog.get()] { watchdog->InputArrived(); });
}

void CALLBACK TWin32SaverWindow::CheckPreviewPane(HWND, UINT, UINT_PTR, DWORD) {
  // The pane's program may have ended: its windows, this one included, are
  // then no windows any more, though no message said so.
  if (gWatchedPreview != nullptr &&
      (!::IsWindow(PaneOf(gWatchedPreview->FRun)) || !::IsWindow(gWatchedPreview->FWindow))) {
    gWatchedPreview->WindowGone();
  }
}

void TWin32SaverWindow::WindowGone() {
  if (FPaneTimer != 0) {
    ::KillTimer(nullptr, FPaneTimer);
    FPaneTimer = 0;
    gWatchedPreview = nullptr;
  }
  Guarded([this] { FSaver->FormClose(); });
  FWindow = nullptr;
  ::PostQuitMessage(0);
}

LRESULT CALLBACK TWin32SaverWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  auto* self = WindowOwner<TWin32SaverWindow>(window, message, lParam);
  if (self == nullptr || self->FSaver == nullptr) {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  return self->Handle(message, wParam, lParam);
}

LRESULT TWin32SaverWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_PAINT:
      Paint();
      return 0;
    case WM_MOUSEMOVE: {
      const int x = GET_X_LPARAM(lParam);
      const int y = GET_Y_LPARAM(lParam);
      Guarded([&] { FSaver->FormMouseMove(x, y); });
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      Guarded([this] { FSaver->FormMouseDown(); });
      return 0;
    case WM_CHAR: {
      // Keys that produce a character; the saver's rules look only at the
      // blank, so other characters need not be in the code page.
      char key = wParam < 0x80 ? static_cast<char>(wParam) : '?';
      Guarded([&] { FSaver->FormKeyPress(key); });
      return 0;
    }
    case kActivationDue:
      return 0;  // the outermost loop runs the activation next
    case kAnswerWatchdog:
      if (FInputWatchdog) {
        FInputWatchdog->Answer();
      }
      return 0;
    case WM_TIMER:
      if (auto timer = FTimers.find(wParam); timer != FTimers.end()) {
        const std::function<void()> onTimer = timer->second;
        Guarded(onTimer);
      }
      return 0;
    case WM_CLOSE: {
      bool canClose = true;
      Guarded([&] { FSaver->FormCloseQuery(canClose); });
      if (canClose) {
        Guarded([this] { FSaver->FormClose(); });
        ::ShowWindow(FWindow, SW_HIDE);
        for (const auto& monitor : FMonitorWindows) {
          ::ShowWindow(monitor->Window, SW_HIDE);
        }
        FClosed = true;
        QuitOnceEnded();
        StartExitWatchdog();
      }
      return 0;
    }
    case WM_DESTROY:
      // A preview's pane that goes takes its children along: so is the
      // saver. (At the end of a run the window outlives the loop.)
      WindowGone();
      return 0;
    case WM_DISPLAYCHANGE:
      HideUnpluggedMonitors();
      return 0;
    default:
      return ::DefWindowProcW(FWindow, message, wParam, lParam);
  }
}

void TWin32SaverWindow::Paint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(FWindow, &paint);
  if (!FSaver->Painted()) {
    Guarded([this] { FSaver->FormPaint(); });
    // The first activation follows the first paint, so the screen is
    // covered before the pause that starts the run.
    FActivationDue = true;
    ::PostMessageW(FWindow, kActivationDue, 0, 0);
  }
  const TBitmap24& picture = FSaver->ScreenPicture();
  if (!picture.Empty()) {
    // Straight from the picture's rows: they are a top-down 24-bit DIB.
    const BITMAPINFO info = DibHeaderOf(picture);
    ::SetDIBitsToDevice(dc, 0, 0, picture.Width(), picture.Height(), 0, 0, 0,
                        static_cast<UINT>(picture.Height()), picture.Row(0), &info, DIB_RGB_COLORS);
  }
  if (!FErrorText.empty()) {
    RECT client{};
    ::GetClientRect(FWindow, &client);
    HGDIOBJ oldFont = ::SelectObject(dc, FErrorFont);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, kRed);
    const std::wstring text = WideText(FErrorText);
    ::TextOutW(dc, 0, client.bottom - kErrorLineHeight, text.c_str(),
               static_cast<int>(text.size()));
    ::SelectObject(dc, oldFont);
  }
  ::EndPaint(FWindow, &paint);
}

void TWin32SaverWindow::RunDueActivation() {
  if (FActivationDue) {
    FActivationDue = false;
    Guarded([this] { FSaver->FormActivate(); });
  }
}

void TWin32SaverWindow::PlayLoopEnded() {
  QuitOnceEnded();
}

void TWin32SaverWindow::QuitOnceEnded() {
  // The saver window is the main window: the message loop ends once the
  // run has closed and the play loop (which the close woke) has written
  // its last lines.
  if (FClosed && !FSaver->PlayLoopRunning()) {
    ::PostQuitMessage(0);
  }
}

void TWin32SaverWindow::RequestClose() {
  if (FWindow != nullptr && ::IsWindowVisible(FWindow)) {
    ::SendMessageW(FWindow, WM_CLOSE, 0, 0);
  }
}

// --- ISaverHost ---

void TWin32SaverWindow::ProcessMessages() {
  RunSynchronizeRequests();
  if (platform::IMessagePump* pump = platform::CurrentMessagePump()) {
    pump->DispatchPending();
  }
}

std::unique_ptr<ITimer> TWin32SaverWindow::CreateTimer(int interval,
                                                       std::function<void()> onTimer) {
  const UINT_PTR id = FNextTimerId++;
  FTimers[id] = std::move(onTimer);
  return std::make_unique<TTimer>(*this, id, interval);
}

void TWin32SaverWindow::ShowErrorNotice(const std::string& movieFile) {
  if (FNotice != nullptr && FNotice->Exists()) {
    return;
  }
  // Keys and moves over the notice are judged by the saver's own rules, as
  // they would be without it.
  TPassedInput passed{[this](char& key) { Guarded([&] { FSaver->FormKeyPress(key); }); },
                      [this](int screenX, int screenY) {
                        POINT at{screenX, screenY};
                        ::ScreenToClient(FWindow, &at);
                        Guarded([&] { FSaver->FormMouseMove(at.x, at.y); });
                      }};
  FNotice = TWin32FormMessage::Show([movieFile] { return movieFile; }, std::move(passed));
}

bool TWin32SaverWindow::ErrorNoticeShowing() {
  return FNotice != nullptr && FNotice->Visible();
}

void TWin32SaverWindow::ScreenChanged() {
  // At once: the saver may now block in a specified pause.
  ::InvalidateRect(FWindow, nullptr, FALSE);
  ::UpdateWindow(FWindow);
  for (const auto& monitor : FMonitorWindows) {
    ::InvalidateRect(monitor->Window, nullptr, FALSE);
    ::UpdateWindow(monitor->Window);
  }
}

int TWin32SaverWindow::ScreenWidth() {
  return ::GetSystemMetrics(SM_CXSCREEN);
}

int TWin32SaverWindow::ScreenHeight() {
  return ::GetSystemMetrics(SM_CYSCREEN);
}

TBitmap24 TWin32SaverWindow::CaptureScreen() {
  return CaptureArea({0, 0, ScreenWidth(), ScreenHeight()});
}

TBitmap24 TWin32SaverWindow::CaptureArea(const TScreenArea& area) {
  TBitmap24 screen(std::max(area.Width, 0), std::max(area.Height, 0));
  if (screen.Empty()) {
    return screen;
  }
  HDC screenDc = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screenDc);
  BITMAPINFO info = DibHeaderOf(screen);
  void* bits = nullptr;
  HBITMAP dib = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib != nullptr) {
    HGDIOBJ old = ::SelectObject(memory, dib);
    ::BitBlt(memory, 0, 0, screen.Width(), screen.Height(), screenDc, area.Left, area.Top, SRCCOPY);
    ::GdiFlush();
    std::memcpy(screen.Row(0), bits, screen.Stride() * static_cast<std::size_t>(screen.Height()));
    ::SelectObject(memory, old);
    ::DeleteObject(dib);
  }
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screenDc);
  return screen;
}

int TWin32SaverWindow::ShowCursor(bool show) {
  return ::ShowCursor(show ? TRUE : FALSE);
}

void TWin32SaverWindow::SetErrorText(const std::string& text) {
  FErrorText = text;
  if (FWindow != nullptr) {
    ::InvalidateRect(FWindow, nullptr, FALSE);
  }
}

std::uint32_t TWin32SaverWindow::PlatformId() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  return ::GetVersionExA(&version) ? version.dwPlatformId : 0;
}

void TWin32SaverWindow::SetScreenSaverRunning(bool running) {
  BOOL previous = FALSE;
  ::SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, running ? 1 : 0, &previous, 0);
}

bool TWin32SaverWindow::ScreenSaverPasswordInUse() {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\desktop", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof value;
  // A value that is missing or is no integer asks for no password: it must
  // not keep the saver from ending.
  const bool inUse = ::RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, &type,
                                        reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                     type == REG_DWORD && value != 0;
  ::RegCloseKey(key);
  return inUse;
}

bool TWin32SaverWindow::VerifyScreenSaverPassword() {
  HMODULE library = ::LoadLibraryA((GetSystemDir() + "PASSWORD.CPL").c_str());
  if (library == nullptr) {
    return true;
  }
  using TVerify = BOOL(WINAPI*)(HWND);
  bool allowed = true;
  if (auto verify = reinterpret_cast<TVerify>(
          reinterpret_cast<void*>(::GetProcAddress(library, "VerifyScreenSavePwd")))) {
    allowed = (verify(FWindow) & 0xFF) != 0;
  }
  ::FreeLibrary(library);
  return allowed;
}

void TWin32SaverWindow::SetDisplay16Bit() {
  // A temporary switch that is not stored; a driver that refuses it
  // changes nothing.
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  mode.dmBitsPerPel = 16;
  mode.dmPelsWidth = static_cast<DWORD>(ScreenWidth());
  mode.dmPelsHeight = static_cast<DWORD>(ScreenHeight());
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  ::ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
}

}  // namespace tavelune::platform
