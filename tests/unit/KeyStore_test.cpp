#include "settings/KeyStore.h"

#include <gtest/gtest.h>

#include "helpers/KeyStoreSuite.h"
#include "settings/MemoryKeyStore.h"

namespace tavelune {
namespace {

using test::KeyStoreBehaviour;

std::string TextOf(IStoreKey& key, const std::string& name) {
  std::optional<TStoreValue> value = key.ReadValue(name);
  return value ? value->Text : "<missing>";
}

TEST_P(KeyStoreBehaviour, OpensOnlyKeysThatExistAndCreatesParentsWithChildren) {
  EXPECT_EQ(Store().OpenKey(Key("\\Main")), nullptr);
  ASSERT_NE(Store().CreateKey(Key("\\Main\\Folders")), nullptr);
  EXPECT_NE(Store().OpenKey(Key("\\Main")), nullptr);
  EXPECT_NE(Store().OpenKey(Key("\\Main\\Folders")), nullptr);
  EXPECT_NE(Store().OpenKey(Key("\\MAIN\\folders")), nullptr);  // names ignore case
  EXPECT_EQ(Store().OpenKey(Key("\\Main\\Exts")), nullptr);
}

TEST_P(KeyStoreBehaviour, KeepsStringsIntegersAndTheirTypes) {
  {
    auto key = Store().CreateKey(Key("\\Main"));
    ASSERT_NE(key, nullptr);
    key->WriteString("LogFile", "C:\\logs\\\"quoted\" \xE5\x86\x8D\xE7\x94\x9F");
    key->WriteInteger("Draw Wait", -5);
    key->WriteInteger("BackColor", static_cast<std::int32_t>(0x8000000F));
    key->WriteString("Empty", "");
    key->WriteString("Cut", std::string("before\0after", 12));
    key->WriteString("Lines", "one\r\ntwo");
    key->Flush();
  }
  auto reopened = Reopen();
  auto key = reopened->OpenKey(Key("\\Main"));
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(TextOf(*key, "LogFile"), "C:\\logs\\\"quoted\" \xE5\x86\x8D\xE7\x94\x9F");
  EXPECT_EQ(key->ReadValue("LogFile")->Kind, TValueKind::String);
  EXPECT_EQ(key->ReadValue("Draw Wait")->Kind, TValueKind::Integer);
  EXPECT_EQ(key->ReadValue("Draw Wait")->Number, -5);
  EXPECT_EQ(static_cast<std::uint32_t>(key->ReadValue("BackColor")->Number), 0x8000000Fu);
  EXPECT_EQ(TextOf(*key, "Empty"), "");
  EXPECT_EQ(TextOf(*key, "Cut"), "before");
  EXPECT_EQ(TextOf(*key, "Lines"), "one\r\ntwo");
  EXPECT_EQ(TextOf(*key, "logfile"), TextOf(*key, "LogFile"));
  EXPECT_FALSE(key->ReadValue("Missing"));
}

TEST_P(KeyStoreBehaviour, ReplacesAValueAndItsType) {
  {
    auto key = Store().CreateKey(Key("\\Main"));
    key->WriteString("Draw Wait", "five");
    key->WriteInteger("DRAW WAIT", 5);
    key->Flush();
  }
  auto key = Reopen()->OpenKey(Key("\\Main"));
  ASSERT_TRUE(key->ReadValue("Draw Wait"));
  EXPECT_EQ(key->ReadValue("Draw Wait")->Kind, TValueKind::Integer);
  EXPECT_EQ(key->ReadValue("Draw Wait")->Number, 5);
}

TEST_P(KeyStoreBehaviour, DeletesAKeyWithItsValuesAndSubKeysOnly) {
  {
    auto folders = Store().CreateKey(Key("\\Main\\Folders"));
    folders->WriteString("0000", "/movies");
    folders->Flush();
    auto deeper = Store().CreateKey(Key("\\Main\\Folders\\Deeper"));
    deeper->WriteInteger("x", 1);
    deeper->Flush();
    auto exts = Store().CreateKey(Key("\\Main\\Exts"));
    exts->WriteString("0000", "avi");
    exts->Flush();
  }
  EXPECT_TRUE(Store().DeleteKey(Key("\\Main\\Folders")));
  auto reopened = Reopen();
  EXPECT_EQ(reopened->OpenKey(Key("\\Main\\Folders")), nullptr);
  EXPECT_EQ(reopened->OpenKey(Key("\\Main\\Folders\\Deeper")), nullptr);
  auto exts = reopened->OpenKey(Key("\\Main\\Exts"));
  ASSERT_NE(exts, nullptr);
  EXPECT_EQ(TextOf(*exts, "0000"), "avi");
  // Created again, the key is empty.
  auto again = Store().CreateKey(Key("\\Main\\Folders"));
  EXPECT_FALSE(again->ReadValue("0000"));
}

TEST_P(KeyStoreBehaviour, RefusesWritesThroughAKeyOpenedForReading) {
  Store().CreateKey(Key("\\Main"));
  auto key = Store().OpenKey(Key("\\Main"));
  ASSERT_NE(key, nullptr);
  try {
    key->WriteInteger("Draw Wait", 3);
    key->Flush();
    FAIL() << "the write was accepted";
  } catch (const ERegistryError& error) {
    EXPECT_STREQ(error.what(), "'Draw Wait' の設定に失敗しました");
  }
}

TEST_P(KeyStoreBehaviour, HoldsLongNumberedLists) {
  {
    auto key = Store().CreateKey(Key("\\Main\\Folders"));
    char name[16];
    for (int i = 0; i < 10005; ++i) {
      std::snprintf(name, sizeof name, "%4.4d", i);
      key->WriteString(name, "/movies/" + std::to_string(i));
    }
    key->Flush();
  }
  auto key = Reopen()->OpenKey(Key("\\Main\\Folders"));
  EXPECT_EQ(TextOf(*key, "0000"), "/movies/0");
  EXPECT_EQ(TextOf(*key, "9999"), "/movies/9999");
  EXPECT_EQ(TextOf(*key, "10004"), "/movies/10004");
}

test::TStoreUnderTest MemoryStore() {
  auto store = std::make_shared<TMemoryKeyStore>();
  struct TShared final : IKeyStore {
    explicit TShared(std::shared_ptr<TMemoryKeyStore> s) : S(std::move(s)) {}
    std::unique_ptr<IStoreKey> OpenKey(const std::string& p) override { return S->OpenKey(p); }
    std::unique_ptr<IStoreKey> CreateKey(const std::string& p) override { return S->CreateKey(p); }
    bool DeleteKey(const std::string& p) override { return S->DeleteKey(p); }
    std::shared_ptr<TMemoryKeyStore> S;
  };
  return {std::make_unique<TShared>(store), "\\Software\\Norvane\\Tavelune",
          [store] { return std::make_unique<TShared>(store); }, nullptr};
}

INSTANTIATE_TEST_SUITE_P(Memory, KeyStoreBehaviour,
                         ::testing::Values(test::TStoreKind{"InMemory", MemoryStore}),
                         test::StoreKindName);

TEST(MemoryKeyStore, RefusesEveryWriteWhileToldTo) {
  TMemoryKeyStore store;
  auto key = store.CreateKey("\\Software\\X");
  store.RefuseWrites = true;
  EXPECT_THROW(key->WriteString("LogFile", "x"), ERegistryError);
}

}  // namespace
}  // namespace tavelune
