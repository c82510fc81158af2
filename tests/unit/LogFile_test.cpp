#include "catalogue/LogFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "base/FileNames.h"
#include "base/Synchronize.h"
#include "helpers/TestFiles.h"
#include "platform/PathStyle.h"
#include "platform/SystemDirs.h"

namespace tavelune {
namespace {

std::string Contents(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LogFile : public ::testing::Test {
 protected:
  TLogFile Log{platform::ProgramFileName()};
  test::TTempDir FDir;
};

TEST_F(LogFile, WritesStartVersionLinesAndEndRecords) {
  Log.SetLogFileName(FDir.Name("play.log"));
  Log.SetActive(true);
  EXPECT_TRUE(Log.WriteLine("2003/12/25 12:00:00, \x83\x65\x83\x58\x83\x67.mpg Start"));
  EXPECT_TRUE(Log.WriteLine("broken", true));
  Log.SetActive(false);
  EXPECT_FALSE(Log.WriteLine("not written"));
  const std::string text = Contents(FDir.Name("play.log"));
  EXPECT_TRUE(std::regex_match(
      text, std::regex("--- START ---\t\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n"
                       "Version 0\\.1\\.0\r\n"
                       "2003/12/25 12:00:00, \x83\x65\x83\x58\x83\x67\\.mpg Start\r\n"
                       "play\\.log: broken \\(C\\.ERROR\\)\r\n"
                       "--- END ---\t\\d{4}-\\d\\d-\\d\\d\t[^\r\n]+\r\n")))
      << text;
}

TEST_F(LogFile, WritesASecondStartRecordWhenActivatedTwice) {
  Log.SetLogFileName(FDir.Name("play.log"));
  Log.SetActive(true);
  Log.SetActive(true);
  std::string text = Contents(FDir.Name("play.log"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
}

TEST_F(LogFile, WritesNothingWithoutAName) {
  Log.SetLogFileName("   ");
  Log.SetActive(true);
  EXPECT_FALSE(Log.WriteLine("x"));
}

TEST_F(LogFile, CompletesRelativeNamesWithTheProgramsFolder) {
  TLogFile log(FDir.Name("bin/program"));
  log.SetLogFileName("play.txt");
  log.SetActive(true);
  EXPECT_EQ(log.LogFileName(), FDir.Name("bin/play.txt"));
  EXPECT_FALSE(Contents(FDir.Name("bin/play.txt")).empty());  // the folder was created
  TLogFile rooted(FDir.Name("bin/program"));
  rooted.SetLogFileName(FDir.Name("elsewhere.txt"));
  rooted.SetActive(true);
  EXPECT_EQ(rooted.LogFileName(), FDir.Name("elsewhere.txt"));
}

TEST_F(LogFile, RaisesWhenNeitherStartNorEndRecordCanBeWritten) {
  Log.SetLogFileName(FDir.Name("no/such/folder/play.log"));
  EXPECT_THROW(Log.SetActive(true), EInOutError);
  EXPECT_FALSE(Log.Active());
}

TEST_F(LogFile, TrimsTheHistoryToItsLastThousandLines) {
  std::string text;
  for (int i = 1; i <= 1500; ++i) {
    text += "line " + std::to_string(i) + (i % 2 ? "\r\n" : "\n");
  }
  Log.SetLogFileName(FDir.Write("play.log", text));
  Log.TrimHistory();
  std::string trimmed = Contents(FDir.Name("play.log"));
  EXPECT_EQ(trimmed.substr(0, 10), "line 501\r\n");
  EXPECT_EQ(trimmed.substr(trimmed.size() - 11), "line 1500\r\n");
  EXPECT_EQ(std::count(trimmed.begin(), trimmed.end(), '\n'), 1000);
  EXPECT_FALSE(std::filesystem::exists(FDir.Name("play.log.trim")));
  // A missing history is no error.
  Log.SetLogFileName(FDir.Name("missing.log"));
  Log.TrimHistory();
}

TEST_F(LogFile, TrimmingKeepsTheLastLinesWhateverEndsThemAndWhereverTheBlocksFall) {
  // Lines longer than a read block, and every kind of line end at every
  // offset: a CR LF split between two blocks is still one line end.
  const std::string longLine(70000, 'x');
  std::string text;
  std::string expected;
  const char* ends[] = {"\r\n", "\n", "\r"};
  for (int i = 0; i < 1200; ++i) {
    const std::string line = (i % 97 == 0 ? longLine : "line") + std::to_string(i);
    text += line + ends[i % 3];
    if (i >= 201) {
      expected += line + "\r\n";
    }
  }
  text += "last, without an end";
  expected += "last, without an end\r\n";
  Log.SetLogFileName(FDir.Write("play.log", text));
  Log.TrimHistory();
  EXPECT_EQ(Contents(FDir.Name("play.log")), expected);
}

TEST_F(LogFile, AHistoryOfNoMoreLinesOrAnAbandonedCutStaysAsItWas) {
  const std::string text = "one\rtwo\n\nfour\r\n";  // four lines, one of them empty
  Log.SetLogFileName(FDir.Write("play.log", text));
  const std::atomic<bool> never{false};
  Log.TrimHistory(4, never);
  EXPECT_EQ(Contents(FDir.Name("play.log")), text);
  const std::atomic<bool> closing{true};
  Log.TrimHistory(1, closing);
  EXPECT_EQ(Contents(FDir.Name("play.log")), text);
  EXPECT_FALSE(std::filesystem::exists(FDir.Name("play.log.trim")));
  Log.TrimHistory(2, never);
  EXPECT_EQ(Contents(FDir.Name("play.log")), "\r\nfour\r\n");
}

TEST_F(LogFile, ALineWrittenWhileTheCutYieldsIsKept) {
  std::string text;
  for (int i = 0; i < 1500; ++i) {
    text += std::string(400, 'x') + "\r\n";  // more than one block to read
  }
  Log.SetLogFileName(FDir.Write("play.log", text));
  Log.SetActive(true);
  // Input handled while the cut yields writes its line then.
  Queue([this] { Log.WriteLine("12/10/26 23:00:00, Key Push"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the first yield is due
  Log.TrimHistory();
  const std::string trimmed = Contents(FDir.Name("play.log"));
  EXPECT_EQ(std::count(trimmed.begin(), trimmed.end(), '\n'), 1001);
  EXPECT_EQ(trimmed.substr(trimmed.size() - 29), "12/10/26 23:00:00, Key Push\r\n");
  RunSynchronizeRequests();  // nothing left waiting for the next test
}

TEST_F(LogFile, SaysWhyAHistoryWouldNotBeKept) {
  EXPECT_EQ(WhyHistoryIsNotKept(FDir.Write("play.log", "x")), "");
  EXPECT_EQ(WhyHistoryIsNotKept(FDir.Name("new/play.log")), "");  // the folder is made
  const std::string folder = FDir.Name("new");
  EXPECT_EQ(WhyHistoryIsNotKept(FDir.Name("no/such/play.log")),
            "the folder " + FDir.Name("no/such") + platform::kPathDelimiter + " does not exist");
  std::filesystem::create_directory(folder);
  EXPECT_EQ(WhyHistoryIsNotKept(folder), folder + " is a folder");
}

TEST(TimestampText, LeavesTheTimeOutAtExactlyMidnight) {
  platform::TLocalTime midnight{2003, 12, 25, 0, 0, 0, 0};
  platform::TLocalTime evening{2003, 12, 25, 21, 30, 5, 0};
  EXPECT_EQ(TimestampText(midnight).find(' '), std::string::npos);
  EXPECT_NE(TimestampText(evening).find(' '), std::string::npos);
  EXPECT_EQ(TimestampText(evening).substr(0, TimestampText(midnight).size()),
            TimestampText(midnight));
}

}  // namespace
}  // namespace tavelune
