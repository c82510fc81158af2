// The settings dialog's behaviour, driven through its handlers with a
// scripted host, an in-memory store and real folders.

#include "ui/ControlForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "helpers/TestFiles.h"
#include "platform/PathStyle.h"
#include "settings/MemoryKeyStore.h"
#include "ui/ControlBindings.h"

namespace tavelune {
namespace {

using test::TTempDir;

class TScriptedHost : public IControlFormHost {
 public:
  void AcceptDroppedFiles() override { Calls.push_back("AcceptDroppedFiles"); }
  void CloseSaverWindow() override { Calls.push_back("CloseSaverWindow"); }
  std::optional<std::string> RunFolderDialog() override { return Folder; }
  std::optional<std::uint32_t> RunColorDialog(std::uint32_t color) override {
    ColorOffered = color;
    return Color;
  }
  std::optional<std::string> RunSaveDialog(const std::string& title) override {
    Calls.push_back("SaveDialog " + title);
    return SaveName;
  }
  std::string InputBox(const std::string& caption, const std::string& prompt,
                       const std::string& defaultText) override {
    Calls.push_back("InputBox " + caption + " " + prompt);
    return Answer.value_or(defaultText);
  }
  void ShowErrorReport(const std::string& message) override { Errors.push_back(message); }
  void OpenAddress(const std::string& address) override { Calls.push_back("Open " + address); }
  void Close() override { ++Closes; }
  void YieldToMessages() override {
    ++Yields;
    if (OnYield) {
      OnYield();
    }
  }

  std::vector<std::string> Calls;
  std::vector<std::string> Errors;
  std::optional<std::string> Folder;
  std::optional<std::uint32_t> Color;
  std::uint32_t ColorOffered = 0;
  std::optional<std::string> SaveName;
  std::optional<std::string> Answer;
  int Closes = 0;
  int Yields = 0;
  std::function<void()> OnYield;
};

class ControlFormTest : public ::testing::Test {
 protected:
  // `saverFolder`: where the installed screen savers are.
  TControlForm& Open(const std::string& saverFolder = "/nonexistent") {
    Form = std::make_unique<TControlForm>(
        Host, TControlFormServices{Store, TScreenSaverSetup(saverFolder, "/nonexistent"),
                                   "/nonexistent/tavelune", "/opt/tavelune/",
                                   "https://home.example/", "https://board.example/"});
    Form->FormCreate();
    return *Form;
  }
  std::unique_ptr<IStoreKey> Main() { return Store.CreateKey(kSettingsKey); }
  TSaverSettings SavedForSaver() {
    TSaverSettings settings;
    std::atomic<bool> stop{false};
    ReadSaverSettings(Store, settings, stop, [](std::int32_t) { return 0; });
    return settings;
  }

