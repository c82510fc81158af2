#pragma once

#include <map>
#include <string>

#include "settings/KeyStore.h"

namespace tavelune {

// A key store in memory, for tests: the same semantics as the registry and
// the settings file, and a switch that makes every write refused.
class TMemoryKeyStore final : public IKeyStore {
 public:
  std::unique_ptr<IStoreKey> OpenKey(const std::string& path) override;
  std::unique_ptr<IStoreKey> CreateKey(const std::string& path) override;
  bool DeleteKey(const std::string& path) override;

  // While set, every write throws ERegistryError, as a full or locked store would.
  bool RefuseWrites = false;

 private:
  friend class TMemoryKey;
  struct TKey {
    std::map<std::string, std::pair<std::string, TStoreValue>> Values;  // by folded name
  };
  std::map<std::string, TKey> FKeys;  // by folded path
};

}  // namespace tavelune
