#pragma once

// What Qt does not tell about foreign X windows: whether one exists and its
// size (Qt 6.4 reads 0 × 0 for a window it did not create), and the root
// window. The connection is Qt's own. UI thread.

#include <cstdint>
#include <optional>

namespace tavelune::platform {

struct TWindowSize {
  int Width;
  int Height;
};

// The window's size, or nullopt when it does not exist (or X cannot be asked).
std::optional<TWindowSize> ForeignWindowSize(std::uint64_t window);

// The root window of the default screen; 0 without X.
std::uint64_t RootWindow();

}  // namespace tavelune::platform