  TMemoryKeyStore Store;
  TScriptedHost Host;
  std::unique_ptr<TControlForm> Form;
};

// The temporary folder's own name, without a trailing delimiter.
std::string FolderOf(const TTempDir& dir) {
  return std::filesystem::path(dir.Name("x")).parent_path().string();
}

std::string Slash(const std::string& folder) {
  return folder + platform::kPathDelimiter;
}

// ---- Opening ---------------------------------------------------------------

TEST_F(ControlFormTest, OpensOnTheVersionPageWithTheDesignedStateOverAnEmptyStore) {
  TControlForm& form = Open();
  EXPECT_EQ(Host.Calls, (std::vector<std::string>{"AcceptDroppedFiles", "CloseSaverWindow"}));
  EXPECT_EQ(form.ActivePage, TControlPage::VersionPage);
  EXPECT_EQ(form.MovieExt.Items, kDefaultExtensions);
  EXPECT_TRUE(form.FolderList.Items.empty());
  EXPECT_EQ(form.RadioGSize, 2);
  EXPECT_EQ(form.RadioDrawPosition, 1);
  EXPECT_TRUE(form.CheckRandomG.Checked);
  EXPECT_TRUE(form.CheckCapture.Checked);
  EXPECT_EQ(form.EditWait, "3");
  EXPECT_EQ(form.PreViewSeconds.Text(), "60");
  EXPECT_EQ(form.ComboSS.Items, (std::vector<std::string>{"なし"}));
  EXPECT_EQ(form.ComboSS.ItemIndex, -1);
  EXPECT_FALSE(form.ComboSS.Enabled);
  EXPECT_EQ(form.PanelColor, 0x8000000Fu);
  EXPECT_FALSE(form.BtnDeleteEnabled);
  EXPECT_FALSE(form.ButtonExtDeleteEnabled);
  // A program without a version record still gets the two prefixes.
  EXPECT_EQ(form.LabelVersion, "バージョン ");
  EXPECT_EQ(form.LabelCopyLeft, "作者 ");
  EXPECT_EQ(form.HomePageLink, "https://home.example/");
}

TEST_F(ControlFormTest, NamesInstalledSaversByTheirFileNameWithoutItsExtension) {
  TTempDir dir;
  const std::string plain = dir.Write("Ribbons.scr", "not a program");
  Main()->WriteString("Point Cast", "/NOWHERE/" + plain.substr(1));  // not installed
  TControlForm& form = Open(FolderOf(dir));
  EXPECT_EQ(form.ComboSS.Items, (std::vector<std::string>{"なし", "Ribbons"}));
  EXPECT_EQ(form.ComboSS.ItemIndex, -1);
}

TEST_F(ControlFormTest, ShowsTheStoredValues) {
  TTempDir dir;
  const std::string saver = dir.Write("Mystify.scr", "");
  auto key = Main();
  key->WriteString("LogFile", " history.txt");
  key->WriteInteger("Draw Posision", 0);
  key->WriteInteger("Graphics Size", 7);   // beyond the last item: the last
  key->WriteInteger("Screen Clear", 256);  // only the low byte counts
  key->WriteString("Point Cast", saver);
  key->WriteInteger("Random Sort", 0);
  key->WriteInteger("Rotate", 1);
  key->WriteInteger("Capture", 0);
  key->WriteInteger("DispFileName", 1);
  key->WriteInteger("BackColor", 0x00204060);
  key->WriteInteger("Draw Wait", 75);
  key->WriteInteger("PreviewRandom", 1);
  key->WriteInteger("PreViewSeconds", 90);
  key->WriteInteger("PreViewMin", 0);
  key->WriteInteger("PreViewMax", 40);
  Store.CreateKey(kFoldersKey)->WriteString("0000", "/movies");
  Store.CreateKey(kExtsKey)->WriteString("0000", "MP4");
  TControlForm& form = Open(FolderOf(dir));
  EXPECT_EQ(form.EditLogFile, " history.txt");
  EXPECT_EQ(form.RadioDrawPosition, 0);
  EXPECT_EQ(form.RadioGSize, 2);
  EXPECT_FALSE(form.CheckClear.Checked);
  EXPECT_EQ(form.ComboSS.ItemIndex, 1);
  EXPECT_FALSE(form.CheckRandomG.Checked);
  EXPECT_TRUE(form.CheckRol.Checked);
  EXPECT_FALSE(form.CheckCapture.Checked);
  EXPECT_TRUE(form.CheckFileName.Checked);
  EXPECT_EQ(form.PanelColor, 0x00204060u);
  EXPECT_EQ(form.PanelColorFont, 0xFFDFBF9Fu);
  EXPECT_EQ(form.EditWait, "75");  // the dialog does not cut it
  EXPECT_EQ(form.PreViewSeconds.Text(), "90");
  EXPECT_EQ(form.PreViewMin.Text(), "");  // 0 has no text
  // The block ran to its end with random segments: the numbers are off.
  EXPECT_FALSE(form.PreViewSeconds.Enabled);
  EXPECT_FALSE(form.PreviewMax.Enabled);
  EXPECT_EQ(form.FolderList.Items, (std::vector<std::string>{"/movies"}));
  EXPECT_EQ(form.MovieExt.Items, (std::vector<std::string>{"MP4"}));
}

TEST_F(ControlFormTest, ABlockEndedEarlyLeavesTheRestAsDesigned) {
  auto key = Main();
  key->WriteString("LogFile", "h.txt");
  key->WriteInteger("Graphics Size", 0);  // "Draw Posision" is missing
  key->WriteInteger("PreviewRandom", 1);
  TControlForm& form = Open();
  EXPECT_EQ(form.EditLogFile, "h.txt");
  EXPECT_EQ(form.RadioGSize, 2);
  EXPECT_FALSE(form.PreviewRandom.Checked);
  EXPECT_TRUE(form.PreViewSeconds.Enabled);
  EXPECT_EQ(form.PanelColor, 0x8000000Fu);  // never reached
}

TEST_F(ControlFormTest, AMissingBackColorShowsTheDesktopColourWithItsComplementAsCaption) {
  auto key = Main();
  for (const char* name : {"Draw Posision", "Graphics Size", "Screen Clear", "Random Sort"}) {
    key->WriteInteger(name, 1);
  }
  TControlForm& form = Open();
  EXPECT_EQ(form.PanelColor, 0x80000001u);
  EXPECT_EQ(form.PanelColorFont, 0x7FFFFFFEu);
}

// ---- Saving ------------------------------------------------------------

TEST_F(ControlFormTest, SavesWhatTheControlsHoldForTheSaverToReadAndCloses) {
  TTempDir dir;
  const std::string saver = dir.Write("a.scr", "");
  TControlForm& form = Open(FolderOf(dir));
  form.EditLogFile = "/home/me/history.txt";
  form.RadioGSize = 1;
  form.RadioDrawPosition = 0;
  form.CheckClear.Checked = true;
  form.CheckRol.Checked = true;
  form.CheckCapture.Checked = false;
  form.ComboSS.ItemIndex = 1;
  form.EditWait = " 7 ";
  form.PanelColor = 0x00123456;
  form.PreViewSeconds.Value = 0;  // no text: the default
  form.PreViewMin.Value = 12.5;   // decimals: the default
  form.PreviewMax.Value = 44;
  form.FolderList.Append("/b/");
  form.FolderList.Append("/a");
  form.MovieExt.Clear();
  form.MovieExt.Append("mkv");
  form.BtnOKClick();
  EXPECT_EQ(Host.Closes, 1);
  const TSaverSettings saved = SavedForSaver();
  EXPECT_EQ(saved.LogFile, "/home/me/history.txt");
  EXPECT_EQ(saved.GraphicsSize, 1);
  EXPECT_EQ(saved.DrawPosition, 0);
  EXPECT_TRUE(saved.ScreenClear);
  EXPECT_TRUE(saved.Rotate);
  EXPECT_FALSE(saved.Capture);
  EXPECT_EQ(saved.PointCast, saver);
  EXPECT_EQ(saved.DrawWait, 7);
  EXPECT_EQ(saved.BackColor, 0x00123456u);
  EXPECT_EQ(saved.PreviewSeconds, 60);
  EXPECT_EQ(saved.PreviewMin, 10);
  EXPECT_EQ(saved.PreviewMax, 44);
  EXPECT_EQ(saved.FolderList, (std::vector<std::string>{"/b/", "/a"}));
  EXPECT_EQ(saved.ExtensionList, (std::vector<std::string>{"mkv"}));
  EXPECT_EQ(Store.OpenKey(kSettingsKey)->ReadValue("RootPath")->Text, "/opt/tavelune/");
}

TEST_F(ControlFormTest, TheExtendedPageShowsItsStoredChecksAndSavesThem) {
  // A store written before the extended settings: both boxes unchecked.
  EXPECT_FALSE(Open().CheckSkipBlank.Checked);
  EXPECT_FALSE(Form->CheckRememberShown.Checked);
  // Stored on their own, they are shown even when the main block is missing.
  Main()->WriteInteger("Skip Blank", 1);
  Main()->WriteInteger("Remember Shown", 0);
  TControlForm& form = Open();
  EXPECT_TRUE(form.CheckSkipBlank.Checked);
  EXPECT_FALSE(form.CheckRememberShown.Checked);
  form.CheckSkipBlank.Checked = false;
  form.CheckRememberShown.Checked = true;
  form.BtnOKClick();
  const TSaverSettings saved = SavedForSaver();
  EXPECT_FALSE(saved.SkipBlank);
  EXPECT_TRUE(saved.RememberShown);
  EXPECT_EQ(Store.OpenKey(kSettingsKey)->ReadValue("Skip Blank")->Kind, TValueKind::Integer);
}

TEST_F(ControlFormTest, ARadioGroupWithoutSelectionIsSavedAsMinusOne) {
  Main()->WriteInteger("Draw Posision", -3);
  TControlForm& form = Open();
  EXPECT_EQ(form.RadioDrawPosition, -1);
  form.BtnOKClick();
  EXPECT_EQ(Store.OpenKey(kSettingsKey)->ReadValue("Draw Posision")->Number, -1);
}

TEST_F(ControlFormTest, AHandOverNoLongerInstalledIsSavedAsStored) {
  Main()->WriteString("Point Cast", "/gone/old.scr");
  TControlForm& form = Open();
  form.BtnOKClick();
  EXPECT_EQ(Store.OpenKey(kSettingsKey)->ReadValue("Point Cast")->Text, "/gone/old.scr");
}

TEST_F(ControlFormTest, AWaitThatIsNoNumberIsReportedAndTheDialogStaysWithTheStoreUntouched) {
  Main()->WriteInteger("Screen Clear", 0);
  TControlForm& form = Open();
  form.CheckClear.Checked = true;
  form.EditWait = "ab";
  form.HandleEvent([&] { form.BtnOKClick(); });
  EXPECT_EQ(Host.Errors, (std::vector<std::string>{"'ab' is not a valid integer value"}));
  EXPECT_EQ(Host.Closes, 0);
  EXPECT_EQ(Store.OpenKey(kSettingsKey)->ReadValue("Screen Clear")->Number, 0);
  // Corrected, the same dialog saves.
  form.EditWait = "4";
  form.HandleEvent([&] { form.BtnOKClick(); });
  EXPECT_EQ(Host.Closes, 1);
  EXPECT_EQ(Store.OpenKey(kSettingsKey)->ReadValue("Screen Clear")->Number, 1);
}

TEST_F(ControlFormTest, AStoreThatRefusesTheSaveIsReportedAndTheDialogStays) {
  TControlForm& form = Open();
  Store.RefuseWrites = true;
  form.HandleEvent([&] { form.BtnOKClick(); });
  EXPECT_EQ(Host.Errors, (std::vector<std::string>{"'Draw Posision' の設定に失敗しました"}));
  EXPECT_EQ(Host.Closes, 0);
}

TEST_F(ControlFormTest, CancelClosesWithoutWriting) {
  TControlForm& form = Open();
  form.BtnCancelClick();
  EXPECT_EQ(Host.Closes, 1);
  EXPECT_EQ(Store.OpenKey(kSettingsKey), nullptr);
}

// ---- Adding folders ----------------------------------------------------

class ControlFormFolders : public ControlFormTest {
 protected:
  // root/a/a1/, root/a/a2/, root/b/, root/.hidden/x/, root/file.avi
  void MakeTree() {
    for (const char* folder : {"a/a1", "a/a2", "b", ".hidden/x"}) {
      std::filesystem::create_directories(Dir.Name(folder));
    }
    Dir.Write("file.avi", "");
  }
  std::string In(const std::string& relative) const { return Slash(Dir.Name(relative)); }
  TTempDir Dir;
};

TEST_F(ControlFormFolders, TheChooserAddsItsFolderOnceWithoutTrailingDelimiter) {
  TControlForm& form = Open();
  Host.Folder = Dir.Name("m");
  form.BtnAddClick();
  Host.Folder = Dir.Name("M");  // the same folder in other letter case
  form.BtnAddClick();
  EXPECT_EQ(form.FolderList.Items, (std::vector<std::string>{Dir.Name("m")}));
  EXPECT_TRUE(form.BtnOKEnabled);
  Host.Folder.reset();  // cancelled
  form.BtnAddClick();
  EXPECT_EQ(form.FolderList.Items.size(), 1u);
  EXPECT_TRUE(form.BtnOKEnabled);
}

TEST_F(ControlFormFolders, WithSubFoldersTheWalkListsEachFolderBeforeItsOwnSkippingHiddenOnes) {
  MakeTree();
  TControlForm& form = Open();
  form.CheckSub.Checked = true;
  bool saveLockedDuringWalk = false;
  Host.OnYield = [&] { saveLockedDuringWalk |= !form.BtnOKEnabled; };
  Host.Folder = Dir.Name("a").substr(0, Dir.Name("a").size() - 2);  // the temporary folder
  form.BtnAddClick();
  std::vector<std::string> items = form.FolderList.Items;
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0], *Host.Folder);
  const auto at = [&](const std::string& folder) {
    return std::find(items.begin(), items.end(), folder) - items.begin();
  };
  EXPECT_LT(at(In("a")), at(In("a/a1")));
  EXPECT_LT(at(In("a")), at(In("a/a2")));
  EXPECT_LT(at(In("b")), 5);
  EXPECT_TRUE(saveLockedDuringWalk);
  EXPECT_TRUE(form.BtnOKEnabled);
  EXPECT_GE(Host.Yields, 6);  // after each entry, files too

