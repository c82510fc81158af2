#pragma once

// Small pieces that the settings dialog's windows share. UI thread.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace tavelune::platform {

// The user interface's own texts (UTF-8 literals) as UTF-16.
std::wstring Wide(std::string_view utf8);
std::wstring WindowText(HWND window);
// A stored colour as GDI draws it: values with the system flag are the
// system's colours, others give their low 24 bits.
COLORREF ToColorRef(std::uint32_t color);
// `window` is `ancestor` or one of its descendants.
bool IsDescendant(HWND ancestor, HWND window);
// Moves `window` over the middle of `owner`; nothing without an owner.
void CentreOver(HWND window, HWND owner);
// A chosen name in the core's code page; throws std::runtime_error, a
// message for the user, when the code page cannot spell it.
std::string NameOf(std::wstring_view wide);

}  // namespace tavelune::platform
