#pragma once

// The dead man's switch of a full-screen run: whatever the UI thread is
// stuck in (a read from a stalled network share, a library that hangs), the
// user's input ends the run within about a second.
//
// The desktop tells of input as it happens (platform/InputWatch.h, on its
// own thread), and the watchdog then asks the UI thread a question: `ask`
// posts a call of Answer to its event loop, which every message pass
// handles, nested and modal ones included. A question still unanswered
// after the limit means that the UI thread cannot be handling input either:
// `onStall` runs once, on the watchdog's thread, to end the process. While
// no input comes nothing runs at all: no beat, no look at a clock.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "catalogue/LogFile.h"

namespace tavelune {

class TInputWatchdog {
 public:
  using TClock = std::chrono::steady_clock;
  // A question unanswered this long ends the run: with the history's last
  // lines, the process is gone well within a second of the input. A
  // healthy UI thread answers at its event loop's next pass; one that
  // takes longer is stuck in a step (an open or a read that hangs), which
  // is what the watchdog is for.
  static constexpr std::chrono::milliseconds kDefaultLimit{600};

  // `ask` posts Answer to the UI thread's event loop (any thread calls it);
  // `onStall` must end the process or return quickly.
  TInputWatchdog(std::function<void()> ask, std::function<void()> onStall,
                 std::chrono::milliseconds limit = kDefaultLimit);
  // Stops and joins the watchdog's thread.
  ~TInputWatchdog();
  TInputWatchdog(const TInputWatchdog&) = delete;
  TInputWatchdog& operator=(const TInputWatchdog&) = delete;

  // Starts watching; input before this does not count.
  void Start();
  // The user has touched the keyboard or the mouse: asks the UI thread,
  // unless a question is out already. Any thread.
  void InputArrived();
  // The UI thread's answer. UI thread, lock-free.
  void Answer();

  // Whether a question has been out for longer than the limit at `now`.
  // The watchdog's thread asks this when a question's limit has passed;
  // tests ask it with times of their own.
  bool Stalled(TClock::time_point now) const;

 private:
  static std::int64_t Ticks(TClock::time_point time) { return time.time_since_epoch().count(); }
  void Watch();

  std::function<void()> FAsk;
  std::function<void()> FOnStall;
  const TClock::duration FLimit;
  std::atomic<bool> FStarted{false};
  std::atomic<std::int64_t> FAskedAt{0};  // ticks of the open question; 0: none

  std::mutex FMutex;
  std::condition_variable FWake;
  bool FQuit = false;
  std::thread FThread;
};

// What a stalled run can still do before its process ends: writes "Close"
// and the history's end line, giving up after `bound` (the stalled UI
// thread may hold the history's file, or its share may be the one that
// stalled). The history object is the UI thread's; it is touched here only
// because that thread is known to be stuck elsewhere.
void WriteEndOfStalledRun(IHistoryLog& history, std::chrono::milliseconds bound);

}  // namespace tavelune
