#include <windows.h>

#include "platform/InputIdle.h"

namespace tavelune::platform {

namespace {

// The session's last input, which the system keeps for every desktop of
// the session whatever window it went to.
class TWin32InputIdleClock final : public IInputIdleClock {
 public:
  std::optional<std::chrono::milliseconds> SinceLastInput() override {
    LASTINPUTINFO info{};
    info.cbSize = sizeof info;
    if (!::GetLastInputInfo(&info)) {
      return std::nullopt;
    }
    // Both are tick counts in milliseconds; the unsigned difference stays
    // right across the count's wrap every 49.7 days.
    return std::chrono::milliseconds(::GetTickCount() - info.dwTime);
  }
};

}  // namespace

std::unique_ptr<IInputIdleClock> CreateInputIdleClock() {
  return std::make_unique<TWin32InputIdleClock>();
}

}  // namespace tavelune::platform
