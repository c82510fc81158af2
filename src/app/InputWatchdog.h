#pragma once

// The dead man's switch of a full-screen run: whatever the UI thread is
// stuck in (a read from a stalled network share, a library that hangs), the
// user's input ends the run within about a second.
//
// The UI thread beats whenever it handles its messages. Once it has not
// beaten for the limit, a thread of the watchdog's own looks every 100 ms at
// the desktop's clock of the last input (platform::IInputIdleClock) and at
// input that arrived some other way (NoteInput, for example a signal asking
// the program to end): when input came after the start and the UI thread
// has not beaten since, for longer than the limit, the UI thread cannot be
// handling it, and `onStall` runs once, on the watchdog's thread, to end the
// process. While the UI thread keeps handling its messages it never fires,
// whatever the input.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "catalogue/LogFile.h"
#include "platform/InputIdle.h"

namespace tavelune {

class TInputWatchdog {
 public:
  using TClock = std::chrono::steady_clock;
  // Input left unhandled this long ends the run: with the watchdog's look
  // every 100 ms and the history's last lines, the process is gone well
  // within a second of the input. A healthy UI thread never goes this long
  // without a message pass (its longest plain sleep is 300 ms).
  static constexpr std::chrono::milliseconds kDefaultLimit{600};

  // `idle` may be null (the desktop cannot tell): then only NoteInput
  // counts. `onStall` must end the process or return quickly.
  TInputWatchdog(std::unique_ptr<platform::IInputIdleClock> idle, std::function<void()> onStall,
                 std::chrono::milliseconds limit = kDefaultLimit);
  // Stops and joins the watchdog's thread.
  ~TInputWatchdog();
  TInputWatchdog(const TInputWatchdog&) = delete;
  TInputWatchdog& operator=(const TInputWatchdog&) = delete;

  // Starts watching; input before this does not count. Any thread.
  void Start();
  // The UI thread is handling its messages now. Any thread, lock-free.
  void Beat();
  // Input that the desktop's clock does not see, such as a signal asking
  // the program to end: it counts for every watchdog of the process.
  // Async-signal-safe.
  static void NoteInput();

  // One look: true when input has waited longer than the limit for a
  // beat, at `now`, with the desktop's time since the last input (nullopt
  // when it cannot tell). The watchdog's thread asks this every 100 ms
  // while the UI thread is silent; tests ask it with times of their own.
  bool Stalled(TClock::time_point now,
               std::optional<std::chrono::milliseconds> sinceLastInput) const;

 private:
  static std::int64_t Ticks(TClock::time_point time) { return time.time_since_epoch().count(); }
  void Watch();

  std::unique_ptr<platform::IInputIdleClock> FIdle;
  std::function<void()> FOnStall;
  const TClock::duration FLimit;
  std::atomic<std::int64_t> FStart{0};     // ticks; 0 until started
  std::atomic<std::int64_t> FLastBeat{0};  // ticks

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