  // Walking again adds only what is new.
  std::filesystem::create_directories(Dir.Name("b/new"));
  form.BtnAddClick();
  EXPECT_EQ(form.FolderList.Items.size(), 6u);
  EXPECT_EQ(form.FolderList.Items.back(), In("b/new"));
}

#ifndef _WIN32  // Windows' paths end long before the walk's depth limit
TEST_F(ControlFormFolders, TheWalkGoesDownToTwoHundredSixtyOneLevelsBelowItsStart) {
  std::string relative = "s";
  for (int level = 1; level <= 262; ++level) {
    relative += "/d";
  }
  std::filesystem::create_directories(Dir.Name(relative));
  TControlForm& form = Open();
  form.CheckSub.Checked = true;
  Host.Folder = Dir.Name("s");
  form.BtnAddClick();
  EXPECT_EQ(form.FolderList.Items.size(), 1u + 261u);
}

TEST_F(ControlFormFolders, LinksBackUpTheTreeDoNotMakeTheWalkEndless) {
  std::filesystem::create_directories(Dir.Name("t/a/b"));
  // Each folder links to its parent and to the top: without a guard the
  // walk would repeat the tree in every combination of links.
  std::filesystem::create_directory_symlink(Dir.Name("t"), Dir.Name("t/a/up"));
  std::filesystem::create_directory_symlink(Dir.Name("t/a"), Dir.Name("t/a/b/up"));
  std::filesystem::create_directory_symlink(Dir.Name("t"), Dir.Name("t/a/b/top"));
  TControlForm& form = Open();
  form.CheckSub.Checked = true;
  Host.Folder = Dir.Name("t");
  form.BtnAddClick();
  EXPECT_LE(form.FolderList.Items.size(), 12u);
  EXPECT_NE(std::find(form.FolderList.Items.begin(), form.FolderList.Items.end(), In("t/a/b/top")),
            form.FolderList.Items.end());
}

