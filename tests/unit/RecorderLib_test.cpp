#include "probe/RecorderLib.h"

#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "helpers/TestFiles.h"

namespace tavelune {
namespace {

struct TEntry {
  std::string TapeId = "0012";
  std::string Number = "007";
  std::string Date = "20031225";
  std::string Time = "123456";
  std::string Length = "3600";
  std::string Note = "note";
  std::string State = "0";
  std::string Title =
      "\x81\x40"
      "Title \x83\x65\x83\x58\x83\x67\x81\x40 ";  // "　Title テスト　 "
  std::size_t LineLength = 1022;
};

std::string Put(std::string line, std::size_t column, const std::string& text) {
  line.replace(column - 1, text.size(), text);
  return line;
}

// One fixed-column entry line, without its line end.
std::string EntryLine(const TEntry& entry) {
  std::string line(entry.LineLength, ' ');
  line = Put(line, 1, entry.TapeId);
  line = Put(line, 5, ":");
  line = Put(line, 76, entry.Number);
  line = Put(line, 91, entry.Date);
  line = Put(line, 99, entry.Time);
  line = Put(line, 145, entry.Length);
  line = Put(line, 189, entry.Note);
  line = Put(line, 453, entry.State);
  line = Put(line, 492, entry.Title);
  return line;
}

class RecorderLib : public ::testing::Test {
 protected:
  std::string Movie(const std::string& name) { return FDir.Name(name); }
  void Write(const std::string& relative, const std::string& bytes) { FDir.Write(relative, bytes); }
  test::TTempDir FDir;
};

TEST_F(RecorderLib, ReadsTheFirstEntryOfASideFile) {
  Write("0012 movie.SDB", "header line\r\n" + EntryLine({}) + "\r\n");
  TRecorderTapeLib record;
  ASSERT_TRUE(LookupSideFile(Movie("0012 movie.mpg"), record));
  EXPECT_EQ(record.TapeId, "0012");
  EXPECT_EQ(record.Title, "Title \x83\x65\x83\x58\x83\x67");
  EXPECT_EQ(record.LengthValue, 3600);
  EXPECT_EQ(FormatIsoDateTime(record.EntryTime), "2003-12-25 12:34:56");
  EXPECT_EQ(record.EntryTimeCopy, record.EntryTime);
  EXPECT_EQ(record.Note, "note");
  EXPECT_EQ(record.StateFlag, 0);
  EXPECT_EQ(record.Number, 7);
  EXPECT_EQ(record.Memo, "");
  EXPECT_EQ(record.Spare, "");
  EXPECT_FALSE(IsRecordingUnusable(record));
}

TEST_F(RecorderLib, TakesTheLastMemoLineAfterTheSideFileEntry) {
  TEntry second;
  second.TapeId = "0099";
  Write("a.SDB", "0000:before the entry\n" + EntryLine({}) + "\n0001:  first memo \n" +
                     "no colon here\n" + EntryLine(second) + "\n0002:\tlast memo\t\n");
  TRecorderTapeLib record;
  ASSERT_TRUE(LookupSideFile(Movie("a.avi"), record));
  EXPECT_EQ(record.TapeId, "0012");  // later entry lines are memo lines
  EXPECT_EQ(record.Memo, "last memo");
}

TEST_F(RecorderLib, AcceptsSideFileEntriesOfAtLeast1022Bytes) {
  TEntry longer;
  longer.LineLength = 1023;
  TEntry shorter;
  shorter.LineLength = 1021;
  shorter.TapeId = "0001";
  Write("a.SDB", EntryLine(shorter) + "\n" + EntryLine(longer) + "\n");
  TRecorderTapeLib record;
  ASSERT_TRUE(LookupSideFile(Movie("a.mpg"), record));
  EXPECT_EQ(record.TapeId, "0012");
}

TEST_F(RecorderLib, SaysFoundForASideFileWithoutEntry) {
  Write("a.SDB", "nothing of use\n");
  TRecorderTapeLib record;
  EXPECT_TRUE(LookupSideFile(Movie("a.mpg"), record));
  EXPECT_EQ(record.TapeId, "");
  EXPECT_TRUE(IsRecordingUnusable(record));  // length 0
  EXPECT_FALSE(LookupSideFile(Movie("b.mpg"), record));
}

TEST_F(RecorderLib, FindsTheSideFileOfANameWithoutExtension) {
  Write("movie.SDB", EntryLine({}) + "\n");
  TRecorderTapeLib record;
  EXPECT_TRUE(LookupSideFile(Movie("movie"), record));
}

TEST_F(RecorderLib, MatchesLibraryLinesByTheFirstFourBytesOfTheName) {
  TEntry other;
  other.TapeId = "0013";
  TEntry tooLong;
  tooLong.LineLength = 1023;
  tooLong.Title = "too long";
  TEntry first;
  first.Title = "first";
  TEntry second;
  second.Title = "second";
  Write("SGPDB/SGPDBTape.SVD", EntryLine(first) + "\r\n" + EntryLine(other) + "\r\n" +
                                   EntryLine(tooLong) + "\r\n" + EntryLine(second) + "\r\n");
  TRecorderTapeLib record;
  ASSERT_TRUE(LookupLibrary(Movie("0012 whatever follows.mpg"), record));
  EXPECT_EQ(record.Title, "second");
  TRecorderTapeLib none;
  EXPECT_FALSE(LookupLibrary(Movie("0014.mpg"), none));
  EXPECT_FALSE(LookupLibrary(Movie("001.mpg"), none));
}

TEST_F(RecorderLib, TakesTheMemoFromTheNinthLineOfTheExtensionFile) {
  Write("SGPDB/SGPDBTape.SVD", EntryLine({}) + "\n");
  std::string lines;
  for (int i = 1; i <= 8; ++i) {
    lines += "line " + std::to_string(i) + "\n";
  }
  Write("SGPDB/TapeExt/TxTx0012.SVB", lines);
  TRecorderTapeLib record;
  ASSERT_TRUE(LookupLibrary(Movie("0012.mpg"), record));
  EXPECT_EQ(record.Memo, "");  // eight lines: no memo
  Write("SGPDB/TapeExt/TxTx0012.SVB", lines + "0009: the memo \nline 10\n");
  ASSERT_TRUE(LookupLibrary(Movie("0012.mpg"), record));
  EXPECT_EQ(record.Memo, "the memo");
}

TEST_F(RecorderLib, SkipsRecordingsTheLibraryMarks) {
  TRecorderTapeLib record;
  record.TapeId = "0012";
  record.LengthValue = 10;
  EXPECT_FALSE(IsRecordingUnusable(record));
  record.StateFlag = 1;
  EXPECT_TRUE(IsRecordingUnusable(record));
  record.StateFlag = 0;
  record.TapeId = "0000";
  EXPECT_TRUE(IsRecordingUnusable(record));
}

TEST_F(RecorderLib, ReadsBadColumnsAsZerosAndFallbacks) {
  TEntry bad;
  bad.Length = "12x";
  bad.State = "x";
  bad.Number = "a1";
  bad.Date = "99999999";
  bad.Time = "2561";
  bad.Title = "\x81\x40\x81\x40   \x81\x40";
  Write("a.SDB", EntryLine(bad) + "\n");
  TRecorderTapeLib record;
  ASSERT_TRUE(LookupSideFile(Movie("a.mpg"), record));
  EXPECT_EQ(record.LengthValue, 0);
  EXPECT_EQ(record.StateFlag, 0);
  EXPECT_EQ(record.Number, 0);
  EXPECT_EQ(FormatIsoDateTime(record.EntryTime), "1970-01-01 00:00:00");
  EXPECT_EQ(record.Title, "");
}

TEST_F(RecorderLib, StaysBoundedOnAHugeSideFileWithoutLineEnds) {
  // 64 MiB in one line: read through once, kept only in part.
  Write("a.SDB", "0012:" + std::string(64 * 1024 * 1024, 'x'));
  TRecorderTapeLib record;
  ASSERT_TRUE(LookupSideFile(Movie("a.mpg"), record));
  EXPECT_EQ(record.TapeId, "0012");
  EXPECT_EQ(record.Title, std::string(256, 'x'));
}

}  // namespace
}  // namespace tavelune
