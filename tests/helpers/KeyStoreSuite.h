#pragma once

// The behaviour every key store shares, run against each implementation:
// the in-memory one everywhere, the settings file on Linux, the registry on
// Windows (under Wine in CI). A platform's test file instantiates the suite
// with its store.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
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

using TStoreFactory = std::function<TStoreUnderTest()>;

class KeyStoreBehaviour : public ::testing::TestWithParam<TStoreFactory> {
 protected:
  void SetUp() override { FUnderTest = GetParam()(); }
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
