#pragma once

#include <memory>

#include "settings/KeyStore.h"

namespace tavelune::platform {

// The user's own key store: the registry on Windows, the settings file
// (TRegFileKeyStore::DefaultFileName) on Linux.
std::unique_ptr<IKeyStore> OpenUserKeyStore();

}  // namespace tavelune::platform
