#include "settings/ScreenSaverSetup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "helpers/TestFiles.h"
#include "platform/PathStyle.h"
#include "platform/SystemDirs.h"
#include "platform/SystemSaver.h"

namespace tavelune {
namespace {

using Lines = std::vector<std::string>;

class ScreenSaverSetupList : public ::testing::Test {
 protected:
  // The saver of the two test folders "windows" and "system" (which need
  // not exist).
  TScreenSaverSetup Saver() const {
    return TScreenSaverSetup(FDir.Name("windows"), FDir.Name("system"));
  }
  std::string Path(const std::string& folder, const std::string& name) const {
    return FDir.Name(folder) + platform::kPathDelimiter + name;
  }
  Lines Listed() const {
    Lines list;
    Saver().ListInstalledSavers(list);
    return list;
  }

  test::TTempDir FDir;
};

TEST_F(ScreenSaverSetupList, ListsTheSameFileNameInBothFoldersWindowsFolderFirst) {
  FDir.Write("system/same.scr", "s");
  FDir.Write("windows/same.scr", "w");
  EXPECT_EQ(Listed(), (Lines{Path("windows", "same.scr"), Path("system", "same.scr")}));
}

TEST_F(ScreenSaverSetupList, AppendsToWhatTheListHolds) {
  FDir.Write("system/a.scr", "");
  Lines list = {"", "kept"};
  Saver().ListInstalledSavers(list);
  Saver().ListInstalledSavers(list);  // no clearing of duplicates either
  EXPECT_EQ(list, (Lines{"", "kept", Path("system", "a.scr"), Path("system", "a.scr")}));
}

TEST_F(ScreenSaverSetupList, TakesOnlyFilesEndingInScrInAnyLetterCase) {
  for (const char* name :
       {"a.scr", "B.SCR", "c.Scr", ".hidden.scr", "d.scr.txt", "e.sc", "escr", "f.scrx", "g.exe"}) {
    FDir.Write(std::string("system/") + name, "x");
  }
  FDir.Write("system/folder.scr/inner.scr", "x");  // a folder is no saver, nor its contents
  FDir.Write("windows/readme.txt", "x");           // a folder without savers adds nothing
  Lines listed = Listed();
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (Lines{Path("system", ".hidden.scr"), Path("system", "B.SCR"),
                           Path("system", "a.scr"), Path("system", "c.Scr")}));
}

TEST_F(ScreenSaverSetupList, MissingOrEmptyFoldersContributeNothing) {
  EXPECT_TRUE(Listed().empty());
  FDir.Write("windows/only.scr", "x");
  EXPECT_EQ(Listed(), Lines{Path("windows", "only.scr")});
}

TEST(TScreenSaverSetup, ReadsReplaceWrittenValuesWithTheSystemsOwn) {
  TScreenSaverSetup live;
  const std::int32_t liveTimeOut = live.ScreenSaveTimeOut();
  const bool liveActive = live.ScreenSaveActive();

  TScreenSaverSetup saver;
  saver.SetScreenSaveTimeOut(liveTimeOut + 12345);
  saver.SetScreenSaveActive(!liveActive);
  EXPECT_EQ(saver.ScreenSaveTimeOut(), liveTimeOut);
  EXPECT_EQ(saver.ScreenSaveActive(), liveActive);
  // Writing left the system's setting as it was.
  EXPECT_EQ(TScreenSaverSetup().ScreenSaveTimeOut(), liveTimeOut);
  EXPECT_EQ(TScreenSaverSetup().ScreenSaveActive(), liveActive);
}

#ifndef _WIN32
// Linux has no system screen saver setting: the properties report it off,
// with no saver chosen, whatever was stored or written before.
TEST(TScreenSaverSetup, ReportsNoSystemSaverOnLinux) {
  TScreenSaverSetup saver;
  saver.Loaded();
  EXPECT_FALSE(saver.ScreenSaveActive());
  EXPECT_EQ(saver.ScreenSaverName(), "");
  EXPECT_EQ(saver.ScreenSaveTimeOut(), 0);

  saver.SetScreenSaverName("/usr/share/tavelune/savers/written.scr");
  saver.SetScreenSaveActive(true);
  saver.SetScreenSaveTimeOut(600);
  EXPECT_EQ(saver.ScreenSaverName(), "");
  EXPECT_FALSE(saver.ScreenSaveActive());
  EXPECT_EQ(saver.ScreenSaveTimeOut(), 0);
}

TEST(PosixSystemSaver, SearchesTheInstallationsFolderThenTheUsersDataFolder) {
  const char* saved = std::getenv("XDG_DATA_HOME");
  std::string savedText = saved != nullptr ? saved : "";
  ::setenv("XDG_DATA_HOME", "/data/of/user", 1);
  platform::TSaverFolders folders = platform::SaverFolderTexts();
  EXPECT_EQ(folders.SystemFolder, "/data/of/user/tavelune/savers");
  // The installation's folder sits beside the programs' folder (bin and
  // share under one prefix), written without "..".
  const std::string programDir = platform::ProgramDir();
  const std::string prefix = programDir.substr(0, programDir.rfind('/', programDir.size() - 2));
  EXPECT_EQ(folders.WindowsFolder, prefix + "/share/tavelune/savers");
  ::setenv("XDG_DATA_HOME", "", 1);
  const char* home = std::getenv("HOME");
  EXPECT_EQ(platform::SaverFolderTexts().SystemFolder,
            std::string(home != nullptr ? home : ".") + "/.local/share/tavelune/savers");
  if (saved != nullptr) {
    ::setenv("XDG_DATA_HOME", savedText.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
}
#endif

}  // namespace
}  // namespace tavelune
