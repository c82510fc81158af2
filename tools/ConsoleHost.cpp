#include "ConsoleHost.h"

#include <algorithm>
#include <optional>
#include <thread>

#include <iostream>

#include "base/ProcessUtils.h"
#include "base/Synchronize.h"
#include "platform/LocalTime.h"

namespace tavelune::tool {

class TConsoleHost::TPolledTimer : public ITimer {
 public:
  TPolledTimer(TConsoleHost& host, int interval, std::function<void()> onTimer)
      : FHost(host), FInterval(interval), FOnTimer(std::move(onTimer)) {}
  ~TPolledTimer() override { std::erase(FHost.FTimers, this); }
  void SetEnabled(bool enabled) override {
    FEnabled = enabled;
    FDue = std::chrono::steady_clock::now() + FInterval;
  }
  bool Enabled() const override { return FEnabled; }
  void SetInterval(int milliseconds) override {
    FInterval = std::chrono::milliseconds(milliseconds);
    FDue = std::chrono::steady_clock::now() + FInterval;
  }
  // Enabled: when it is due next.
  std::optional<std::chrono::steady_clock::time_point> Due() const {
    return FEnabled ? std::optional(FDue) : std::nullopt;
  }
  void Poll() {
    if (FEnabled && std::chrono::steady_clock::now() >= FDue) {
      FDue = std::chrono::steady_clock::now() + FInterval;
      FOnTimer();
    }
  }

 private:
  TConsoleHost& FHost;
  std::chrono::milliseconds FInterval;
  std::function<void()> FOnTimer;
  bool FEnabled = false;
  std::chrono::steady_clock::time_point FDue;
};

void TConsoleHost::ProcessMessages() {
  RunSynchronizeRequests();
  RunTimers();
}

void TConsoleHost::RequestClose() {
  Window.Closing = true;
}

std::unique_ptr<ITimer> TConsoleHost::CreateTimer(int interval, std::function<void()> onTimer) {
  auto timer = std::make_unique<TPolledTimer>(*this, interval, std::move(onTimer));
  FTimers.push_back(timer.get());
  return timer;
}

void TConsoleHost::ScreenChanged() {
  if (OnScreenChanged) {
    OnScreenChanged();
  }
}

TBitmap24 TConsoleHost::CaptureScreen() {
  return {ScreenWidth(), ScreenHeight()};
}

void TConsoleHost::SetErrorText(const std::string& text) {
  std::cerr << text << "\n";
}

void TConsoleHost::RunTimers() {
  // A timer's handler may not create or free timers, so the list is stable.
  for (TPolledTimer* timer : FTimers) {
    timer->Poll();
  }
}

std::chrono::milliseconds TConsoleHost::UntilNextTimer() const {
  auto until = std::chrono::milliseconds(std::chrono::hours(1));
  const auto now = std::chrono::steady_clock::now();
  for (const TPolledTimer* timer : FTimers) {
    if (const auto due = timer->Due()) {
      until = std::min(until, std::chrono::ceil<std::chrono::milliseconds>(
                                  std::max(*due - now, std::chrono::steady_clock::duration{})));
    }
  }
  return until;
}

void TConsoleHost::RunUntil(const std::function<bool()>& done) {
  while (!done()) {
    RunSynchronizeRequests();
    RunTimers();
    if (done()) {
      return;
    }
    WaitForSynchronizeRequests(UntilNextTimer());
  }
}

}  // namespace tavelune::tool
