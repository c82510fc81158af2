#include "frontends/win32/Win32ControlForm.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>

#include "app/Program.h"
#include "app/ProgramIcon.h"
#include "base/ProcessUtils.h"
#include "base/TextUtils.h"
#include "frontends/win32/Win32DialogContainers.h"
#include "frontends/win32/Win32DialogUtils.h"
#include "frontends/win32/Win32FolderChooser.h"
#include "frontends/win32/Win32InputBox.h"
#include "frontends/win32/Win32NumberEdit.h"
#include "imaging/Colors.h"
#include "ports/win32/Win32Gdi.h"
#include "ports/win32/Win32Text.h"

namespace tavelune::platform {

namespace {

constexpr UINT_PTR kSubclassId = 1;

// The glyph of LogFileButton, 16 x 16: a yellow folder on the button's face.
HBITMAP DrawFolderGlyph() {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, 16, -16, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP glyph = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = ::CreateCompatibleDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, glyph);
  RECT all{0, 0, 16, 16};
  ::FillRect(dc, &all, ::GetSysColorBrush(COLOR_BTNFACE));
  HPEN pen = ::CreatePen(PS_SOLID, 1, RGB(128, 96, 0));
  HBRUSH brush = ::CreateSolidBrush(RGB(255, 208, 64));
  HGDIOBJ oldPen = ::SelectObject(dc, pen);
  HGDIOBJ oldBrush = ::SelectObject(dc, brush);
  ::Rectangle(dc, 1, 3, 8, 6);    // the tab
  ::Rectangle(dc, 1, 5, 15, 14);  // the body
  ::SelectObject(dc, oldBrush);
  ::SelectObject(dc, oldPen);
  ::DeleteObject(brush);
  ::DeleteObject(pen);
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
  return glyph;
}

}  // namespace

// ---- The form ----------------------------------------------------------------

TWin32ControlForm::TWin32ControlForm(TControlFormServices services, TControlFormDesign design)
    : FDesign(std::move(design)),
      FForm(std::make_unique<TControlForm>(static_cast<IControlFormHost&>(*this),
                                           std::move(services))) {}

TWin32ControlForm::~TWin32ControlForm() {
  if (FWindow != nullptr) {
    FClosed = true;  // no handler runs for a window the program itself takes down
    ::DestroyWindow(FWindow);
  }
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(FFont), static_cast<HGDIOBJ>(FLinkFont),
                         static_cast<HGDIOBJ>(FGlyph)}) {
    if (object != nullptr) {
      ::DeleteObject(object);
    }
  }
}

bool TWin32ControlForm::Start() {
  if (!RegisterControlFormClasses(&FormProc)) {
    return false;
  }
  MeasureFont();
  constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
  const auto s = [this](int value) { return static_cast<int>(std::lround(value * FScale)); };
  RECT frame{0, 0, s(kControlFormClientWidth), s(kControlFormClientHeight)};
  ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  ::CreateWindowExW(kExStyle, kControlFormClass, Wide(kControlFormCaption).c_str(), kStyle,
                    work.left + std::max(0L, (work.right - work.left - width) / 2),
                    work.top + std::max(0L, (work.bottom - work.top - height) / 2), width, height,
                    nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (FWindow == nullptr) {
    return false;
  }
  Build();
  Render();  // the designed state, before anything is collected from the controls
  ::ShowWindow(FWindow, SW_SHOW);
  ::UpdateWindow(FWindow);
  ::SetFocus(FPages);
  Run([this] { FForm->FormCreate(); });
  return true;
}

void TWin32ControlForm::MeasureFont() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  const double dpiScale = std::max(1.0, dpi / 96.0);
  FFontHeight = static_cast<int>(std::lround(kControlFormFontHeight * dpiScale));
  FFont = CreateJapaneseFont(FFontHeight, false, false);
  FLinkFont = CreateJapaneseFont(FFontHeight, false, true);
  // A face that stands in for the designed one (as under Wine) may set
  // Japanese wider, or its lines taller, than the 12-pixel face the bounds
  // were designed for: the bounds grow by as much, so that no caption is cut.
  HGDIOBJ old = ::SelectObject(screen, FFont);
  SIZE ideograph{};
  ::GetTextExtentPoint32W(screen, L"\u8868", 1, &ideograph);  // 表, one em wide in the design
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(screen, &metrics);
  ::SelectObject(screen, old);
  ::ReleaseDC(nullptr, screen);
  const double growth = std::max({1.0, ideograph.cx / static_cast<double>(FFontHeight),
                                  metrics.tmHeight / (FFontHeight * 1.25)});
  FScale = dpiScale * growth;
}

