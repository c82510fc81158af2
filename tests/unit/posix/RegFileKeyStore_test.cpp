#include "ports/regfile/RegFileKeyStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "helpers/KeyStoreSuite.h"
#include "helpers/TestFiles.h"
#include "platform/MessagePump.h"
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
INSTANTIATE_TEST_SUITE_P(SettingsFile, KeyStoreBehaviour,
                         ::testing::Values(test::TStoreKind{"RegFile", FileStore}),
                         test::StoreKindName);

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
  TSaverSettings settings;
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

constexpr const char* kMainKey = "\\Software\\Norvane\\Tavelune";

TSaverSettings ReadAsTheSaverDoes(IKeyStore& store) {
  TSaverSettings settings;
  std::atomic<bool> stop{false};
  ReadSaverSettings(store, settings, stop, [](std::int32_t) { return 0; });
  return settings;
}

// A settings file with "Draw Wait" 7 and one folder.
std::string SettingsText() {
  return "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n"
         "\"Draw Posision\"=dword:00000000\n\"Graphics Size\"=dword:00000001\n"
         "\"Screen Clear\"=dword:00000000\n\"Point Cast\"=\"\"\n\"Random Sort\"=dword:00000000\n"
         "\"Rotate\"=dword:00000000\n\"Capture\"=dword:00000000\n\"DispFileName\"=dword:00000000\n"
         "\"BackColor\"=dword:00000000\n\"Draw Wait\"=dword:00000007\n\n"
         "[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\n\"0000\"=\"/movies\"\n";
}

TEST(RegFileKeyStore, AReadCreatesNoFileAndNoFolder) {
  test::TTempDir dir;
  TRegFileKeyStore missing(dir.Name("config/tavelune/settings.reg"));
  ReadAsTheSaverDoes(missing);
  EXPECT_FALSE(std::filesystem::exists(dir.Name("config")));

  const std::string file = dir.Write("settings.reg", SettingsText());
  TRegFileKeyStore store(file);
  EXPECT_EQ(ReadAsTheSaverDoes(store).DrawWait, 7);
  EXPECT_FALSE(std::filesystem::exists(file + ".lock"));
  EXPECT_EQ(store.ReadProblem(), "");
}

class TCountingPump : public platform::IMessagePump {
 public:
  void DispatchPending() override { ++Passes; }
  int Passes = 0;
};

TEST(RegFileKeyStore, AWritersLockHoldsUpReadersForASecondInAllThenTheFileIsReadAsItIs) {
  test::TTempDir dir;
  const std::string file = dir.Write("settings.reg", SettingsText());
  // A writer that never lets go (another description of the lock file, so
  // flock tells it apart from the reader's).
  const int writer = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(writer, LOCK_EX), 0);
  TCountingPump pump;
  platform::SetMessagePump(&pump);
  TRegFileKeyStore store(file);
  const auto start = std::chrono::steady_clock::now();
  const TSaverSettings settings = ReadAsTheSaverDoes(store);  // three keys, one wait
  const auto waited = std::chrono::steady_clock::now() - start;
  platform::SetMessagePump(nullptr);
  ::close(writer);
  EXPECT_EQ(settings.DrawWait, 7);
  EXPECT_EQ(settings.FolderList, std::vector<std::string>{"/movies"});
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::milliseconds(2500));  // not a second per key
  EXPECT_GT(pump.Passes, 10);                          // input was handled while it waited
}

TEST(RegFileKeyStore, WhatIsNoSettingsFileReadsAsDefaultsAndSaysWhy) {
  test::TTempDir dir;
  std::filesystem::create_directories(dir.Name("folder.reg"));
  const std::string fifo = dir.Name("fifo.reg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string huge = dir.Name("huge.reg");
  {
    std::ofstream out(huge, std::ios::binary);
    out << SettingsText();
    out.seekp(17 * 1024 * 1024);
    out << '\n';
  }
  for (const std::string& name : {dir.Name("folder.reg"), fifo, std::string("/dev/zero"), huge}) {
    TRegFileKeyStore store(name);  // a FIFO without a writer must not block
    EXPECT_EQ(ReadAsTheSaverDoes(store).DrawWait, 5) << name;
    EXPECT_NE(store.ReadProblem().find(name), std::string::npos) << name;
    EXPECT_NE(store.ReadProblem().find(name == huge ? "too large" : "not a regular file"),
              std::string::npos)
        << store.ReadProblem();
  }
}

TEST(RegFileKeyStore, ASaveNeverReplacesAFileItCannotRead) {
  test::TTempDir dir;
  const std::string huge = dir.Name("huge.reg");
  {
    std::ofstream out(huge, std::ios::binary);
    out.seekp(17 * 1024 * 1024);
    out << '\n';
  }
  TRegFileKeyStore store(huge);
  EXPECT_EQ(store.CreateKey(kMainKey), nullptr);
  EXPECT_FALSE(store.DeleteKey(kMainKey));
  EXPECT_EQ(std::filesystem::file_size(huge), 17u * 1024 * 1024 + 1);
}

// `text` as UTF-16 with its byte-order mark, as regedit 5 exports.
std::string Utf16File(const std::u16string& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST(RegFileKeyStore, ReadsARegedit5ExportAndSavesItInItsOwnForm) {
  // "LogFile" is 東京\play.log, "RootPath" an expandable string whose bytes
  // are UTF-16 too, and a character beyond the basic plane in a folder.
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\r\n"
      u"\"LogFile\"=\"\u6771\u4eac\\\\play.log\"\r\n"
      u"\"Draw Posision\"=dword:00000000\r\n"
      u"\"Point Cast\"=hex(2):43,00,3a,00,5c,00,78,00,00,00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune\\Folders]\r\n"
      u"\"0000\"=\"/m\U0001F3A5\"\r\n";
  for (bool bigEndian : {false, true}) {
    test::TTempDir dir;
    const std::string file = dir.Write("settings.reg", Utf16File(text, bigEndian));
    TRegFileKeyStore store(file);
    auto key = store.OpenKey(kMainKey);
    ASSERT_NE(key, nullptr) << bigEndian;
    EXPECT_EQ(key->ReadValue("LogFile")->Text, "\xE6\x9D\xB1\xE4\xBA\xAC\\play.log");
    EXPECT_EQ(key->ReadValue("Draw Posision")->Number, 0);
    EXPECT_EQ(key->ReadValue("Point Cast")->Kind, TValueKind::ExpandString);
    EXPECT_EQ(key->ReadValue("Point Cast")->Text, "C:\\x");
    EXPECT_EQ(store.OpenKey(std::string(kMainKey) + "\\Folders")->ReadValue("0000")->Text,
              "/m\xF0\x9F\x8E\xA5");
    store.CreateKey(kMainKey)->WriteInteger("Draw Wait", 9);
    const std::string saved = Contents(file);
    EXPECT_EQ(saved.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(saved.find("\"LogFile\"=\"\xE6\x9D\xB1\xE4\xBA\xAC\\\\play.log\""),
              std::string::npos);
    EXPECT_NE(saved.find("\"Point Cast\"=hex(2):43,3a,5c,78,00"), std::string::npos);
    EXPECT_EQ(saved.find("Version 5.00"), std::string::npos);
  }
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