TEST_F(ControlFormFolders, AnUnreadableFolderContributesNothing) {
  std::filesystem::create_directories(Dir.Name("u/locked/inner"));
  std::filesystem::permissions(Dir.Name("u/locked"), std::filesystem::perms::none);
  TControlForm& form = Open();
  form.CheckSub.Checked = true;
  Host.Folder = Dir.Name("u");
  form.BtnAddClick();
  std::filesystem::permissions(Dir.Name("u/locked"), std::filesystem::perms::owner_all);
  EXPECT_EQ(form.FolderList.Items[1], In("u/locked"));
  if (::geteuid() != 0) {  // root reads it anyway
    EXPECT_EQ(form.FolderList.Items.size(), 2u);
  }
}
#endif

TEST_F(ControlFormFolders, ClosingTheDialogEndsAWalkAtItsNextEntry) {
  for (int i = 0; i < 50; ++i) {
    std::filesystem::create_directories(Dir.Name("w/" + std::to_string(i) + "/x"));
  }
  TControlForm& form = Open();
  form.CheckSub.Checked = true;
  Host.Folder = Dir.Name("w");
  Host.OnYield = [&] {
    if (form.FolderList.Items.size() >= 5) {
      form.FormClose();
    }
  };
  form.BtnAddClick();
  EXPECT_TRUE(form.Stopping());
  EXPECT_LE(form.FolderList.Items.size(), 6u);
  EXPECT_TRUE(form.BtnOKEnabled);
}

