#include "catalogue/MFindFirst.h"

#include <chrono>

#include "base/FileNames.h"
#include "base/Synchronize.h"
#include "base/TextUtils.h"
#include "platform/DirectoryList.h"

namespace tavelune {

bool IsMovieFile(const std::string& fileName, const std::vector<std::string>& extensions) {
  const std::string extension = AsciiUpper(ExtractFileExt(fileName));
  for (const std::string& entry : extensions) {
    if (extension == "." + AsciiUpper(entry)) {
      return true;
    }
  }
  return false;
}

namespace {
// Entries travel to the UI thread in batches: one hand-over per entry would
// cost far more than the walk itself. A batch is handed over when it is
// full or has waited this long, so movies still appear promptly from slow
// folders.
constexpr std::size_t kBatchEntries = 256;
constexpr auto kBatchAge = std::chrono::milliseconds(20);
}  // namespace

TMFindFirst::TMFindFirst(const std::vector<std::string>& folderList,
                         const std::vector<std::string>& extensionList,
                         std::vector<std::string>& movieList)
    : FFolderList(folderList),
      FExtensionList(extensionList),
      FMovieList(movieList),
      FFolderCount(static_cast<std::int32_t>(folderList.size())),
      FThread([this] { Execute(); }) {}

TMFindFirst::~TMFindFirst() {
  Terminate();
  FThread.join();
}

void TMFindFirst::Resume() {
  std::lock_guard lock(FMutex);
  if (FSleeping) {
    FResumeRequested = true;
    FWake.notify_all();
  }
}

void TMFindFirst::Terminate() {
  FTerminated = true;
  {
    std::lock_guard lock(FMutex);
    FWake.notify_all();
  }
  WakeSynchronizeWaiters();
}

bool TMFindFirst::WaitForResume() {
  std::unique_lock lock(FMutex);
  FWake.wait(lock, [this] { return FResumeRequested || FTerminated; });
  FResumeRequested = false;
  FSleeping = false;
  return !FTerminated;
}

void TMFindFirst::Execute() {
  while (WaitForResume()) {
    Walk();
  }
  // Ended, also before its first walk: whoever waits for a walk to end
  // (the play loop waits for a movie without watching the close) must not
  // wait for ever.
  FSearchDone = true;
}

void TMFindFirst::Walk() {
  std::vector<std::string> batch;
  auto batchStarted = std::chrono::steady_clock::now();
  // Hands the batch to the UI thread, which keeps the movies among it.
  auto handOver = [&] {
    bool delivered = Synchronize(
        [&] {
          for (const std::string& fileName : batch) {
            if (FTerminated) {
              break;
            }
            if (IsMovieFile(fileName, FExtensionList)) {
              FMovieList.push_back(fileName);
            }
          }
        },
        FTerminated);
    batch.clear();
    batchStarted = std::chrono::steady_clock::now();
    return delivered;
  };
  for (std::int32_t index = 0; index < FFolderCount && !FTerminated; ++index) {
    FSearchDone = false;
    // Read here, not handed over: a folder that does not exist costs one
    // failed look-up, not a wait for the UI thread's next pass.
    const std::string folderName = IncludeTrailingDelimiter(FFolderList[index]);
    platform::ListDirectory(folderName, [&](const std::string& entry) {
      batch.push_back(folderName + entry);
      if (batch.size() >= kBatchEntries ||
          std::chrono::steady_clock::now() - batchStarted >= kBatchAge) {
        handOver();
      }
      return !FTerminated.load();
    });
    if (!batch.empty()) {
      handOver();
    }
  }
  // Sleeping counts from here, so a Resume that sees SearchDone is kept.
  {
    std::lock_guard lock(FMutex);
    FSleeping = true;
  }
  FSearchDone = true;
}

}  // namespace tavelune
