#include "frontends/win32/Win32DialogUtils.h"

#include <optional>
#include <stdexcept>

#include "imaging/Colors.h"
#include "ports/win32/Win32Text.h"

namespace tavelune::platform {

std::wstring Wide(std::string_view utf8) {
  return WideFromUtf8(std::string(utf8));
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

COLORREF ToColorRef(std::uint32_t color) {
  return (color & kSystemColorFlag) != 0 ? ColorToRgb(color) : color & 0xFFFFFF;
}

bool IsDescendant(HWND ancestor, HWND window) {
  return window == ancestor || ::IsChild(ancestor, window) != FALSE;
}

void CentreOver(HWND window, HWND owner) {
  RECT outer{};
  RECT own{};
  if (owner == nullptr || !::GetWindowRect(owner, &outer) || !::GetWindowRect(window, &own)) {
    return;
  }
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  ::SetWindowPos(window, nullptr, (outer.left + outer.right - width) / 2,
                 (outer.top + outer.bottom - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string NameOf(std::wstring_view wide) {
  if (std::optional<std::string> text = ExactSystemText(wide)) {
    return *text;
  }
  throw std::runtime_error("The name \"" + SystemText(wide) +
                           "\" has characters this system's code page cannot hold");
}

}  // namespace tavelune::platform
