// A window of a process other than the saver's, for the end-to-end tests of
// the preview (which lives inside such a window), and a look at windows from
// outside. Wine draws no child window of another process, so the tests judge
// the preview by the state of its window rather than by the screen.
//
//   host W H                 a top-level window with a W x H client area;
//                            prints its handle (decimal) and runs until it is
//                            killed, also after its window has been closed
//   children HWND            one line per direct child window of HWND:
//                            window=H class=C parent=P style=0xS visible=0|1
//                            width=W height=H (client size; handles decimal)
//   close HWND               asks the window to close (it is destroyed) and
//                            waits for it; exit code 0 when it is gone
//   is-window HWND           exit code 0 when HWND is a window
//   send HWND MSG WP LP      sends the message and waits until it has been
//                            handled; exit code 0 when it was
//   windows                  one line per visible top-level window:
//                            window=H pid=P text=T
//   tree HWND                one line per window below HWND, depth first:
//                            window=H class=C id=N visible=0|1 enabled=0|1
//                            checked=0|1 x=X y=Y width=W height=H (screen
//                            pixels) text=T [items=A|B|...] for a list or
//                            combo box
//   monitors                 one line per monitor the system reports:
//                            monitor left=L top=T width=W height=H primary=0|1
// Texts are printed in UTF-8, last on their line.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr wchar_t kHostClass[] = L"TaveluneTestHost";

HWND HandleArgument(const char* text) {
  return reinterpret_cast<HWND>(static_cast<INT_PTR>(std::strtoll(text, nullptr, 0)));
}

std::string ClassName(HWND window) {
  char name[256] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

int Host(int width, int height) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &::DefWindowProcW;  // a close destroys it, nothing more
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
  windowClass.lpszClassName = kHostClass;
  if (::RegisterClassExW(&windowClass) == 0) {
    return 1;
  }
  // A preview pane's own kind of window: it clips its children.
  const DWORD style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN;
  RECT frame{0, 0, width, height};
  ::AdjustWindowRect(&frame, style, FALSE);
  HWND window = ::CreateWindowExW(0, kHostClass, L"tavelune preview host", style, 20, 20,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) {
    return 1;
  }
  std::printf("%lld\n", static_cast<long long>(reinterpret_cast<INT_PTR>(window)));
  std::fflush(stdout);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM parentValue) {
  const HWND parent = reinterpret_cast<HWND>(parentValue);
  // The enumeration goes down to grandchildren: only direct children count.
  if (::GetAncestor(child, GA_PARENT) != parent) {
    return TRUE;
  }
  RECT client{};
  ::GetClientRect(child, &client);
  std::printf("window=%lld class=%s parent=%lld style=0x%08lX visible=%d width=%ld height=%ld\n",
              static_cast<long long>(reinterpret_cast<INT_PTR>(child)), ClassName(child).c_str(),
              static_cast<long long>(reinterpret_cast<INT_PTR>(::GetAncestor(child, GA_PARENT))),
              static_cast<unsigned long>(::GetWindowLongW(child, GWL_STYLE)),
              ::IsWindowVisible(child) ? 1 : 0, client.right - client.left,
              client.bottom - client.top);
  return TRUE;
}

std::string Utf8(const std::wstring& wide) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
  return text;
}

// A window's text as it answers WM_GETTEXT (an edit's contents, too).
std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return Utf8(text);
}

// The entries of a list box, or of a combo box's list.
std::string ListItems(HWND list, bool combo) {
  std::string items;
  const auto count = ::SendMessageW(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const auto length = ::SendMessageW(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
    std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
    item.resize(static_cast<std::size_t>(::SendMessageW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                                                        reinterpret_cast<LPARAM>(item.data()))));
    items += (i > 0 ? "|" : "") + Utf8(item);
  }
  return items;
}

BOOL CALLBACK PrintDescendant(HWND window, LPARAM /*unused*/) {
  RECT bounds{};
  ::GetWindowRect(window, &bounds);
  const std::string kind = ClassName(window);
  std::printf(
      "window=%lld class=%s id=%d visible=%d enabled=%d checked=%d x=%ld y=%ld "
      "width=%ld height=%ld text=%s",
      static_cast<long long>(reinterpret_cast<INT_PTR>(window)), kind.c_str(),
      ::GetDlgCtrlID(window), ::IsWindowVisible(window) ? 1 : 0, ::IsWindowEnabled(window) ? 1 : 0,
      ::SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED && kind == "Button" ? 1 : 0,
      bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
      TextOf(window).c_str());
  if (kind == "ListBox" || kind == "ComboBox") {
    std::printf(" items=%s", ListItems(window, kind == "ComboBox").c_str());
  }
  std::printf("\n");
  return TRUE;
}

BOOL CALLBACK PrintTopLevel(HWND window, LPARAM /*unused*/) {
  if (::IsWindowVisible(window)) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    std::printf("window=%lld pid=%lu text=%s\n",
                static_cast<long long>(reinterpret_cast<INT_PTR>(window)),
                static_cast<unsigned long>(process), TextOf(window).c_str());
  }
  return TRUE;
}

BOOL CALLBACK PrintMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ::GetMonitorInfoW(monitor, &info);
  const RECT& r = info.rcMonitor;
  std::printf("monitor left=%ld top=%ld width=%ld height=%ld primary=%d\n", r.left, r.top,
              r.right - r.left, r.bottom - r.top, (info.dwFlags & MONITORINFOF_PRIMARY) ? 1 : 0);
  return TRUE;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tavelune_test_window host W H | children HWND | close HWND | "
               "is-window HWND | send HWND MSG WPARAM LPARAM | windows | tree HWND | "
               "monitors\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return Usage();
  }
  const std::string command = argv[1];
  if (command == "host" && argc == 4) {
    return Host(std::atoi(argv[2]), std::atoi(argv[3]));
  }
  if (command == "children" && argc == 3) {
    const HWND parent = HandleArgument(argv[2]);
    if (!::IsWindow(parent)) {
      return 1;
    }
    ::EnumChildWindows(parent, &PrintChild, reinterpret_cast<LPARAM>(parent));
    std::fflush(stdout);
    return 0;
  }
  if (command == "monitors" && argc == 2) {
    ::EnumDisplayMonitors(nullptr, nullptr, &PrintMonitor, 0);
    std::fflush(stdout);
    return 0;
  }
  if (command == "windows" && argc == 2) {
    ::EnumWindows(&PrintTopLevel, 0);
    std::fflush(stdout);
    return 0;
  }
  if (command == "tree" && argc == 3) {
    const HWND parent = HandleArgument(argv[2]);
    if (!::IsWindow(parent)) {
      return 1;
    }
    ::EnumChildWindows(parent, &PrintDescendant, 0);
    std::fflush(stdout);
    return 0;
  }
  if (command == "close" && argc == 3) {
    const HWND window = HandleArgument(argv[2]);
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    return ::IsWindow(window) ? 1 : 0;
  }
  if (command == "is-window" && argc == 3) {
    return ::IsWindow(HandleArgument(argv[2])) ? 0 : 1;
  }
  if (command == "send" && argc == 6) {
    DWORD_PTR result = 0;
    const LRESULT sent = ::SendMessageTimeoutW(
        HandleArgument(argv[2]), static_cast<UINT>(std::strtoul(argv[3], nullptr, 0)),
        static_cast<WPARAM>(std::strtoull(argv[4], nullptr, 0)),
        static_cast<LPARAM>(std::strtoll(argv[5], nullptr, 0)), SMTO_ABORTIFHUNG, 5000, &result);
    return sent != 0 ? 0 : 1;
  }
  return Usage();
}
