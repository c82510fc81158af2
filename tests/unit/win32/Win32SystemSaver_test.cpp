// The chosen screen saver as the NT family keeps it, read from a private
// stand-in for the user's registry hive, so the user's own setting is
// neither needed nor touched.

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/PathStyle.h"
#include "platform/SystemSaver.h"
#include "settings/ScreenSaverSetup.h"

namespace tavelune {
namespace {

class Win32ChosenSaver : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = "Software\\Norvane\\TaveluneSaverTest" + std::to_string(std::random_device{}());
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, FRoot.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &FHive, nullptr),
              ERROR_SUCCESS);
    if (::RegOverridePredefKey(HKEY_CURRENT_USER, FHive) != ERROR_SUCCESS) {
      GTEST_SKIP() << "the user's hive cannot be redirected here";
    }
    FOverridden = true;
  }
  void TearDown() override {
    if (FOverridden) {
      ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    }
    if (FHive != nullptr) {
      ::RegCloseKey(FHive);
      ::RegDeleteTreeA(HKEY_CURRENT_USER, FRoot.c_str());
    }
  }
  // Creates "Control Panel\Desktop" in the stand-in hive, with "SCRNSAVE.EXE"
  // when `value` is given.
  void MakeDesktopKey(const char* value) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (value != nullptr) {
      ::RegSetValueExA(key, "SCRNSAVE.EXE", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>(std::string(value).size() + 1));
    }
    ::RegCloseKey(key);
  }

  std::string FRoot;
  HKEY FHive = nullptr;
  bool FOverridden = false;
};

TEST_F(Win32ChosenSaver, WithoutTheDesktopKeyTheNameKeepsItsValue) {
  EXPECT_EQ(platform::ChosenSaverName("C:\\Windows"), std::nullopt);
  TScreenSaverSetup saver("C:\\Windows", "C:\\Windows\\System32");
  saver.Loaded();
  std::string stored = std::string("C:\\Windows\\System32") + platform::kPathDelimiter +
                       TScreenSaverSetup::kStoredSaverFileName;
  EXPECT_EQ(saver.ScreenSaverName(), stored);
  saver.SetScreenSaverName("written");
  EXPECT_EQ(saver.ScreenSaverName(), "written");
}

TEST_F(Win32ChosenSaver, AMissingValueReadsAsNoSaver) {
  MakeDesktopKey(nullptr);
  TScreenSaverSetup saver;
  saver.Loaded();
  EXPECT_EQ(saver.ScreenSaverName(), "");
}

TEST_F(Win32ChosenSaver, TheValueIsReadLiveAndReplacesAWrittenName) {
  MakeDesktopKey("C:\\WINDOWS\\system32\\chosen.scr");
  TScreenSaverSetup saver;
  saver.SetScreenSaverName("written");
  EXPECT_EQ(saver.ScreenSaverName(), "C:\\WINDOWS\\system32\\chosen.scr");
}

TEST(Win32SaverFolders, AreTheWindowsAndSystemFolders) {
  char windows[MAX_PATH] = {};
  char system[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  ::GetSystemDirectoryA(system, MAX_PATH);
  platform::TSaverFolders folders = platform::SaverFolderTexts();
  EXPECT_EQ(folders.WindowsFolder, windows);
  EXPECT_EQ(folders.SystemFolder, system);
}

}  // namespace
}  // namespace tavelune
