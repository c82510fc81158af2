#pragma once

#include <string>

#include "settings/KeyStore.h"

namespace tavelune {

// The key store of the Linux build: one REGEDIT4 text file (RegFile.h).
//
// Reads take a shared advisory lock on "<file>.lock" while they load the
// file; each change takes the exclusive lock, loads the file afresh, applies
// itself and replaces the file atomically (temporary file in the same
// folder, flushed, renamed over it), so a crash never leaves half a file and
// values written by someone else meanwhile are kept. A missing or unreadable
// file reads as an empty store.
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

 private:
  friend class TRegFileKey;
  std::string FFileName;
};

}  // namespace tavelune
