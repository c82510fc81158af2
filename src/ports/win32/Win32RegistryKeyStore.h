#pragma once

#include "settings/KeyStore.h"

namespace tavelune {

// The key store of the Windows build: the registry under HKEY_CURRENT_USER.
class TRegistryKeyStore final : public IKeyStore {
 public:
  std::unique_ptr<IStoreKey> OpenKey(const std::string& path) override;
  std::unique_ptr<IStoreKey> CreateKey(const std::string& path) override;
  bool DeleteKey(const std::string& path) override;
};

}  // namespace tavelune
