#pragma once

// What Qt does not tell about foreign X windows: whether one exists and its
// size (Qt 6.4 reads 0 × 0 for a window it did not create), and the root
// window. The connection is Qt's own. UI thread.

#include <cstdint>
#include <optional>
#include <string>

namespace tavelune::platform {

struct TWindowSize {
  int Width;
  int Height;
};

// The window's size, or nullopt when it does not exist (or X cannot be asked).
std::optional<TWindowSize> ForeignWindowSize(std::uint64_t window);

// The root window of the default screen; 0 without X.
std::uint64_t RootWindow();

// Names the window's class (WM_CLASS: instance and class name), as other
// programs look windows up by it.
void SetWindowClass(std::uint64_t window, const char* instanceName, const char* className);

// Asks every top-level window of class `className` with caption `caption`
// (UTF-8) to close as its close box would (WM_DELETE_WINDOW), and waits up
// to `timeoutMs` until they are gone. Returns how many were asked. Windows
// a window manager has framed are found inside their frames.
int CloseTopLevelWindows(const char* className, const std::string& caption, int timeoutMs);

}  // namespace tavelune::platform
