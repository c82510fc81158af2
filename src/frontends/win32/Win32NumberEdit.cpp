#include "frontends/win32/Win32NumberEdit.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "base/TextUtils.h"
#include "frontends/win32/Win32DialogUtils.h"
#include "ports/win32/Win32Text.h"
#include "ui/ControlForm.h"

namespace tavelune::platform {

LRESULT CALLBACK TWin32NumberEdit::Proc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR /*id*/, DWORD_PTR data) {
  auto* self = reinterpret_cast<TWin32NumberEdit*>(data);
  switch (message) {
    case WM_CHAR:
      // Control characters (Backspace, Ctrl+V...) pass; other characters
      // only when they can be part of a number.
      if (wParam >= 0x20 && (wParam > 0x7F || !IsNumberCharacter(static_cast<char>(wParam)))) {
        ::MessageBeep(MB_OK);
        return 0;
      }
      break;
    case WM_PASTE: {
      const LRESULT result = ::DefSubclassProc(edit, message, wParam, lParam);
      std::wstring text = WindowText(edit);
      const auto refused = [](wchar_t c) {
        return c > 0x7F || !IsNumberCharacter(static_cast<char>(c));
      };
      if (std::any_of(text.begin(), text.end(), refused)) {
        text.erase(std::remove_if(text.begin(), text.end(), refused), text.end());
        ::SetWindowTextW(edit, text.c_str());
      }
      return result;
    }
    case WM_SETFOCUS:
      ::SetWindowTextW(edit, WideText(NumberEditText(self->Value)).c_str());
      break;
    case WM_KILLFOCUS: {
      self->Value = self->Typed(edit);
      const LRESULT result = ::DefSubclassProc(edit, message, wParam, lParam);
      self->Show(edit);
      return result;
    }
    default:
      break;
  }
  return ::DefSubclassProc(edit, message, wParam, lParam);
}

double TWin32NumberEdit::Typed(HWND edit) const {
  return NumberOr(SystemText(WindowText(edit)), 0);
}

double TWin32NumberEdit::Current(HWND edit) const {
  return ::GetFocus() == edit ? Typed(edit) : Value;
}

void TWin32NumberEdit::Set(HWND edit, double value) {
  if (::GetFocus() == edit) {
    return;  // the user's typing stays as it is until the edit is left
  }
  Value = value;
  Show(edit);
}

void TWin32NumberEdit::Show(HWND edit) const {
  ::SetWindowTextW(edit, WideText(FormatDisplayNumber(Value, Format)).c_str());
}

}  // namespace tavelune::platform
