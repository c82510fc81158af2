// The dead man's switch: input that the UI thread does not handle within the
// limit ends the run; a UI thread that keeps handling its messages is never
// ended, whatever the input.

#include "app/InputWatchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tavelune {
namespace {

using namespace std::chrono_literals;
using TClock = TInputWatchdog::TClock;

// The desktop's clock, set by the test: the last input happened at `Input`.
class TScriptedIdleClock : public platform::IInputIdleClock {
 public:
  std::optional<std::chrono::milliseconds> SinceLastInput() override {
    ++Questions;
    const TClock::time_point input = Input.load();
    if (input == TClock::time_point{}) {
      return std::nullopt;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - input);
  }
  std::atomic<TClock::time_point> Input{TClock::time_point{}};
  std::atomic<int> Questions{0};
};

std::chrono::milliseconds Since(TClock::time_point then, TClock::time_point now) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(now - then);
}

TEST(InputWatchdog, InputNotHandledForLongerThanTheLimitIsAStall) {
  TInputWatchdog watchdog(nullptr, [] {});
  watchdog.Start();
  const TClock::time_point input = TClock::now() + 10ms;
  const TClock::time_point before = input + TInputWatchdog::kDefaultLimit - 100ms;
  const TClock::time_point after = input + TInputWatchdog::kDefaultLimit + 100ms;
  EXPECT_FALSE(watchdog.Stalled(before, Since(input, before)));
  EXPECT_TRUE(watchdog.Stalled(after, Since(input, after)));
}

TEST(InputWatchdog, ABeatAfterTheInputMeansItWasHandled) {
  TInputWatchdog watchdog(nullptr, [] {});
  watchdog.Start();
  std::this_thread::sleep_for(20ms);
  const TClock::time_point input = TClock::now() - 10ms;
  watchdog.Beat();
  const TClock::time_point later = TClock::now() + 5s;
  EXPECT_FALSE(watchdog.Stalled(later, Since(input, later)));
}

TEST(InputWatchdog, InputBeforeTheStartOrNoneAtAllCountsForNothing) {
  TInputWatchdog watchdog(nullptr, [] {});
  const TClock::time_point before = TClock::now();
  std::this_thread::sleep_for(5ms);
  watchdog.Start();
  const TClock::time_point later = TClock::now() + 10s;
  EXPECT_FALSE(watchdog.Stalled(later, Since(before, later)));
  EXPECT_FALSE(watchdog.Stalled(later, std::nullopt));
  TInputWatchdog unstarted(nullptr, [] {});
  EXPECT_FALSE(unstarted.Stalled(later, 1ms));
}

TEST(InputWatchdog, ANotedSignalCountsAsInput) {
  TInputWatchdog watchdog(nullptr, [] {});
  watchdog.Start();
  std::this_thread::sleep_for(5ms);
  TInputWatchdog::NoteInput();
  EXPECT_FALSE(watchdog.Stalled(TClock::now() + 500ms, std::nullopt));
  EXPECT_TRUE(watchdog.Stalled(TClock::now() + 1500ms, std::nullopt));
  watchdog.Beat();
  EXPECT_FALSE(watchdog.Stalled(TClock::now() + 1500ms, std::nullopt));
}

// The UI thread below beats as an event loop does, then blocks the way a
// read from a stalled share would, while the desktop reports a key.
TEST(InputWatchdog, EndsARunWhoseUiThreadIsBlockedAndSparesAHealthyOne) {
  auto clock = std::make_unique<TScriptedIdleClock>();
  TScriptedIdleClock& desktop = *clock;
  std::atomic<int> stalls{0};
  std::atomic<bool> blocked{false};
  TInputWatchdog watchdog(
      std::move(clock), [&] { ++stalls; }, 300ms);
  watchdog.Start();

  // Healthy: input every 50 ms, beats every 20 ms, for a second.
  std::thread healthy([&] {
    for (int i = 0; i < 50; ++i) {
      if (i % 3 == 0) {
        desktop.Input = TClock::now();
      }
      std::this_thread::sleep_for(20ms);
      watchdog.Beat();
    }
  });
  healthy.join();
  EXPECT_EQ(stalls, 0);
  EXPECT_EQ(desktop.Questions, 0);  // beats within the limit: the desktop is not even asked

  // Blocked: a key, then no beat at all.
  std::thread stuck([&] {
    desktop.Input = TClock::now();
    blocked = true;
    for (int i = 0; i < 300 && stalls == 0; ++i) {
      std::this_thread::sleep_for(10ms);  // the UI thread handles nothing
    }
  });
  stuck.join();
  EXPECT_TRUE(blocked);
  EXPECT_EQ(stalls, 1);  // once, and the watchdog's thread has ended
}

TEST(InputWatchdog, TheEndOfAStalledRunWritesCloseAndTheEndRecord) {
  class TLines : public IHistoryLog {
   public:
    bool Active() const override { return FActive; }
    void SetActive(bool active) override {
      Lines.push_back(active ? "start" : "end");
      FActive = active;
    }
    void SetLogFileName(std::string) override {}
    bool WriteLine(const std::string& text, bool) override {
      Lines.push_back(text);
      return true;
    }
    void TrimHistory(std::size_t, const std::atomic<bool>&) override {}
    std::vector<std::string> Lines;
    bool FActive = true;
  } history;
  WriteEndOfStalledRun(history, 2s);
  EXPECT_EQ(history.Lines, (std::vector<std::string>{"Close", "end"}));
}

}  // namespace
}  // namespace tavelune
