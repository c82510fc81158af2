#pragma once

#include <chrono>
#include <string>

#include "settings/KeyStore.h"

namespace tavelune {

// The key store of the Linux build: one REGEDIT4 text file (RegFile.h).
//
// Each change takes an exclusive advisory lock on "<file>.lock", loads the
// file afresh, applies itself and replaces the file atomically (temporary
// file in the same folder, flushed, renamed over it), so a crash never
// leaves half a file and values written by someone else meanwhile are kept.
//
// Reads write nothing and never wait for long: they take the shared lock
// only when the lock file exists, and wait for a writer's lock 1 s at most
// in all (handling the UI thread's messages meanwhile), then read the file
// as it is. A missing file reads as an empty store; a file that is not a
// regular file, larger than 16 MiB or unreadable reads as an empty store
// too, and ReadProblem says why.
class TRegFileKeyStore final : public IKeyStore {
 public:
  explicit TRegFileKeyStore(std::string fileName);

  // $TAVELUNE_SETTINGS, else $XDG_CONFIG_HOME/tavelune/settings.reg, else
  // ~/.config/tavelune/settings.reg.
  static std::string DefaultFileName();

  const std::string& FileName() const { return FFileName; }

  std::unique_ptr<IStoreKey> OpenKey(const std::string& path) override;
  std::unique_ptr<IStoreKey> CreateKey(const std::string& path) override;
  bool DeleteKey(const std::string& path) override;
  std::string ReadProblem() const override { return FReadProblem; }

 private:
  friend class TRegFileKey;
  std::string FFileName;
  std::string FReadProblem;  // the first read's failure
  // What is left of the readers' wait for a writer's lock. Waiting is
  // enough for a save to finish; the writer replaces the file atomically,
  // so a read without the lock still sees a whole file.
  std::chrono::steady_clock::duration FLockWaitLeft = std::chrono::seconds(1);
};

}  // namespace tavelune
