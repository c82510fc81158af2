#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include "settings/MemoryKeyStore.h"
#include "settings/SettingsTranscript.h"

namespace tavelune {
namespace {

using Lines = std::vector<std::string>;

// Every named value stored, as a save of the dialog leaves them.
void StoreAll(IKeyStore& store) {
  auto key = store.CreateKey(kSettingsKey);
  key->WriteString("LogFile", "history.log");
  key->WriteInteger("Draw Posision", 0);
  key->WriteInteger("Graphics Size", 1);
  key->WriteInteger("Screen Clear", 1);
  key->WriteString("Point Cast", "C:\\WINDOWS\\SYSTEM32\\OTHER.SCR");
  key->WriteInteger("Random Sort", 0);
  key->WriteInteger("Rotate", 1);
  key->WriteInteger("Capture", 1);
  key->WriteInteger("DispFileName", 1);
  key->WriteInteger("BackColor", 0x00112233);
  key->WriteInteger("Draw Wait", 7);
  key->WriteInteger("PreviewRandom", 0);
  key->WriteInteger("PreViewSeconds", 90);
  key->WriteInteger("PreViewMin", 4);
  key->WriteInteger("PreViewMax", 8);
}

TSaverSettings ReadSaver(IKeyStore& store, bool stop = false) {
  TSaverSettings settings;
  std::atomic<bool> stopFlag{stop};
  ReadSaverSettings(store, settings, stopFlag, [](std::int32_t bound) { return bound - 1; });
  return settings;
}

TSettingsTranscript ReadDialog(IKeyStore& store) {
  TSettingsTranscript transcript;
  ReadDialogSettings(store, transcript, {"c:\\windows\\system32\\other.scr"});
  return transcript;
}

TEST(ReadSaverSettings, KeepsTheSaverDefaultsForAnEmptyStore) {
  TMemoryKeyStore store;
  EXPECT_EQ(SaverSettingsLines(ReadSaver(store)), SaverSettingsLines(TSaverSettings{}));
  TSettingsTranscript dialog = ReadDialog(store);
  EXPECT_EQ(dialog.Lines, Lines{});
  EXPECT_FALSE(dialog.Completed);
}

TEST(ReadSaverSettings, ReadsEveryStoredValue) {
  TMemoryKeyStore store;
  StoreAll(store);
  EXPECT_EQ(SaverSettingsLines(ReadSaver(store)),
            (Lines{"LogFile=history.log", "Draw Posision=0", "Graphics Size=1", "Screen Clear=1",
                   "Point Cast=C:\\WINDOWS\\SYSTEM32\\OTHER.SCR", "Random Sort=0", "Rotate=1",
                   "Capture=1", "DispFileName=1", "BackColor=1122867", "Draw Wait=7",
                   "PreviewRandom=0", "PreViewSeconds=90", "PreViewMin=4", "PreViewMax=8",
                   "Skip Blank=0", "Remember Shown=0"}));
}

TEST(ReadSaverSettings, ReadsTheExtendedSettingsOnTheirOwn) {
  TMemoryKeyStore store;
  StoreAll(store);
  auto key = store.CreateKey(kSettingsKey);
  key->WriteInteger("Skip Blank", 1);
  key->WriteInteger("Remember Shown", 0x101);  // the lowest 8 bits: true
  TSaverSettings settings = ReadSaver(store);
  EXPECT_TRUE(settings.SkipBlank);
  EXPECT_TRUE(settings.RememberShown);
  // A main block that ends early does not take them along; a value of
  // another type reads as off.
  key->WriteString("Graphics Size", "x");
  key->WriteString("Remember Shown", "1");
  settings = ReadSaver(store);
  EXPECT_EQ(settings.DrawWait, 5);
  EXPECT_TRUE(settings.SkipBlank);
  EXPECT_FALSE(settings.RememberShown);
  // The dialog's reader hands over what is stored as a number, after the block.
  TSettingsTranscript dialog = ReadDialog(store);
  EXPECT_EQ(dialog.Lines, (Lines{"LogFile=history.log", "Draw Posision=0", "Skip Blank=1"}));
}

TEST(ReadSaverSettings, EndsItsBlockAtTheFirstFailedRead) {
  TMemoryKeyStore store;
  StoreAll(store);
  // "BackColor" stored as text: the block ends there.
  store.CreateKey(kSettingsKey)->WriteString("BackColor", "red");
  TSaverSettings settings = ReadSaver(store);
  EXPECT_TRUE(settings.DispFileName);  // read before the failure
  EXPECT_EQ(settings.BackColor, 0u);   // defaults from the failure on
  EXPECT_EQ(settings.DrawWait, 5);
  EXPECT_EQ(settings.LogFile, "");
  EXPECT_EQ(settings.PreviewSeconds, 60);
}

TEST(ReadSaverSettings, CutsTheWaitAndDrawsRandomSegmentNumbers) {
  TMemoryKeyStore store;
  StoreAll(store);
  auto key = store.CreateKey(kSettingsKey);
  key->WriteInteger("Draw Wait", 75);
  key->WriteInteger("PreviewRandom", 0x100);  // only the lowest 8 bits count: false
  EXPECT_EQ(ReadSaver(store).DrawWait, 59);
  EXPECT_FALSE(ReadSaver(store).PreviewRandom);
  key->WriteInteger("PreviewRandom", 1);
  TSaverSettings settings = ReadSaver(store);  // the fake draws bound - 1
  EXPECT_EQ(settings.PreviewSeconds, 1199);
  EXPECT_EQ(settings.PreviewMin, 29);
  EXPECT_EQ(settings.PreviewMax, 29 + 69);
  EXPECT_EQ(ReadDialog(store).Lines[10], "Draw Wait=75");
}

TEST(ReadDialogSettings, HandsOverInOrderWithTheGuardedFallbacks) {
  TMemoryKeyStore store;
  StoreAll(store);
  TSettingsTranscript all = ReadDialog(store);
  EXPECT_TRUE(all.Completed);
  EXPECT_EQ(all.Lines,
            (Lines{"LogFile=history.log", "Draw Posision=0", "Graphics Size=1", "Screen Clear=1",
                   "Point Cast=0", "Random Sort=0", "Rotate=1", "Capture=1", "DispFileName=1",
                   "BackColor=1122867", "Draw Wait=7", "PreviewRandom=0", "PreViewSeconds=90",
                   "PreViewMin=4", "PreViewMax=8"}));
  // Without "Capture" and "BackColor" the guards hand over their fixed values
  // and the block goes on.
  store.DeleteKey(kSettingsKey);
  StoreAll(store);
  auto key = store.CreateKey(kSettingsKey);
  key->WriteString("Capture", "x");
  key->WriteString("BackColor", "x");
  TSettingsTranscript guarded = ReadDialog(store);
  EXPECT_TRUE(guarded.Completed);
  EXPECT_EQ(guarded.Lines[7], "Capture=1");
  EXPECT_EQ(guarded.Lines[9], "BackColor=2147483649");
  // The saver keeps false for "Capture" and stops there.
  TSaverSettings saver = ReadSaver(store);
  EXPECT_FALSE(saver.Capture);
  EXPECT_EQ(saver.DrawWait, 5);
}

TEST(ReadDialogSettings, StopsAfterTheLogFileWhenThePositionIsMissing) {
  TMemoryKeyStore partial;
  auto key = partial.CreateKey(kSettingsKey);
  key->WriteString("LogFile", "x.log");
  key->WriteInteger("Graphics Size", 1);
  TSettingsTranscript dialog = ReadDialog(partial);
  EXPECT_EQ(dialog.Lines, Lines{"LogFile=x.log"});
  EXPECT_FALSE(dialog.Completed);
  EXPECT_EQ(ReadSaver(partial).GraphicsSize, 2);  // the saver keeps every default
  EXPECT_EQ(ReadSaver(partial).LogFile, "");
}

TEST(SettingsLists, StopAtTheFirstMissingOrBlankEntry) {
  TMemoryKeyStore store;
  auto folders = store.CreateKey(kFoldersKey);
  folders->WriteString("0000", "/a");
  folders->WriteString("0001", "  /b  ");
  folders->WriteString("0003", "/d");
  auto exts = store.CreateKey(kExtsKey);
  exts->WriteString("0000", "avi");
  exts->WriteString("0001", "   ");
  exts->WriteString("0002", "mpg");
  TSaverSettings settings = ReadSaver(store);
  EXPECT_EQ(settings.FolderList, (Lines{"/a", "  /b  "}));
  EXPECT_EQ(settings.ExtensionList, Lines{"avi"});
  // The sub-keys brought their parent with them: its block ends at once.
  EXPECT_EQ(ReadDialog(store).Lines,
            (Lines{"LogFile=", "Folders=/a", "Folders=  /b  ", "Exts=avi"}));
  // A stop request leaves the lists unread.
  EXPECT_EQ(ReadSaver(store, true).FolderList, Lines{});
}

TEST(SettingsLists, ReadBackAtMostTenThousandEntries) {
  TMemoryKeyStore store;
  TSaverSettings written;
  for (int i = 0; i < 10002; ++i) {
    written.FolderList.push_back("/m/" + std::to_string(i));
  }
  WriteSettings(store, written, {std::nullopt, "5", "60", "10", "30", "/opt/"});
  TSaverSettings read = ReadSaver(store);
  EXPECT_EQ(read.FolderList.size(), 10000u);
  EXPECT_EQ(read.FolderList.back(), "/m/9999");
  EXPECT_TRUE(store.OpenKey(kFoldersKey)->ReadValue("10001"));
}

TEST(WriteSettings, StoresWhatTheReadersReadBack) {
  TMemoryKeyStore store;
  TSaverSettings settings;
  settings.LogFile = " spaced.log ";
  settings.DrawPosition = 0;
  settings.Rotate = true;
  settings.BackColor = 0x8000000F;
  settings.FolderList = {"/movies", "/movies"};
  settings.ExtensionList = {"AVI", "mkv"};
  WriteSettings(store, settings, {"C:\\S.SCR", " 7 ", "12.5", "", "40", "/opt/tavelune/"});
  TSaverSettings read = ReadSaver(store);
  EXPECT_EQ(read.LogFile, " spaced.log ");  // as typed
  EXPECT_EQ(read.DrawWait, 7);
  EXPECT_EQ(read.PreviewSeconds, 60);  // "12.5" does not convert
  EXPECT_EQ(read.PreviewMin, 10);      // neither does ""
  EXPECT_EQ(read.PreviewMax, 40);
  EXPECT_EQ(read.BackColor, 0x8000000Fu);
  EXPECT_EQ(read.PointCast, "C:\\S.SCR");
  EXPECT_EQ(read.FolderList, (Lines{"/movies", "/movies"}));
  EXPECT_EQ(read.ExtensionList, (Lines{"AVI", "mkv"}));
  EXPECT_EQ(store.OpenKey(kSettingsKey)->ReadValue("RootPath")->Text, "/opt/tavelune/");
}

TEST(WriteSettings, CutsTheWaitTextToTwoCharactersAndKeepsPointCastUnlessChosen) {
  TMemoryKeyStore store;
  store.CreateKey(kSettingsKey)->WriteString("Point Cast", "kept");
  WriteSettings(store, {}, {std::nullopt, "120", "60", "10", "30", "/"});
  auto key = store.OpenKey(kSettingsKey);
  EXPECT_EQ(key->ReadValue("Draw Wait")->Number, 12);
  EXPECT_EQ(key->ReadValue("Point Cast")->Text, "kept");
}

TEST(WriteSettings, RefusesAWaitTextThatIsNoNumberBeforeWritingAnything) {
  TMemoryKeyStore store;
  store.CreateKey(kSettingsKey)->WriteInteger("DispFileName", 0);
  store.CreateKey(kFoldersKey)->WriteString("0000", "/old");
  TSaverSettings settings;
  settings.DispFileName = true;
  settings.FolderList = {"/movies"};
  try {
    WriteSettings(store, settings, {std::nullopt, "  ", "60", "10", "30", "/"});
    FAIL() << "no error";
  } catch (const EConvertError& error) {
    EXPECT_STREQ(error.what(), "'' is not a valid integer value");
  }
  // The earlier settings are all still there, none half replaced.
  auto key = store.OpenKey(kSettingsKey);
  EXPECT_EQ(key->ReadValue("DispFileName")->Number, 0);
  EXPECT_FALSE(key->ReadValue("Draw Posision"));
  EXPECT_EQ(store.OpenKey(kFoldersKey)->ReadValue("0000")->Text, "/old");
  EXPECT_THROW(WriteSettings(store, settings, {std::nullopt, "x7", "", "", "", "/"}),
               EConvertError);
}

// A store whose keys cannot be created (a settings file in a folder that
// cannot be written, a registry without rights).
class TUncreatableStore : public IKeyStore {
 public:
  std::unique_ptr<IStoreKey> OpenKey(const std::string& path) override {
    return Store.OpenKey(path);
  }
  std::unique_ptr<IStoreKey> CreateKey(const std::string& path) override {
    return path == Refused ? nullptr : Store.CreateKey(path);
  }
  bool DeleteKey(const std::string& path) override { return Store.DeleteKey(path); }
  TMemoryKeyStore Store;
  std::string Refused;
};

TEST(WriteSettings, ReportsAKeyItCannotCreateInsteadOfSavingNothing) {
  TUncreatableStore store;
  store.Refused = kSettingsKey;
  EXPECT_THROW(WriteSettings(store, {}, {std::nullopt, "5", "", "", "", "/"}), ERegistryError);
  EXPECT_EQ(store.OpenKey(kFoldersKey), nullptr);  // the lists were not touched

  store.Refused = kExtsKey;
  try {
    WriteSettings(store, {}, {std::nullopt, "5", "", "", "", "/"});
    FAIL() << "no error";
  } catch (const ERegistryError& error) {
    EXPECT_STREQ(error.what(), "'\\Software\\Norvane\\Tavelune\\Exts' の設定に失敗しました");
  }
}

TEST(WriteSettings, ReportsAWriteTheStoreRefuses) {
  TMemoryKeyStore store;
  store.CreateKey(kSettingsKey);
  store.RefuseWrites = true;
  try {
    WriteSettings(store, {}, {std::nullopt, "5", "", "", "", "/"});
    FAIL() << "no error";
  } catch (const ERegistryError& error) {
    EXPECT_STREQ(error.what(), "'Draw Posision' の設定に失敗しました");
  }
}

}  // namespace
}  // namespace tavelune