RECT TWin32ControlForm::Bounds(const TControlLayout& control) const {
  const auto s = [this](int value) { return static_cast<int>(std::lround(value * FScale)); };
  return {s(control.Left), s(control.Top), s(control.Left + control.Width),
          s(control.Top + control.Height)};
}

void TWin32ControlForm::Build() {
  FToolTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FWindow, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(FToolTip, TTM_SETMAXTIPWIDTH, 0, 600);
  for (const TControlLayout& control : FDesign.Layout) {
    HWND parent = control.Parent.empty() ? FWindow : Control(control.Parent);
    const int controlId = control.Name == "BtnOK"       ? IDOK
                          : control.Name == "BtnCancel" ? IDCANCEL
                                                        : FNextId++;
    HWND window = MakeControl(control, parent, controlId);
    FControls.emplace(std::string(control.Name), window);
    FNames.emplace(controlId, std::string(control.Name));
    if (!control.Hint.empty()) {
      AddHint(window, control.Hint);
      for (HWND radio : Radios(control.Name)) {
        AddHint(radio, control.Hint);
      }
    }
  }
  ShowPage(static_cast<int>(TControlPage::VersionPage));
}

namespace {

// The window class and styles of a control, before its own adjustments.
struct TWindowKind {
  const wchar_t* ClassName = L"STATIC";
  DWORD Style = WS_CHILD | WS_VISIBLE;
  DWORD ExStyle = 0;
};

TWindowKind WindowKindFor(TControlKind controlKind, int id) {
  TWindowKind kind;
  switch (controlKind) {
    case TControlKind::PageControl:
      kind.ClassName = WC_TABCONTROLW;
      kind.Style |= WS_TABSTOP | WS_GROUP | WS_CLIPSIBLINGS | TCS_HOTTRACK;
      kind.ExStyle = WS_EX_CONTROLPARENT;
      break;
    case TControlKind::Page:
      kind.ClassName = kContainerClass;
      kind.Style = WS_CHILD | WS_CLIPSIBLINGS;  // shown by ShowPage
      kind.ExStyle = WS_EX_CONTROLPARENT;
      break;
    case TControlKind::Panel:
    case TControlKind::GroupBox:
    case TControlKind::RadioGroup:
      kind.ClassName = kContainerClass;
      kind.ExStyle = WS_EX_CONTROLPARENT;
      break;
    case TControlKind::Button:
      kind.ClassName = L"BUTTON";
      kind.Style |= WS_TABSTOP | WS_GROUP | (id == IDOK ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      break;
    case TControlKind::GlyphButton:
      kind.ClassName = L"BUTTON";
      kind.Style |= WS_TABSTOP | WS_GROUP | BS_BITMAP;
      break;
    case TControlKind::CheckBox:
      kind.ClassName = L"BUTTON";
      kind.Style |= WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX;
      break;
    case TControlKind::Label:
      kind.Style |= SS_LEFT | SS_NOPREFIX;
      break;
    case TControlKind::LinkLabel:
      kind.Style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
      break;
    case TControlKind::Edit:
    case TControlKind::NumberEdit:
      kind.ClassName = L"EDIT";
      kind.Style |= WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL;
      kind.ExStyle = WS_EX_CLIENTEDGE;
      break;
    case TControlKind::ListBox:
    case TControlKind::SingleListBox:
      kind.ClassName = L"LISTBOX";
      kind.Style |= WS_TABSTOP | WS_GROUP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                    (controlKind == TControlKind::ListBox ? LBS_EXTENDEDSEL : 0);
      kind.ExStyle = WS_EX_CLIENTEDGE;
      break;
    case TControlKind::DropDownList:
      kind.ClassName = L"COMBOBOX";
      kind.Style |= WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST;
      break;
    case TControlKind::ColorPanel:
    case TControlKind::Picture:
      kind.Style |= SS_OWNERDRAW | (controlKind == TControlKind::ColorPanel ? SS_NOTIFY : 0);
      break;
  }
  return kind;
}

}  // namespace

HWND TWin32ControlForm::MakeControl(const TControlLayout& control, HWND parent, int id) {
  RECT bounds = Bounds(control);
  std::wstring caption = Wide(control.Caption);
  const TWindowKind kind = WindowKindFor(control.Kind, id);
  if (control.Kind == TControlKind::Page) {
    // A tab of the page control, the page filling the tab's display area.
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = caption.data();
    const int index = static_cast<int>(FPageWindows.size());
    ::SendMessageW(parent, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&tab));
    ::GetClientRect(parent, &bounds);
    TabCtrl_AdjustRect(parent, FALSE, &bounds);
  } else {
    if (control.Kind == TControlKind::DropDownList) {
      bounds.bottom += static_cast<int>(std::lround(160 * FScale));  // the list that drops down
    }
    if (control.Width == 0) {
      SizeToText(parent, caption, bounds);
    }
  }
  HWND window = ::CreateWindowExW(
      kind.ExStyle, kind.ClassName, caption.c_str(), kind.Style, bounds.left, bounds.top,
      bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(
      window, WM_SETFONT,
      reinterpret_cast<WPARAM>(control.Kind == TControlKind::LinkLabel ? FLinkFont : FFont), FALSE);
  AttachControl(control, window, bounds);
  return window;
}

// Sized to its text, later to the text it is given.
void TWin32ControlForm::SizeToText(HWND parent, const std::wstring& caption, RECT& bounds) {
  HDC dc = ::GetDC(parent);
  HGDIOBJ old = ::SelectObject(dc, FFont);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(parent, dc);
  bounds.right = bounds.left + size.cx;
  bounds.bottom = bounds.top + size.cy;
}

// What a control of some kinds needs beyond its window: its place in the
// form's tables, its glyph, its frame, its buttons.
void TWin32ControlForm::AttachControl(const TControlLayout& control, HWND window,
                                      const RECT& bounds) {
  switch (control.Kind) {
    case TControlKind::Page:
      FPageWindows.push_back(window);
      break;
    case TControlKind::PageControl:
      ::SetWindowSubclass(window, &PagesProc, kSubclassId, 0);
      FPages = window;
      break;
    case TControlKind::GroupBox:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(FFont));  // framed
      break;
    case TControlKind::GlyphButton:
      FGlyph = DrawFolderGlyph();
      ::SendMessageW(window, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(FGlyph));
      break;
    case TControlKind::NumberEdit: {
      const TNumberEditState& state = control.Name == "PreViewSeconds" ? FForm->PreViewSeconds
                                      : control.Name == "PreViewMin"   ? FForm->PreViewMin
                                                                       : FForm->PreviewMax;
      auto edit = std::make_unique<TWin32NumberEdit>();
      edit->Format = state.DisplayFormat;
      ::SetWindowSubclass(window, &TWin32NumberEdit::Proc, kSubclassId,
                          reinterpret_cast<DWORD_PTR>(edit.get()));
      FNumberEdits.emplace(window, std::move(edit));
      break;
    }
    case TControlKind::RadioGroup:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(FFont));  // framed
      MakeRadioButtons(control, window, bounds);
      break;
    default:
      break;
  }
}

