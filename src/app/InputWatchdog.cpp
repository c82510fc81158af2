#include "app/InputWatchdog.h"

#include <algorithm>
#include <utility>

namespace tavelune {

namespace {

constexpr auto kLookEvery = std::chrono::milliseconds(100);

// The steady clock's ticks of the last NoteInput; 0 for none.
std::atomic<std::int64_t> gNotedInput{0};
static_assert(std::atomic<std::int64_t>::is_always_lock_free, "NoteInput runs in signal handlers");

}  // namespace

TInputWatchdog::TInputWatchdog(std::unique_ptr<platform::IInputIdleClock> idle,
                               std::function<void()> onStall, std::chrono::milliseconds limit)
    : FIdle(std::move(idle)), FOnStall(std::move(onStall)), FLimit(limit) {}

TInputWatchdog::~TInputWatchdog() {
  {
    std::lock_guard lock(FMutex);
    FQuit = true;
  }
  FWake.notify_all();
  if (FThread.joinable()) {
    FThread.join();
  }
}

void TInputWatchdog::Start() {
  const std::int64_t now = Ticks(TClock::now());
  FLastBeat = now;
  FStart = now;
  std::lock_guard lock(FMutex);
  if (!FThread.joinable() && FOnStall) {
    FThread = std::thread([this] { Watch(); });
  }
}

void TInputWatchdog::Beat() {
  FLastBeat.store(Ticks(TClock::now()), std::memory_order_relaxed);
}

void TInputWatchdog::NoteInput() {
  gNotedInput.store(Ticks(TClock::now()), std::memory_order_relaxed);
}

bool TInputWatchdog::Stalled(TClock::time_point now,
                             std::optional<std::chrono::milliseconds> sinceLastInput) const {
  const std::int64_t start = FStart.load();
  if (start == 0) {
    return false;
  }
  std::int64_t lastInput = gNotedInput.load();
  if (sinceLastInput) {
    lastInput = std::max(lastInput, Ticks(now - *sinceLastInput));
  }
  if (lastInput <= start || FLastBeat.load() >= lastInput) {
    return false;  // no input since the start, or the UI thread has been there since
  }
  return now - TClock::time_point(TClock::duration(lastInput)) > FLimit;
}

void TInputWatchdog::Watch() {
  std::unique_lock lock(FMutex);
  TClock::duration wait = kLookEvery;
  while (!FWake.wait_for(lock, wait, [this] { return FQuit; })) {
    // A UI thread that has beaten within the limit cannot have left input
    // waiting longer than that: the watchdog sleeps until the limit has
    // passed since the last beat, and asks the desktop only then, so a
    // healthy run costs a wake-up every half second and no round trips.
    const TClock::duration sinceBeat =
        TClock::now() - TClock::time_point(TClock::duration(FLastBeat.load()));
    if (sinceBeat <= FLimit) {
      wait =
          std::max<TClock::duration>(FLimit - sinceBeat + std::chrono::milliseconds(1), kLookEvery);
      continue;
    }
    wait = kLookEvery;
    lock.unlock();
    // The clock is read after the display has answered, so that input is
    // never placed earlier than it happened: a beat that came before the
    // input cannot be taken for its handling.
    const std::optional<std::chrono::milliseconds> since =
        FIdle ? FIdle->SinceLastInput() : std::nullopt;
    if (Stalled(TClock::now(), since)) {
      FOnStall();
      return;
    }
    lock.lock();
  }
}

void WriteEndOfStalledRun(IHistoryLog& history, std::chrono::milliseconds bound) {
  struct TDone {
    std::mutex Mutex;
    std::condition_variable Written;
    bool Done = false;
  };
  auto done = std::make_shared<TDone>();
  std::thread([&history, done] {
    try {
      history.WriteLine("Close");
      history.SetActive(false);
    } catch (...) {
      // What cannot be written is left out: the process ends regardless.
    }
    std::lock_guard lock(done->Mutex);
    done->Done = true;
    done->Written.notify_all();
  }).detach();
  std::unique_lock lock(done->Mutex);
  done->Written.wait_for(lock, bound, [&] { return done->Done; });
}

}  // namespace tavelune
