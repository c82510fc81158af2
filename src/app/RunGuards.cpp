#include "app/RunGuards.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "app/Saver.h"
#include "platform/ProcessEnd.h"

namespace tavelune {

namespace {

constexpr auto kEndingLimit = std::chrono::seconds(5);
constexpr auto kStalledHistoryBound = std::chrono::milliseconds(500);

// The watchdog's thread: the UI thread has left input unhandled too long.
[[noreturn]] void EndStalledRun(IHistoryLog& history) {
  std::fprintf(stderr,
               "tavelune: input was not handled for %lld ms (the program is stuck); ending the "
               "run\n",
               static_cast<long long>(TInputWatchdog::kDefaultLimit.count()));
  WriteEndOfStalledRun(history, kStalledHistoryBound);
  platform::EndProcessNow();
}

}  // namespace

void RunGuarded(TSaver& saver, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    saver.ShowExceptionMessage(error.what());
  } catch (...) {
    saver.ShowExceptionMessage("An unknown error occurred.");
  }
}

void StartExitWatchdog() {
  static std::once_flag started;
  std::call_once(started, [] {
    std::thread([] {
      std::this_thread::sleep_for(kEndingLimit);
      std::fputs("tavelune: the run did not end within 5 s of its close; ending now\n", stderr);
      platform::EndProcessNow();
    }).detach();
  });
}

std::unique_ptr<TInputWatchdog> StartInputWatchdog(std::function<void()> ask,
                                                   IHistoryLog& history) {
  auto watchdog =
      std::make_unique<TInputWatchdog>(std::move(ask), [&history] { EndStalledRun(history); });
  watchdog->Start();
  return watchdog;
}

}  // namespace tavelune