// One radio button a line of the group's items, spread over its height.
void TWin32ControlForm::MakeRadioButtons(const TControlLayout& control, HWND group,
                                         const RECT& bounds) {
  std::vector<HWND>& radios = FRadios[std::string(control.Name)];
  std::string_view items = control.Items;
  const int count = static_cast<int>(std::count(items.begin(), items.end(), '\n')) + 1;
  const auto s = [this](int value) { return static_cast<int>(std::lround(value * FScale)); };
  const int step = (bounds.bottom - bounds.top - s(20)) / count;
  for (int i = 0; i < count; ++i) {
    const std::size_t end = std::min(items.find('\n'), items.size());
    HWND radio = ::CreateWindowExW(
        0, L"BUTTON", Wide(items.substr(0, end)).c_str(),
        WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0), s(8),
        s(16) + i * step, bounds.right - bounds.left - s(12), s(17), group,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(FNextId++)), ::GetModuleHandleW(nullptr),
        nullptr);
    ::SendMessageW(radio, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    radios.push_back(radio);
    items.remove_prefix(std::min(end + 1, items.size()));
  }
}

void TWin32ControlForm::AddHint(HWND control, std::string_view hint) {
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  // The mouse's messages reach the tooltip from PreTranslateMessage, not by
  // subclassing: a subclassed window costs every message sent to it a
  // property lookup, which Wine makes a round trip to its server.
  tool.uFlags = TTF_IDISHWND;
  tool.hwnd = FWindow;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  std::wstring text = Wide(hint);
  tool.lpszText = text.data();
  ::SendMessageW(FToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

HWND TWin32ControlForm::Control(std::string_view name) const {
  const auto found = FControls.find(name);
  return found != FControls.end() ? found->second : nullptr;
}

const std::vector<HWND>& TWin32ControlForm::Radios(std::string_view group) const {
  static const std::vector<HWND> kNone;
  const auto found = FRadios.find(group);
  return found != FRadios.end() ? found->second : kNone;
}

void TWin32ControlForm::ShowPage(int index) {
  if (index < 0 || index >= static_cast<int>(FPageWindows.size())) {
    return;
  }
  if (TabCtrl_GetCurSel(FPages) != index) {
    TabCtrl_SetCurSel(FPages, index);
  }
  HWND focus = ::GetFocus();
  for (int i = 0; i < static_cast<int>(FPageWindows.size()); ++i) {
    HWND page = FPageWindows[static_cast<std::size_t>(i)];
    if (i != index && IsDescendant(page, focus)) {
      ::SetFocus(FPages);  // a hidden control keeps no focus
    }
    ::ShowWindow(page, i == index ? SW_SHOW : SW_HIDE);
  }
}

// ---- Messages ----------------------------------------------------------------

bool TWin32ControlForm::PreTranslateMessage(MSG& message) {
  if (FWindow == nullptr || !IsDescendant(FWindow, message.hwnd)) {
    return false;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB &&
      (::GetKeyState(VK_CONTROL) & 0x8000) != 0) {
    // Ctrl+Tab and Ctrl+Shift+Tab step through the pages.
    const int count = static_cast<int>(FPageWindows.size());
    const int step = (::GetKeyState(VK_SHIFT) & 0x8000) != 0 ? count - 1 : 1;
    const int next = (TabCtrl_GetCurSel(FPages) + step) % count;
    Run([this, next] { FForm->ActivePage = static_cast<TControlPage>(next); });
    ::SetFocus(FPages);
    return true;
  }
  if (message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST) {
    ::SendMessageW(FToolTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&message));
  }
  if ((message.message == WM_KEYDOWN || message.message == WM_KEYUP) &&
      message.hwnd == Control("FolderList")) {
    // The folder list's keys, down and up, are the form's too, once the
    // list has moved its current entry.
    if (!::IsDialogMessageW(FWindow, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    Run([this] { FForm->FolderListKeyDown(); });
    return true;
  }
  return ::IsDialogMessageW(FWindow, &message) != FALSE;
}

LRESULT CALLBACK TWin32ControlForm::FormProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  auto* self = WindowOwner<TWin32ControlForm>(window, message, lParam);
  if (self == nullptr) {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  if (message == WM_NCCREATE) {
    self->FWindow = window;
  }
  return self->HandleMessage(window, message, wParam, lParam);
}

LRESULT TWin32ControlForm::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->hwndFrom == FPages && header->code == TCN_SELCHANGE) {
        const int page = TabCtrl_GetCurSel(FPages);
        Run([this, page] { FForm->ActivePage = static_cast<TControlPage>(page); });
      }
      return 0;
    }
    case WM_DRAWITEM:
      return DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_CTLCOLORSTATIC: {
      const auto control = reinterpret_cast<HWND>(lParam);
      if (control == Control("HomePageLink") || control == Control("SupportBoardLink")) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, RGB(0, 0, 255));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    }
    case WM_SETCURSOR: {
      const auto control = reinterpret_cast<HWND>(wParam);
      if (control == Control("HomePageLink") || control == Control("SupportBoardLink")) {
        ::SetCursor(::LoadCursorA(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
    case WM_NCHITTEST:
      // The whole of the dialog's own surface, caption bar and borders
      // included, acts as its caption: any free spot drags it.
      return HTCAPTION;
    case WM_DROPFILES:
      DropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE:
      if (!FClosed) {
        FClosed = true;
        FForm->HandleEvent([this] { FForm->FormClose(); });
      }
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      // The dialog is the main window: its close ends the program, once any
      // walk that is running has seen the stop flag and unwound.
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      FWindow = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void TWin32ControlForm::Command(int id, int code) {
  const auto found = FNames.find(id);
  if (found == FNames.end()) {
    return;
  }
  const std::string& name = found->second;
  const bool selection = code == LBN_SELCHANGE || code == LBN_DBLCLK;
  if (!selection && code != BN_CLICKED) {  // BN_CLICKED is also STN_CLICKED
    return;
  }
  if (name == "BtnOK" && !::IsWindowEnabled(Control("BtnOK"))) {
    return;  // Enter reaches here from any control; the save runs only when it could be pressed
  }
  const std::vector<TEventBinding>& events =
      selection ? FDesign.Bindings.Selections : FDesign.Bindings.Clicks;
  const auto bound = std::find_if(events.begin(), events.end(),
                                  [&](const TEventBinding& event) { return event.Name == name; });
  if (bound != events.end()) {
    Run([this, handler = bound->Handler] { (FForm.get()->*handler)(); });
  }
}

void TWin32ControlForm::DropFiles(HDROP drop) {
  std::vector<std::string> names;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    // A name beyond the platform's path limit, or one the code page cannot
    // spell, would be registered as some other folder: it is left out.
    if (length == 0 || length >= MAX_PATH) {
      continue;
    }
    std::wstring name(length + 1, L'\0');
    name.resize(::DragQueryFileW(drop, i, name.data(), length + 1));
    if (std::optional<std::string> text = ExactSystemText(name)) {
      names.push_back(std::move(*text));
    }
  }
  ::DragFinish(drop);
  Run([this, &names] { FForm->WMDropFiles(names); });
}

LRESULT TWin32ControlForm::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT box = item.rcItem;
  if (item.hwndItem == Control("PanelColor")) {
    HBRUSH brush = ::CreateSolidBrush(ToColorRef(FForm->PanelColor));
    ::FillRect(dc, &box, brush);
    ::DeleteObject(brush);
    ::DrawEdge(dc, &box, BDR_RAISEDINNER, BF_RECT);
    HGDIOBJ old = ::SelectObject(dc, FFont);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ToColorRef(FForm->PanelColorFont));
    const std::wstring caption = WindowText(item.hwndItem);
    ::DrawTextW(dc, caption.c_str(), -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SelectObject(dc, old);
    return TRUE;
  }
  if (item.hwndItem == Control("IconPicture")) {
    const TBitmap24 icon = DrawProgramIcon(ColorToRgb(0x8000000F));
    const BITMAPINFO header = DibHeaderOf(icon);
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchDIBits(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, 0, 0,
                    icon.Width(), icon.Height(), icon.Row(0), &header, DIB_RGB_COLORS, SRCCOPY);
    return TRUE;
  }
  return FALSE;
}

void TWin32ControlForm::Run(const std::function<void()>& handler) {
  if (FClosed) {
    return;
  }
  Collect();
  FForm->HandleEvent(handler);
  if (!FClosed) {
    Render();
  }
}

// ---- State between the controls and the form ------------------------------------

namespace {

bool Checked(HWND button) {
  return ::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void RenderCheck(HWND button, const TCheckState& state) {
  ::SendMessageW(button, BM_SETCHECK, state.Checked ? BST_CHECKED : BST_UNCHECKED, 0);
  ::EnableWindow(button, state.Enabled);
}

std::int32_t CheckedRadio(const std::vector<HWND>& radios) {
  const auto found = std::find_if(radios.begin(), radios.end(), Checked);
  return found != radios.end() ? static_cast<std::int32_t>(found - radios.begin()) : -1;
}

void CheckRadio(const std::vector<HWND>& radios, std::int32_t index) {
  for (std::size_t i = 0; i < radios.size(); ++i) {
    ::SendMessageW(radios[i], BM_SETCHECK,
                   static_cast<std::int32_t>(i) == index ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

bool MultipleSelection(HWND list) {
  return (::GetWindowLongW(list, GWL_STYLE) & LBS_EXTENDEDSEL) != 0;
}

void CollectList(HWND list, TListBoxState& state) {
  const auto count = static_cast<std::size_t>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
  std::fill(state.Selected.begin(), state.Selected.end(), false);
  if (count == 0) {
    state.ItemIndex = -1;
    return;
  }
  if (!MultipleSelection(list)) {
    state.ItemIndex = static_cast<std::int32_t>(::SendMessageW(list, LB_GETCURSEL, 0, 0));
    if (state.ItemIndex >= 0 && static_cast<std::size_t>(state.ItemIndex) < state.Selected.size()) {
      state.Selected[static_cast<std::size_t>(state.ItemIndex)] = true;
    }
    return;
  }
  // The current entry of a list with several selectable is the one with
  // the focus rectangle, selected or not.
  state.ItemIndex = static_cast<std::int32_t>(::SendMessageW(list, LB_GETCARETINDEX, 0, 0));
  const auto selected = ::SendMessageW(list, LB_GETSELCOUNT, 0, 0);
  if (selected <= 0) {
    return;
  }
  std::vector<int> indices(static_cast<std::size_t>(selected));
  const auto got = ::SendMessageW(list, LB_GETSELITEMS, indices.size(),
                                  reinterpret_cast<LPARAM>(indices.data()));
  for (LRESULT i = 0; i < got; ++i) {
    const auto index = static_cast<std::size_t>(indices[static_cast<std::size_t>(i)]);
    if (index < state.Selected.size()) {
      state.Selected[index] = true;
    }
  }
}

std::string TextOf(HWND edit) {
  return SystemText(WindowText(edit));
}

void SetText(HWND edit, const std::string& text) {
  const std::wstring wide = WideText(text);
  if (WindowText(edit) != wide) {
    ::SetWindowTextW(edit, wide.c_str());
  }
}

}  // namespace

void TWin32ControlForm::Collect() {
  TControlForm& f = *FForm;
  const TControlBindings& bound = FDesign.Bindings;
  f.ActivePage = static_cast<TControlPage>(std::max(0, TabCtrl_GetCurSel(FPages)));
  for (const auto& check : bound.CheckBoxes) {
    check.State(f).Checked = Checked(Control(check.Name));
  }
  for (const auto& group : bound.RadioGroups) {
    group.State(f) = CheckedRadio(Radios(group.Name));
  }
  for (const auto& edit : bound.Edits) {
    edit.State(f) = TextOf(Control(edit.Name));
  }
  for (const auto& number : bound.NumberEdits) {
    HWND edit = Control(number.Name);
    number.State(f).Value = FNumberEdits.at(edit)->Current(edit);
  }
  for (const auto& list : bound.ListBoxes) {
    CollectList(Control(list.Name), list.State(f));
  }
}

void TWin32ControlForm::RenderList(std::string_view name, const TListBoxState& state) {
  HWND list = Control(name);
  std::uint64_t& generation = FListGenerations.try_emplace(std::string(name), ~0ull).first->second;
  auto count = static_cast<std::size_t>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
  const bool reset = generation != state.Generation || count > state.Items.size();
  if (reset || count < state.Items.size()) {
    // A shown list box redoes its scroll bar and paints at every change
    // (milliseconds each under Wine); with redrawing off the changes cost
    // microseconds and the box paints once.
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    if (reset) {
      ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
      generation = state.Generation;
      count = 0;
    }
    for (std::size_t i = count; i < state.Items.size(); ++i) {
      ::SendMessageW(list, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(WideText(state.Items[i]).c_str()));
    }
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
  }
  if (MultipleSelection(list)) {
    if (state.ItemIndex >= 0 &&
        ::SendMessageW(list, LB_GETCARETINDEX, 0, 0) != static_cast<LRESULT>(state.ItemIndex)) {
      ::SendMessageW(list, LB_SETCARETINDEX, static_cast<WPARAM>(state.ItemIndex), FALSE);
    }
  } else if (::SendMessageW(list, LB_GETCURSEL, 0, 0) != static_cast<LRESULT>(state.ItemIndex)) {
    ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(state.ItemIndex), 0);
  }
}

void TWin32ControlForm::SetLabel(std::string_view name, const std::string& text) {
  HWND label = Control(name);
  const std::wstring wide = WideText(text);
  if (WindowText(label) == wide) {
    return;
  }
  ::SetWindowTextW(label, wide.c_str());
  HDC dc = ::GetDC(label);
  HGDIOBJ old =
      ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE size{};
  ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
  ::SetWindowPos(label, nullptr, 0, 0, size.cx, std::max<LONG>(size.cy, FFontHeight),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32ControlForm::Render() {
  TControlForm& f = *FForm;
  const TControlBindings& bound = FDesign.Bindings;
  ShowPage(static_cast<int>(f.ActivePage));
  for (const auto& button : bound.ButtonsEnabled) {
    ::EnableWindow(Control(button.Name), button.State(f));
  }
  for (const auto& check : bound.CheckBoxes) {
    RenderCheck(Control(check.Name), check.State(f));
  }
  for (const auto& group : bound.RadioGroups) {
    CheckRadio(Radios(group.Name), group.State(f));
  }
  for (const auto& edit : bound.Edits) {
    SetText(Control(edit.Name), edit.State(f));
  }
  for (const auto& number : bound.NumberEdits) {
    HWND edit = Control(number.Name);
    FNumberEdits.at(edit)->Set(edit, number.State(f).Value);
    ::EnableWindow(edit, number.State(f).Enabled);
  }
  for (const auto& list : bound.ListBoxes) {
    RenderList(list.Name, list.State(f));
    RenderHint(Control(list.Name), list.State(f).Hint);
  }
  for (const auto& label : bound.Labels) {
    SetLabel(label.Name, label.State(f));
  }
  for (const auto& link : bound.LinkLabels) {
    SetLabel(link.Name, link.State(f));
  }

  HWND combo = Control("ComboSS");
  if (::SendMessageW(combo, CB_GETCOUNT, 0, 0) != static_cast<LRESULT>(f.ComboSS.Items.size())) {
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : f.ComboSS.Items) {
      ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText(item).c_str()));
    }
  }
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(f.ComboSS.ItemIndex), 0);
  ::EnableWindow(combo, f.ComboSS.Enabled);
  ::InvalidateRect(Control("PanelColor"), nullptr, FALSE);
}

void TWin32ControlForm::RenderHint(HWND control, const std::string& hint) {
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = FWindow;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  std::wstring text = WideText(hint);
  tool.lpszText = text.data();
  ::SendMessageW(FToolTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

// ---- What the form asks ----------------------------------------------------------

void TWin32ControlForm::AcceptDroppedFiles() {
  ::DragAcceptFiles(FWindow, TRUE);
}

void TWin32ControlForm::CloseSaverWindow() {
  HWND saver = ::FindWindowW(L"TSaver", Wide(kApplicationTitle).c_str());
  if (saver == nullptr) {
    return;
  }
  // The saver handles the request (its ending writes its history) before
  // the call returns; a hung one is given up after 10 s.
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(saver, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 10000, &result);
  for (int waited = 0; ::IsWindow(saver) && waited < 5000; waited += 20) {
    ::Sleep(20);
  }
}

std::optional<std::string> TWin32ControlForm::RunFolderDialog() {
  // It opens at the current folder of the list, so that folders beside it
  // are added in a step.
  std::wstring start;
  const TListBoxState& folders = FForm->FolderList;
  if (folders.ItemIndex >= 0 &&
      static_cast<std::size_t>(folders.ItemIndex) < folders.Items.size()) {
    start = WideText(folders.Items[static_cast<std::size_t>(folders.ItemIndex)]);
  }
  const std::optional<std::wstring> chosen =
      ChooseFolder(FWindow, Wide(kFolderDialogTitle), Wide(kFolderDialogText), start);
  if (!chosen) {
    return std::nullopt;
  }
  return NameOf(*chosen);
}

std::optional<std::uint32_t> TWin32ControlForm::RunColorDialog(std::uint32_t color) {
  static COLORREF custom[16] = {};  // the chooser's own colours, kept while the program runs
  CHOOSECOLORW chooser{};
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = FWindow;
  chooser.rgbResult = ToColorRef(color);
  chooser.lpCustColors = custom;
  chooser.Flags = CC_RGBINIT | CC_ANYCOLOR;
  if (!::ChooseColorW(&chooser)) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(chooser.rgbResult);
}

std::optional<std::string> TWin32ControlForm::RunSaveDialog(const std::string& title) {
  std::wstring file(MAX_PATH, L'\0');
  const std::wstring current = WideText(FForm->EditLogFile);
  if (current.size() < MAX_PATH) {
    std::copy(current.begin(), current.end(), file.begin());
  }
  const std::wstring caption = WideFromUtf8(title);
  OPENFILENAMEW chooser{};
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = FWindow;
  chooser.lpstrFile = file.data();
  chooser.nMaxFile = MAX_PATH;
  chooser.lpstrTitle = caption.c_str();
  chooser.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (!::GetSaveFileNameW(&chooser)) {
    return std::nullopt;
  }
  file.resize(std::wcslen(file.c_str()));
  return NameOf(file);
}

std::string TWin32ControlForm::InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& defaultText) {
  const std::optional<std::wstring> answer = TInputBox::Run(
      FWindow, FFont, FScale, WideFromUtf8(caption), WideFromUtf8(prompt), WideText(defaultText));
  return answer ? SystemText(*answer) : defaultText;
}

void TWin32ControlForm::ShowErrorReport(const std::string& message) {
  ::MessageBoxW(FWindow, WideText(ErrorReportText(message)).c_str(),
                Wide(kApplicationTitle).c_str(), MB_OK | MB_ICONSTOP);
}

void TWin32ControlForm::OpenAddress(const std::string& address) {
  ShellOpen(address, "");
}

void TWin32ControlForm::Close() {
  ::SendMessageW(FWindow, WM_CLOSE, 0, 0);
}

void TWin32ControlForm::YieldToMessages() {
  // A walk yields after every folder, tens of thousands of times; the
  // messages are handled every 10 ms and the new entries shown every
  // 100 ms, which keeps the dialog answering while the walk takes a
  // fraction of the time that a pass over the queue per folder would.
  const auto now = std::chrono::steady_clock::now();
  if (FClosed || now - FLastYield < std::chrono::milliseconds(10)) {
    return;
  }
  FLastYield = now;
  if (now - FLastListRender >= std::chrono::milliseconds(100)) {
    FLastListRender = now;
    RenderList("FolderList", FForm->FolderList);
    ::EnableWindow(Control("BtnOK"), FForm->BtnOKEnabled);
  }
  ::Sleep(0);
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that owns it
      return;
    }
    if (!PreTranslateMessage(message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  FLastYield = std::chrono::steady_clock::now();  // the messages' own time is not the walk's
}

}  // namespace tavelune::platform
