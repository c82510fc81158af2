#include "settings/VersionInfo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "helpers/PeImage.h"
#include "helpers/TestFiles.h"
#include "platform/FileSystem.h"
#include "platform/Screen.h"
#include "platform/SystemDirs.h"
#include "settings/AttachedVersion.h"
#include "settings/PeVersionResource.h"

namespace tavelune {
namespace {

using test::TVersionBlockSpec;

TVersionBlockSpec AllFields() {
  TVersionBlockSpec spec;
  spec.Strings = {{u"CompanyName", u"Norvane"},        {u"FileDescription", u"Movie saver"},
                  {u"FileVersion", u"1.2.3"},          {u"InternalName", u"saver"},
                  {u"LegalCopyright", u"Someone"},     {u"LeagalTradeMarks", u"TM"},
                  {u"OriginalFileName", u"saver.scr"}, {u"ProductName", u"Saver"},
                  {u"ProductVersion", u"1.2"},         {u"Comment", u"note"},
                  {u"SCRNSAVE", u"Movie saver"}};
  return spec;
}

TVersionRecord Read(const std::string& fileName) {
  TVersionRecord record;
  record.ProductName = "left over";
  EXPECT_TRUE(ReadVersionRecord(fileName, record));
  return record;
}

bool AllEmpty(const TVersionRecord& record) {
  for (const auto& field : kVersionFields) {
    if (!(record.*field.second).empty()) {
      return false;
    }
  }
  return true;
}

TEST(ReadVersionRecord, FillsAllElevenFieldsFromAProgramsVersionResource) {
  test::TTempDir dir;
  TVersionRecord record =
      Read(dir.Write("saver.scr", test::PeImage(test::VersionBlock(AllFields()))));
  EXPECT_EQ(record.CompanyName, "Norvane");
  EXPECT_EQ(record.FileDescription, "Movie saver");
  EXPECT_EQ(record.FileVersion, "1.2.3");
  EXPECT_EQ(record.InternalName, "saver");
  EXPECT_EQ(record.LegalCopyright, "Someone");
  EXPECT_EQ(record.LeagalTradeMarks, "TM");
  EXPECT_EQ(record.OriginalFileName, "saver.scr");
  EXPECT_EQ(record.ProductName, "Saver");
  EXPECT_EQ(record.ProductVersion, "1.2");
  EXPECT_EQ(record.Comment, "note");
  EXPECT_EQ(record.SCRNSAVE, "Movie saver");
}

TEST(ReadVersionRecord, ChoosesTheResourceByTheExtensionInAnyCase) {
  test::TTempDir dir;
  std::string image = test::PeImage(test::VersionBlock(AllFields()));
  EXPECT_EQ(Read(dir.Write("SAVER.EXE", image)).ProductName, "Saver");
  EXPECT_EQ(Read(dir.Write("saver.ex", image)).ProductName, "Saver");  // inside ".exe"
  EXPECT_EQ(Read(dir.Write("saver.Dll", image)).ProductName, "Saver");
  // Without a program extension the file is read as a text header.
  EXPECT_TRUE(AllEmpty(Read(dir.Write("saver", image))));
  EXPECT_TRUE(AllEmpty(Read(dir.Write("saver.bin", image))));
}

TEST(ReadVersionRecord, FindsTablesAndKeysWhateverTheirLetterCase) {
  test::TTempDir dir;
  TVersionBlockSpec spec;
  spec.TableKey = u"041104b0";  // as many resource compilers write it
  spec.Strings = {{u"productname", u"Saver"}};
  EXPECT_EQ(Read(dir.Write("a.exe", test::PeImage(test::VersionBlock(spec)))).ProductName, "Saver");
}

TEST(ReadVersionRecord, QueriesTheKeysExactlyAsSpelled) {
  test::TTempDir dir;
  TVersionBlockSpec spec;
  spec.Strings = {{u"LegalTrademarks", u"TM"}, {u"Comments", u"note"}};
  TVersionRecord record = Read(dir.Write("a.exe", test::PeImage(test::VersionBlock(spec))));
  EXPECT_EQ(record.LeagalTradeMarks, "");
  EXPECT_EQ(record.Comment, "");
}

TEST(ReadVersionRecord, UsesTheTableOfTheFirstTranslation) {
  test::TTempDir dir;
  TVersionBlockSpec spec = AllFields();
  spec.Language = 0x0409;  // no table 040904B0 in the block
  EXPECT_TRUE(AllEmpty(Read(dir.Write("a.exe", test::PeImage(test::VersionBlock(spec))))));
  spec.WithTranslation = false;
  spec.Language = 0x0411;
  EXPECT_TRUE(AllEmpty(Read(dir.Write("b.exe", test::PeImage(test::VersionBlock(spec))))));
}

TEST(ReadVersionRecord, CutsValuesAt256Characters) {
  test::TTempDir dir;
  TVersionBlockSpec spec;
  spec.Strings = {{u"Comment", std::u16string(300, u'x')}, {u"ProductName", u"\u30bb\u30fc\u30d0"}};
  TVersionRecord record = Read(dir.Write("a.exe", test::PeImage(test::VersionBlock(spec))));
  EXPECT_EQ(record.Comment, std::string(256, 'x'));
  // Texts arrive in the system code page.
  EXPECT_FALSE(record.ProductName.empty());
}

TEST(ReadVersionRecord, GivesEmptyFieldsForProgramsWithoutVersionInformation) {
  test::TTempDir dir;
  std::string withoutVersion = test::PeImage(test::VersionBlock(AllFields()), 2);
  EXPECT_TRUE(AllEmpty(Read(dir.Write("a.exe", withoutVersion))));
  EXPECT_TRUE(AllEmpty(Read(dir.Write("b.exe", "MZ not really a program"))));
  EXPECT_TRUE(AllEmpty(Read(dir.Name("missing.exe"))));
}

TEST(ReadVersionRecord, NeverReadsOutsideADamagedImage) {
  std::string image = test::PeImage(test::VersionBlock(AllFields()));
  // Every truncation and a sweep of byte damage: either nothing or a
  // consistent block, and never a fault (the sanitizer builds watch reads).
  for (std::size_t length = 0; length < image.size(); ++length) {
    std::string block = VersionInfoBlockFromImage(image.substr(0, length));
    EXPECT_TRUE(block.empty()) << length;
  }
  for (std::size_t at = 0; at < image.size(); ++at) {
    std::string damaged = image;
    damaged[at] = static_cast<char>(damaged[at] ^ 0xFF);
    std::string block = VersionInfoBlockFromImage(damaged);
    for (const auto& field : kVersionFields) {
      QueryVersionValue(block, "\\StringFileInfo\\041104B0\\" + std::string(field.first));
    }
    FirstTranslation(block);
  }
}

TEST(ReadVersionRecord, ReadsTheRecordOfTheProjectsOwnPrograms) {
  std::string self = platform::ProgramDir() + "tavelune_unit_tests";
  TVersionRecord record = Read(platform::FileExists(self) ? self : self + ".exe");
  EXPECT_EQ(record.ProductName, "Tavelune");
  EXPECT_EQ(record.CompanyName, "Norvane");
  EXPECT_FALSE(record.FileVersion.empty());
  EXPECT_EQ(record.InternalName, "tavelune_unit_tests");
}

TEST(ReadVersionRecord, ReadsNameVersionAndAuthorFromATextHeader) {
  test::TTempDir dir;
  TVersionRecord record = Read(dir.Write("viewer.pl",
                                         "#!/usr/bin/perl\n# Viewer ver 2.1\n"
                                         "# by Someone Else\n"));
  EXPECT_EQ(record.ProductName, "Viewer ");
  EXPECT_EQ(record.FileVersion, "2.1");
  EXPECT_EQ(record.LegalCopyright, "Someone Else");
  EXPECT_EQ(record.CompanyName, "");
}

TEST(ReadVersionRecord, TakesOnlyTheTextBetweenTwoKeywords) {
  test::TTempDir dir;
  TVersionRecord record = Read(dir.Write("tool.sh", "# Tool ver 1.0 by Anne\n"));
  EXPECT_EQ(record.FileVersion, "1.0");
  EXPECT_EQ(record.LegalCopyright, "Anne");
  record = Read(dir.Write("tool2.sh", "#;: Tool by Anne ver 3\n"));
  EXPECT_EQ(record.ProductName, "Tool by Anne ");
  EXPECT_EQ(record.LegalCopyright, "Anne");
  EXPECT_EQ(record.FileVersion, "3");
}

TEST(ReadVersionRecord, ReadsAtMostTenHeaderLines) {
  test::TTempDir dir;
  std::string header;
  for (int i = 0; i < 10; ++i) {
    header += "plain line\n";
  }
  EXPECT_TRUE(AllEmpty(Read(dir.Write("late.txt", header + "# Late ver 1\n"))));
  // Filled fields are not changed by later lines.
  TVersionRecord record = Read(dir.Write("two.txt", "# First ver 1\n# Second ver 2 by X\n"));
  EXPECT_EQ(record.ProductName, "First ");
  EXPECT_EQ(record.FileVersion, "1");
  EXPECT_EQ(record.LegalCopyright, "X");
}

TEST(TrimFullWidth, RemovesBlanksAndFullWidthBlanksAtBothEnds) {
  EXPECT_EQ(TrimFullWidth(" \x81\x40 \x81\x40title\x81\x40 \x81\x40 \t"), "title");
  EXPECT_EQ(TrimFullWidth("\x81\x40\x81\x40"), "");
  EXPECT_EQ(TrimFullWidth(""), "");
  EXPECT_EQ(TrimFullWidth("\x81"), "\x81");
  EXPECT_EQ(TrimFullWidth(" a b "), "a b");
}

TEST(TrimFullWidth, KeepsADoubleByteCharacterWhoseSecondByteIs0x81) {
  // 0x88 0x81 is one character; the "@" (0x40) after it is not a full-width blank.
  EXPECT_EQ(TrimFullWidth("\x88\x81\x40"), "\x88\x81\x40");
  // After an even run of lead bytes, 0x81 0x40 is a full-width blank.
  EXPECT_EQ(TrimFullWidth("\x88\x81\x81\x40"), "\x88\x81");
}

class TFixedScreen : public platform::IScreenInfo {
 public:
  int ColorDepth() override { return 32; }
};

TEST(ScreenColorDepth, AsksTheInstalledScreen) {
  EXPECT_EQ(platform::ScreenColorDepth(), 0);
  TFixedScreen screen;
  platform::SetScreenInfo(&screen);
  EXPECT_EQ(platform::ScreenColorDepth(), 32);
  platform::SetScreenInfo(nullptr);
}

}  // namespace
}  // namespace tavelune
