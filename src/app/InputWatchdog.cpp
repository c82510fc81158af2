#include "app/InputWatchdog.h"

#include <memory>
#include <utility>

namespace tavelune {

TInputWatchdog::TInputWatchdog(std::function<void()> ask, std::function<void()> onStall,
                               std::chrono::milliseconds limit)
    : FAsk(std::move(ask)), FOnStall(std::move(onStall)), FLimit(limit) {}

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
  std::lock_guard lock(FMutex);
  FStarted = true;
  if (!FThread.joinable() && FOnStall) {
    FThread = std::thread([this] { Watch(); });
  }
}

void TInputWatchdog::InputArrived() {
  if (!FStarted) {
    return;
  }
  std::int64_t none = 0;
  if (!FAskedAt.compare_exchange_strong(none, Ticks(TClock::now()))) {
    return;  // the question out already covers this input
  }
  FAsk();
  {
    std::lock_guard lock(FMutex);  // a watchdog about to wait sees the question
  }
  FWake.notify_all();
}

void TInputWatchdog::Answer() {
  FAskedAt.store(0);
}

bool TInputWatchdog::Stalled(TClock::time_point now) const {
  const std::int64_t asked = FAskedAt.load();
  return asked != 0 && now - TClock::time_point(TClock::duration(asked)) > FLimit;
}

void TInputWatchdog::Watch() {
  std::unique_lock lock(FMutex);
  while (!FQuit) {
    const std::int64_t asked = FAskedAt.load();
    if (asked == 0) {
      FWake.wait(lock);
      continue;
    }
    // One wake-up at the question's limit, unless it is answered (and a
    // new one asked) or the watchdog goes first.
    const TClock::time_point due = TClock::time_point(TClock::duration(asked)) + FLimit;
    if (FWake.wait_until(lock, due, [&] { return FQuit || FAskedAt.load() != asked; })) {
      continue;
    }
    if (Stalled(TClock::now())) {
      lock.unlock();
      FOnStall();
      return;
    }
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