TEST_F(ControlFormFolders, DropsAddFoldersWithTrailingDelimiterOnlyOnTheFolderPage) {
  MakeTree();
  TControlForm& form = Open();
  form.WMDropFiles({Dir.Name("a")});
  EXPECT_TRUE(form.FolderList.Items.empty());  // the version page is shown
  EXPECT_TRUE(form.BtnOKEnabled);

  form.ActivePage = TControlPage::FoldersPage;
  form.CheckSub.Checked = true;
  form.WMDropFiles({Dir.Name("file.avi"), Dir.Name("b")});
  const std::string top = In("a").substr(0, In("a").size() - 2);
  EXPECT_EQ(form.FolderList.Items[0], top);  // the file's folder, then its sub-folders
  // "b" was listed by the walk already: not again.
  const std::size_t count = form.FolderList.Items.size();
  EXPECT_EQ(count, 5u);
  // A folder that is listed already is not walked again.
  const int yields = Host.Yields;
  form.WMDropFiles({Dir.Name("a")});
  EXPECT_EQ(Host.Yields, yields + 1);
  EXPECT_EQ(form.FolderList.Items.size(), count);
}

// ---- Lists -------------------------------------------------------------

TEST_F(ControlFormTest, TheFolderListDeletesItsSelectedEntriesAndTellsTheCurrentOneAsHint) {
  TControlForm& form = Open();
  EXPECT_EQ(form.FolderList.Hint, "画像ファイルが入ったフォルダーを登録します");
  for (const char* folder : {"/a", "/b", "/c", "/d"}) {
    form.FolderList.Append(folder);
  }
  form.FolderListClick();  // no current entry: the hint stays
  EXPECT_EQ(form.FolderList.Hint, "画像ファイルが入ったフォルダーを登録します");
  EXPECT_FALSE(form.BtnDeleteEnabled);
  form.FolderList.ItemIndex = 2;
  form.FolderList.Selected = {true, false, true, false};
  form.FolderListClick();
  EXPECT_EQ(form.FolderList.Hint, "/c");
  EXPECT_TRUE(form.BtnDeleteEnabled);
  form.BtnDeleteClick();
  EXPECT_EQ(form.FolderList.Items, (std::vector<std::string>{"/b", "/d"}));
  EXPECT_TRUE(form.BtnDeleteEnabled);
  form.FolderList.Selected = {true, true};
  form.BtnDeleteClick();
  EXPECT_TRUE(form.FolderList.Items.empty());
  EXPECT_FALSE(form.BtnDeleteEnabled);
  // A deleted folder can be added again.
  Host.Folder = "/b";
  form.BtnAddClick();
  EXPECT_EQ(form.FolderList.Items, (std::vector<std::string>{"/b"}));
}

