#pragma once

#include <chrono>
#include <memory>
#include <optional>

namespace tavelune::platform {

// The desktop's own count of the time since the user last touched the
// keyboard or the mouse, wherever that input went (Windows:
// GetLastInputInfo; X: the screen-saver extension's idle time). It tells
// the input watchdog that input has happened even when the UI thread is too
// busy to see it.
class IInputIdleClock {
 public:
  virtual ~IInputIdleClock() = default;
  // The time since the last input; nullopt when the desktop cannot tell now.
  // Called on the watchdog's thread only; may take a round trip to the
  // display.
  virtual std::optional<std::chrono::milliseconds> SinceLastInput() = 0;
};

// The clock of this desktop, or nullptr when it has none (no display, or a
// display without the extension).
std::unique_ptr<IInputIdleClock> CreateInputIdleClock();

}  // namespace tavelune::platform
