#pragma once

// The settings dialog's window classes: the form's own, and the containers'
// (pages, panels and group boxes: plain windows that pass their children's
// notifications on to the form and let the mouse through to it, so that
// their free spots drag the dialog as its caption does). A container's user
// data is the font of its frame's caption when it is a framed group,
// nullptr for a plain one. UI thread.

#include <windows.h>

namespace tavelune::platform {

inline constexpr wchar_t kControlFormClass[] = L"TControlForm";
inline constexpr wchar_t kContainerClass[] = L"TControlFormPanel";

// Registers both classes (and the common controls) once, the form's with
// `formProc`; false when they cannot be registered.
bool RegisterControlFormClasses(WNDPROC formProc);

// The page control's subclass procedure: it lets the mouse through where
// it has no tab.
LRESULT CALLBACK PagesProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                           DWORD_PTR data);

}  // namespace tavelune::platform
