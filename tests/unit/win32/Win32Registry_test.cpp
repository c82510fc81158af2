// The key store behaviour against the real registry (Wine's in CI).

#include <gtest/gtest.h>

#include <random>

#include "helpers/KeyStoreSuite.h"
#include "ports/win32/Win32RegistryKeyStore.h"

namespace tavelune {
namespace {

test::TStoreUnderTest RegistryStore() {
  std::string root = "\\Software\\Norvane\\TaveluneTest" + std::to_string(std::random_device{}());
  return {std::make_unique<TRegistryKeyStore>(), root,
          [] { return std::make_unique<TRegistryKeyStore>(); },
          [root] { TRegistryKeyStore().DeleteKey(root); }};
}

using test::KeyStoreBehaviour;
INSTANTIATE_TEST_SUITE_P(Registry, KeyStoreBehaviour,
                         ::testing::Values(test::TStoreKind{"Win32Registry", RegistryStore}),
                         test::StoreKindName);

}  // namespace
}  // namespace tavelune
