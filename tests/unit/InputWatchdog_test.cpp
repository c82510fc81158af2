// The dead man's switch: input after which the UI thread does not answer
// within the limit ends the run; a UI thread that keeps answering is never
// ended, whatever the input.

#include "app/InputWatchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tavelune {
namespace {

using namespace std::chrono_literals;
using TClock = TInputWatchdog::TClock;

// The UI thread's event loop as far as the watchdog sees it: the questions
// posted to it, which the test answers or leaves.
struct TPostedQuestions {
  std::atomic<int> Asked{0};
  std::function<void()> Ask() {
    return [this] { ++Asked; };
  }
};

TEST(InputWatchdog, AQuestionLeftUnansweredForLongerThanTheLimitIsAStall) {
  TPostedQuestions ui;
  TInputWatchdog watchdog(ui.Ask(), [] {});
  watchdog.Start();
  const TClock::time_point asked = TClock::now();
  watchdog.InputArrived();
  EXPECT_EQ(ui.Asked, 1);
  EXPECT_FALSE(watchdog.Stalled(asked + TInputWatchdog::kDefaultLimit - 100ms));
  EXPECT_TRUE(watchdog.Stalled(TClock::now() + TInputWatchdog::kDefaultLimit + 100ms));
}

TEST(InputWatchdog, AnAnswerMeansTheInputWasHandledAndTheNextInputAsksAgain) {
  TPostedQuestions ui;
  TInputWatchdog watchdog(ui.Ask(), [] {});
  watchdog.Start();
  watchdog.InputArrived();
  watchdog.InputArrived();  // a burst of moves: one question covers them all
  EXPECT_EQ(ui.Asked, 1);
  watchdog.Answer();
  EXPECT_FALSE(watchdog.Stalled(TClock::now() + 5s));
  watchdog.InputArrived();
  EXPECT_EQ(ui.Asked, 2);
}

TEST(InputWatchdog, InputBeforeTheStartOrNoneAtAllCountsForNothing) {
  TPostedQuestions ui;
  TInputWatchdog watchdog(ui.Ask(), [] {});
  watchdog.InputArrived();
  EXPECT_EQ(ui.Asked, 0);
  watchdog.Start();
  EXPECT_FALSE(watchdog.Stalled(TClock::now() + 10s));
}

// The UI thread below answers as an event loop does, then blocks the way a
// read from a stalled share would, while the desktop reports a key.
TEST(InputWatchdog, EndsARunWhoseUiThreadIsBlockedAndSparesAHealthyOne) {
  std::atomic<int> stalls{0};
  std::atomic<bool> healthy{true};
  std::atomic<TInputWatchdog*> self{nullptr};
  // A healthy loop answers each question a little later, on its thread.
  std::vector<std::thread> answers;
  std::mutex answersLock;
  TInputWatchdog watchdog(
      [&] {
        if (healthy) {
          std::lock_guard lock(answersLock);
          answers.emplace_back([&] {
            std::this_thread::sleep_for(20ms);
            self.load()->Answer();
          });
        }
      },
      [&] { ++stalls; }, 300ms);
  self = &watchdog;
  watchdog.Start();

  // Healthy: input every 20 ms for a second.
  for (int i = 0; i < 50; ++i) {
    watchdog.InputArrived();
    std::this_thread::sleep_for(20ms);
  }
  {
    std::lock_guard lock(answersLock);
    for (std::thread& answer : answers) {
      answer.join();
    }
  }
  EXPECT_EQ(stalls, 0);

  // Blocked: a key, and no answer at all.
  healthy = false;
  watchdog.InputArrived();
  for (int i = 0; i < 300 && stalls == 0; ++i) {
    std::this_thread::sleep_for(10ms);  // the UI thread handles nothing
  }
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