TEST_F(ControlFormTest, ExtensionsAreAddedTrimmedAsTypedAndDeletedOneAtATime) {
  TControlForm& form = Open();
  Host.Answer = "  .MKV ";
  form.ButtonExtAddClick();
  EXPECT_EQ(form.MovieExt.Items.back(), ".MKV");
  EXPECT_EQ(Host.Calls.back(), "InputBox 拡張子の追加 拡張子をピリオドを抜いて入力してください.");
  Host.Answer.reset();  // cancelled: the empty default
  form.ButtonExtAddClick();
  Host.Answer = "avi";  // duplicates are not checked
  form.ButtonExtAddClick();
  EXPECT_EQ(form.MovieExt.Items.size(), 11u);

  form.MovieExtClick();
  EXPECT_TRUE(form.ButtonExtDeleteEnabled);
  form.MovieExt.ItemIndex = 0;
  form.ButtonExtDeleteClick();
  EXPECT_EQ(form.MovieExt.Items.front(), "mpg");
  EXPECT_EQ(form.MovieExt.ItemIndex, -1);
  EXPECT_FALSE(form.ButtonExtDeleteEnabled);
  form.ButtonExtDeleteClick();  // nothing current: nothing removed
  EXPECT_EQ(form.MovieExt.Items.size(), 10u);
}

// ---- Other handlers ----------------------------------------------------

