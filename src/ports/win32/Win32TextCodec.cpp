#include <windows.h>

#include "platform/TextCodec.h"
#include "ports/win32/Win32Text.h"

namespace tavelune::platform {

namespace {

std::string FromWide(const wchar_t* wide, int length, UINT codePage) {
  if (length == 0) {
    return {};
  }
  int size = ::WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(codePage, 0, wide, length, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  if (cp932.empty()) {
    return {};
  }
  int length = static_cast<int>(cp932.size());
  int size = ::MultiByteToWideChar(932, 0, cp932.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(932, 0, cp932.data(), length, wide.data(), size);
  return FromWide(wide.data(), size, CP_UTF8);
}

std::string Utf16ToSystem(std::u16string_view utf16) {
  return FromWide(reinterpret_cast<const wchar_t*>(utf16.data()), static_cast<int>(utf16.size()),
                  CP_ACP);
}

namespace {

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) {
    return {};
  }
  const int length =
      ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  return wide;
}

}  // namespace

std::wstring WideText(const std::string& text) {
  return Widen(text, CP_ACP);
}

std::wstring WideFromUtf8(const std::string& text) {
  return Widen(text, CP_UTF8);
}

std::string SystemText(std::wstring_view wide) {
  return FromWide(wide.data(), static_cast<int>(wide.size()), CP_ACP);
}

std::wstring WideFileName(const std::string& name) {
  // Folders are limited to MAX_PATH - 12 characters (room for an 8.3 name).
  constexpr std::size_t kShortEnough = MAX_PATH - 12;
  std::wstring wide = WideText(name);
  if (wide.size() < kShortEnough || wide.rfind(L"\\\\?\\", 0) == 0 ||
      wide.rfind(L"\\\\.\\", 0) == 0) {
    return wide;
  }
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) {
    return wide;
  }
  std::wstring full(size, L'\0');
  full.resize(::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr));
  if (full.rfind(L"\\\\", 0) == 0) {
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return L"\\\\?\\" + full;
}

std::optional<std::string> ExactSystemText(std::wstring_view wide) {
  // UTF-8 holds everything, and refuses the question besides.
  if (::GetACP() == CP_UTF8) {
    return SystemText(wide);
  }
  BOOL lossy = FALSE;
  const int length = static_cast<int>(wide.size());
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr,
                                         0, nullptr, &lossy);
  if (lossy) {
    return std::nullopt;
  }
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, out.data(), size,
                        nullptr, nullptr);
  return out;
}

}  // namespace tavelune::platform
