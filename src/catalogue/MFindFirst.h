#pragma once

// Movie discovery: the worker thread that walks the registered folders and
// hands each entry to the UI thread, which keeps the movies among them.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavelune {

// Whether `fileName`'s extension (from its last "." after the last folder
// delimiter, case folded in ASCII) equals one of `extensions` (each taken
// as stored, without its period, case folded the same way).
bool IsMovieFile(const std::string& fileName, const std::vector<std::string>& extensions);

// What the playback controller sees of discovery.
class IMovieSearch {
 public:
  virtual ~IMovieSearch() = default;
  // UI thread: starts a new walk when the last has ended.
  virtual void Resume() = 0;
  // False while a walk is in progress; any thread.
  virtual bool SearchDone() const = 0;
};

// The discovery thread. Created suspended; Resume starts a walk over the
// folder list's first FFolderCount folders (top level only), appending every
// entry that IsMovieFile accepts to the movie list in found order. After a
// walk it sets SearchDone and sleeps until the next Resume, which starts a
// complete new walk. The lists are the owner's (the saver window's): the
// thread reads the folder list, which the owner leaves unchanged while the
// object lives; the extension and movie lists are touched only on the UI
// thread, through Synchronize. The owner outlives the object.
// Destruction terminates, wakes and joins the thread.
class TMFindFirst : public IMovieSearch {
 public:
  TMFindFirst(const std::vector<std::string>& folderList,
              const std::vector<std::string>& extensionList, std::vector<std::string>& movieList);
  ~TMFindFirst() override;
  TMFindFirst(const TMFindFirst&) = delete;
  TMFindFirst& operator=(const TMFindFirst&) = delete;

  // UI thread. Starts the first walk, or a new one when the last has ended
  // (a Resume that comes after SearchDone but before the thread has gone to
  // sleep is kept); a Resume during a walk has no effect.
  void Resume() override;
  // Any thread. Cuts a walk short at the next entry or folder and ends the thread.
  void Terminate();
  // False while a walk is in progress; read without a lock.
  bool SearchDone() const override { return FSearchDone; }

 private:
  void Execute();
  void Walk();
  bool WaitForResume();

  // The owner's (see above).
  const std::vector<std::string>& FFolderList;
  const std::vector<std::string>& FExtensionList;
  std::vector<std::string>& FMovieList;
  const std::int32_t FFolderCount;

  std::atomic<bool> FSearchDone{false};
  std::atomic<bool> FTerminated{false};
  std::mutex FMutex;
  std::condition_variable FWake;
  bool FResumeRequested = false;  // guarded by FMutex
  bool FSleeping = true;          // guarded by FMutex: created suspended
  std::thread FThread;
};

}  // namespace tavelune