TEST_F(ControlFormTest, ChoosersAndLinksChangeOnlyWhatTheyConfirm) {
  TControlForm& form = Open();
  form.PanelColorClick();  // cancelled
  EXPECT_EQ(form.PanelColor, 0x8000000Fu);
  Host.Color = 0x000000FF;
  form.PanelColorClick();
  EXPECT_EQ(form.PanelColor, 0x000000FFu);
  EXPECT_EQ(form.PanelColorFont, 0xFFFFFF00u);

  form.EditLogFile = "kept";
  form.LogFileButtonClick();
  EXPECT_EQ(form.EditLogFile, "kept");
  Host.SaveName = "/home/me/log.txt";
  form.LogFileButtonClick();
  EXPECT_EQ(form.EditLogFile, "/home/me/log.txt");
  EXPECT_EQ(Host.Calls.back(), "SaveDialog 表示履歴ファイルを指定してください");

  form.HomePageLinkClick();
  form.SupportBoardLinkClick();
  EXPECT_EQ(Host.Calls.back(), "Open https://board.example/");
  EXPECT_EQ(Host.Calls[Host.Calls.size() - 2], "Open https://home.example/");

  form.PreviewRandom.Checked = true;
  form.PreviewRandomClick();
  EXPECT_FALSE(form.PreViewMin.Enabled);
  form.PreviewRandom.Checked = false;
  form.PreviewRandomClick();
  EXPECT_TRUE(form.PreViewMin.Enabled);
}

// ---- Numeric edits and the layout ----------------------------------------

TEST(NumberEdit, ShowsItsDisplayFormatAndGivesTheSaveAPlainNumber) {
  EXPECT_EQ(FormatDisplayNumber(60, "0.;-0."), "60.");
  EXPECT_EQ(FormatDisplayNumber(-5, "0.;-0."), "-5.");
  EXPECT_EQ(FormatDisplayNumber(10, "0;-0"), "10");
  EXPECT_EQ(FormatDisplayNumber(0, "0;-0"), "0");
  EXPECT_EQ(FormatDisplayNumber(30, "0.;-0"), "30.");
  EXPECT_EQ(FormatDisplayNumber(-30, "0.;-0"), "-30");
  EXPECT_EQ(FormatDisplayNumber(12.5, "0;-0"), "13");  // half away from zero
  EXPECT_EQ(FormatDisplayNumber(-12.5, "0;-0"), "-13");
  EXPECT_EQ(FormatDisplayNumber(1.25, "0.0#"), "1.25");
  EXPECT_EQ(FormatDisplayNumber(1.2, "#.00 s"), "1.20 s");

  EXPECT_EQ(NumberEditText(60), "60");
  EXPECT_EQ(NumberEditText(12.5), "12.5");
  EXPECT_EQ(NumberEditText(-3), "-3");
  EXPECT_EQ(NumberEditText(1.004), "1");
  EXPECT_EQ(NumberEditText(0), "");

  for (char c : std::string("0123456789.-+")) {
    EXPECT_TRUE(IsNumberCharacter(c)) << c;
  }
  for (char c : std::string("aZ ,e/")) {
    EXPECT_FALSE(IsNumberCharacter(c)) << c;
  }
}

TEST(ErrorReport, EndsTheMessageWithAFullStop) {
  EXPECT_EQ(ErrorReportText("'ab' is not a valid integer value"),
            "'ab' is not a valid integer value.");
  EXPECT_EQ(ErrorReportText("'Draw Wait' の設定に失敗しました"),
            "'Draw Wait' の設定に失敗しました.");
  EXPECT_EQ(ErrorReportText("Done."), "Done.");
  EXPECT_EQ(ErrorReportText("(see above)"), "(see above)");  // ")" stands below "."
  EXPECT_EQ(ErrorReportText(""), "");
}

TEST(ControlFormLayout, EveryControlSitsInAParentDeclaredBeforeIt) {
  std::vector<std::string_view> seen = {""};
  for (const TControlLayout& control : kControlFormLayout) {
    EXPECT_NE(std::find(seen.begin(), seen.end(), control.Parent), seen.end()) << control.Name;
    EXPECT_EQ(std::find(seen.begin(), seen.end(), control.Name), seen.end()) << control.Name;
    seen.push_back(control.Name);
  }
  // The pages stand in their designed order.
  std::vector<std::string_view> pages;
  for (const TControlLayout& control : kControlFormLayout) {
    if (control.Kind == TControlKind::Page) {
      pages.push_back(control.Name);
    }
  }
  EXPECT_EQ(pages, (std::vector<std::string_view>{"FoldersPage", "OptionsPage", "VersionPage",
                                                  "ExtrasPage"}));
}

