#include "platform/regfile/RegFileKeyStore.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "helpers/KeyStoreSuite.h"
#include "helpers/TestFiles.h"
#include "settings/SettingsStore.h"

namespace tavelune {
namespace {

std::string Contents(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

test::TStoreUnderTest FileStore() {
  auto dir = std::make_shared<test::TTempDir>();
  std::string file = dir->Name("config/tavelune/settings.reg");
  return {std::make_unique<TRegFileKeyStore>(file), "\\Software\\Norvane\\Tavelune",
          [file] { return std::make_unique<TRegFileKeyStore>(file); },
          [dir]() mutable { dir.reset(); }};
}

using test::KeyStoreBehaviour;
INSTANTIATE_TEST_SUITE_P(SettingsFile, KeyStoreBehaviour, ::testing::Values(FileStore));

TEST(RegFileKeyStore, WritesTheFileInRegeditsSyntax) {
  test::TTempDir dir;
  std::string file = dir.Name("settings.reg");
  TRegFileKeyStore store(file);
  auto key = store.CreateKey("\\Software\\Norvane\\Tavelune");
  key->WriteString("LogFile", "C:\\a \"b\"");
  key->WriteInteger("Draw Wait", 59);
  key->Flush();
  EXPECT_EQ(Contents(file),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n"
            "\"LogFile\"=\"C:\\\\a \\\"b\\\"\"\n\"Draw Wait\"=dword:0000003b\n\n");
}

TEST(RegFileKeyStore, KeepsWhatItDoesNotUnderstandAndWhatOthersWrote) {
  test::TTempDir dir;
  std::string file =
      dir.Write("settings.reg",
                "REGEDIT4\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                "\"Keep\"=hex:01,02\r\n@=\"default\"\r\n"
                "[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\r\n"
                "\"RootPath\"=hex(2):2f,75,\\\r\n  73,72,00\r\n"
                "\"Odd\"=\r\n");
  TRegFileKeyStore store(file);
  {
    auto key = store.OpenKey("\\Software\\Norvane\\Tavelune");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->ReadValue("RootPath")->Kind, TValueKind::ExpandString);
    EXPECT_EQ(key->ReadValue("RootPath")->Text, "/usr");
    auto other = store.OpenKey("\\Software\\Other");
    EXPECT_EQ(other->ReadValue("Keep")->Kind, TValueKind::Other);
  }
  auto key = store.CreateKey("\\Software\\Norvane\\Tavelune");
  key->WriteInteger("Draw Wait", 3);
  key->Flush();
  std::string text = Contents(file);
  EXPECT_NE(text.find("; a comment"), std::string::npos);
  EXPECT_NE(text.find("\"Keep\"=hex:01,02"), std::string::npos);
  EXPECT_NE(text.find("@=\"default\""), std::string::npos);
  EXPECT_NE(text.find("\"Odd\"="), std::string::npos);
  EXPECT_NE(text.find("\"RootPath\"=hex(2):2f,75,73,72,00"), std::string::npos);
  EXPECT_NE(text.find("\"Draw Wait\"=dword:00000003"), std::string::npos);
}

TEST(RegFileKeyStore, GivesTheSettingsReadersExpandableStringsUnexpanded) {
  test::TTempDir dir;
  std::string file =
      dir.Write("settings.reg",
                "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n"
                "\"Draw Posision\"=dword:00000001\n\"Graphics Size\"=dword:00000000\n"
                "\"Screen Clear\"=dword:00000000\n"
                "\"Point Cast\"=hex(2):24,48,4f,4d,45,00,78,00\n");
  TRegFileKeyStore store(file);
  SaverSettings settings;
  std::atomic<bool> stop{false};
  ReadSaverSettings(store, settings, stop, [](std::int32_t) { return 0; });
  EXPECT_EQ(settings.GraphicsSize, 0);
  EXPECT_EQ(settings.PointCast, "$HOME");  // not expanded, cut at its NUL
}

TEST(RegFileKeyStore, ReadsAMissingOrDamagedFileAsAnEmptyStore) {
  test::TTempDir dir;
  EXPECT_EQ(TRegFileKeyStore(dir.Name("missing.reg")).OpenKey("\\Software"), nullptr);
  std::string junk = dir.Write("junk.reg", test::RandomBytes(5000, 4));
  EXPECT_EQ(TRegFileKeyStore(junk).OpenKey("\\Software\\Norvane\\Tavelune"), nullptr);
  std::string cut = dir.Write("cut.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\X]\n\"A\"=dwo");
  auto key = TRegFileKeyStore(cut).OpenKey("\\Software\\X");
  ASSERT_NE(key, nullptr);
  EXPECT_FALSE(key->ReadValue("A"));
}

TEST(RegFileKeyStore, ReplacesTheFileAtomically) {
  test::TTempDir dir;
  std::string file = dir.Write("settings.reg", "REGEDIT4\n\n");
  // A reader that has the old file open keeps seeing it whole: the new text
  // went into a new file renamed over the old, never into the old one.
  std::ifstream oldReader(file, std::ios::binary);
  TRegFileKeyStore store(file);
  auto key = store.CreateKey("\\Software\\X");
  key->WriteInteger("A", 1);
  key->Flush();
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(oldReader), {}), "REGEDIT4\n\n");
  EXPECT_NE(Contents(file).find("\"A\"=dword:00000001"), std::string::npos);
  for (const auto& entry : std::filesystem::directory_iterator(dir.Name(""))) {
    EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
  }
}

TEST(RegFileKeyStore, ReportsAFileItCannotWrite) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root writes into read-only folders";
  }
  test::TTempDir dir;
  std::string folder = dir.Name("locked");
  std::filesystem::create_directories(folder);
  TRegFileKeyStore store(folder + "/settings.reg");
  std::filesystem::permissions(
      folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_EQ(store.CreateKey("\\Software\\X"), nullptr);
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
}

TEST(RegFileKeyStore, FindsItsFileThroughTheEnvironment) {
  const char* saved = std::getenv("TAVELUNE_SETTINGS");
  ::setenv("TAVELUNE_SETTINGS", "/tmp/elsewhere.reg", 1);
  EXPECT_EQ(TRegFileKeyStore::DefaultFileName(), "/tmp/elsewhere.reg");
  ::unsetenv("TAVELUNE_SETTINGS");
  ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
  EXPECT_EQ(TRegFileKeyStore::DefaultFileName(), "/tmp/cfg/tavelune/settings.reg");
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(TRegFileKeyStore::DefaultFileName(), "/home/someone/.config/tavelune/settings.reg");
  if (saved != nullptr) {
    ::setenv("TAVELUNE_SETTINGS", saved, 1);
  }
}

}  // namespace
}  // namespace tavelune
