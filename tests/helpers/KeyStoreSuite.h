#pragma once

// The behaviour every key store shares, run against each implementation:
// the in-memory one everywhere, the settings file on Linux, the registry on
// Windows (under Wine in CI). A platform's test file instantiates the suite
// with its store.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "settings/KeyStore.h"

namespace tavelune::test {

// A store to test and the key path under which the suite may do anything.
struct TStoreUnderTest {
  std::unique_ptr<IKeyStore> Store;
  std::string Root;
  // Another view of the same stored data, as a later run of the program
  // would open it.
  std::function<std::unique_ptr<IKeyStore>()> Reopen;
  std::function<void()> CleanUp;
};

// One implementation under test: its name ends each test's name.
struct TStoreKind {
  const char* Name;
  std::function<TStoreUnderTest()> Make;
};
inline void PrintTo(const TStoreKind& kind, std::ostream* out) {
  *out << kind.Name;
}
inline std::string StoreKindName(const ::testing::TestParamInfo<TStoreKind>& info) {
  return info.param.Name;
}

class KeyStoreBehaviour : public ::testing::TestWithParam<TStoreKind> {
 protected:
  void SetUp() override { FUnderTest = GetParam().Make(); }
  void TearDown() override {
    if (FUnderTest.CleanUp) {
      FUnderTest.CleanUp();
    }
  }
  IKeyStore& Store() { return *FUnderTest.Store; }
  std::string Key(const std::string& relative) { return FUnderTest.Root + relative; }
  std::unique_ptr<IKeyStore> Reopen() { return FUnderTest.Reopen(); }

  TStoreUnderTest FUnderTest;
};

}  // namespace tavelune::test