// Every control whose state the user changes or the form sets is bound to
// exactly one part of the form, through a binding of its own kind: a
// control left out of the bindings would silently never be saved or shown.
TEST(ControlFormBindings, BindEachControlOnceThroughTheListOfItsKind) {
  const TControlFormDesign& design = ControlFormDesign();
  std::map<std::string_view, TControlKind> kinds;
  for (const TControlLayout& control : design.Layout) {
    kinds[control.Name] = control.Kind;
  }
  std::map<std::string_view, int> bound;
  const auto check = [&](const auto& bindings, std::vector<TControlKind> fitting) {
    for (const auto& binding : bindings) {
      ++bound[binding.Name];
      ASSERT_TRUE(kinds.count(binding.Name)) << binding.Name << " is not in the layout";
      EXPECT_NE(std::find(fitting.begin(), fitting.end(), kinds[binding.Name]), fitting.end())
          << binding.Name;
    }
  };
  const TControlBindings& b = design.Bindings;
  check(b.CheckBoxes, {TControlKind::CheckBox});
  check(b.RadioGroups, {TControlKind::RadioGroup});
  check(b.Edits, {TControlKind::Edit});
  check(b.NumberEdits, {TControlKind::NumberEdit});
  check(b.ListBoxes, {TControlKind::ListBox, TControlKind::SingleListBox});
  check(b.ButtonsEnabled, {TControlKind::Button});
  check(b.Labels, {TControlKind::Label});
  check(b.LinkLabels, {TControlKind::LinkLabel});
  for (const auto& [name, count] : bound) {
    EXPECT_EQ(count, 1) << name;
  }
  // Events run handlers of controls that have such events.
  const auto checkEvents = [&](const std::vector<TEventBinding>& events,
                               std::vector<TControlKind> fitting) {
    for (const TEventBinding& event : events) {
      ASSERT_TRUE(kinds.count(event.Name)) << event.Name << " is not in the layout";
      EXPECT_NE(std::find(fitting.begin(), fitting.end(), kinds[event.Name]), fitting.end())
          << event.Name;
    }
  };
  checkEvents(b.Clicks, {TControlKind::Button, TControlKind::GlyphButton, TControlKind::CheckBox,
                         TControlKind::ColorPanel, TControlKind::LinkLabel});
  checkEvents(b.Selections, {TControlKind::ListBox, TControlKind::SingleListBox});
  for (const TControlLayout& control : design.Layout) {
    switch (control.Kind) {
      case TControlKind::CheckBox:
      case TControlKind::RadioGroup:
      case TControlKind::Edit:
      case TControlKind::NumberEdit:
      case TControlKind::ListBox:
      case TControlKind::SingleListBox:
      case TControlKind::LinkLabel:
        EXPECT_EQ(bound[control.Name], 1) << control.Name << " is bound to nothing";
        break;
      default:
        break;
    }
  }
}

// A binding reaches the very member it names, for reading and writing.
TEST_F(ControlFormTest, BindingsReachTheMembersTheyName) {
  TControlForm& form = Open();
  const TControlBindings& b = ControlFormDesign().Bindings;
  const auto find = [](const auto& bindings, std::string_view name) {
    return *std::find_if(bindings.begin(), bindings.end(),
                         [&](const auto& binding) { return binding.Name == name; });
  };
  find(b.CheckBoxes, "CheckSkipBlank").State(form).Checked = true;
  EXPECT_TRUE(form.CheckSkipBlank.Checked);
  EXPECT_FALSE(form.CheckRememberShown.Checked);
  find(b.RadioGroups, "RadioDrawPosition").State(form) = 0;
  EXPECT_EQ(form.RadioDrawPosition, 0);
  EXPECT_EQ(&find(b.NumberEdits, "PreviewMax").State(form), &form.PreviewMax);
  EXPECT_EQ(&find(b.LinkLabels, "SupportBoardLink").State(form), &form.SupportBoardLink);
}

}  // namespace
}  // namespace tavelune
