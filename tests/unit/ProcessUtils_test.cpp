#include "app/ProcessUtils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "app/Synchronize.h"
#include "helpers/TestFiles.h"
#include "platform/LocalTime.h"
#include "platform/MessagePump.h"
#include "platform/PathStyle.h"

namespace tavelune {
namespace {

std::string DateOf(const std::string& text) {
  return FormatIsoDate(ParseDateText(text));
}
std::string TimeOf(const std::string& text) {
  return FormatIsoTime(ParseTimeText(text));
}
std::string ThisYear(const std::string& monthDay) {
  return std::to_string(LocalNow().Year) + monthDay;
}

TEST(ParseDateText, ReadsYearMonthDayInEverySeparatedForm) {
  EXPECT_EQ(DateOf("2003/12/25"), "2003-12-25");
  EXPECT_EQ(DateOf("12/25/2003"), "2003-12-25");
  EXPECT_EQ(DateOf("2003-12-25"), "2003-12-25");
  EXPECT_EQ(DateOf("2003:12:25"), "2003-12-25");
  EXPECT_EQ(DateOf("2003/12/25(Thu)"), "2003-12-25");
  EXPECT_EQ(DateOf(" 2003 / 12 / 25 "), "2003-12-25");
}

TEST(ParseDateText, TakesMonthAndDayAloneAsTheCurrentYear) {
  EXPECT_EQ(DateOf("12/25"), ThisYear("-12-25"));
  EXPECT_EQ(DateOf("12/25(Thu)"), ThisYear("-12-25"));
  EXPECT_EQ(DateOf("12/25 (Thu)"), ThisYear("-12-25"));
}

TEST(ParseDateText, ReadsDigitsOnlyByTheirCount) {
  EXPECT_EQ(DateOf("031225"), "2003-12-25");
  EXPECT_EQ(DateOf("851225"), "1985-12-25");
  EXPECT_EQ(DateOf("191231"), "2019-12-31");
  EXPECT_EQ(DateOf("200101"), "1920-01-01");
  EXPECT_EQ(DateOf("20031225"), "2003-12-25");
  EXPECT_EQ(DateOf("2003122"), "1970-01-01");
  EXPECT_EQ(DateOf(""), "1970-01-01");
  // Letters where digits belong count as their fallbacks.
  EXPECT_EQ(DateOf("xx1225"), "1970-12-25");
  EXPECT_EQ(DateOf("2003xxyy"), "2003-01-01");
}

TEST(ParseDateText, GivesTheFallbackForImpossibleDates) {
  EXPECT_EQ(DateOf("25/12/2003"), "1970-01-01");
  EXPECT_EQ(DateOf("2003/02/30"), "1970-01-01");
  EXPECT_EQ(DateOf("garbage"), "1970-01-01");
  EXPECT_EQ(DateOf("2003/12/99999"), "1970-01-01");
  EXPECT_EQ(DateOf("70000/1/1"), "1970-01-01");
  EXPECT_EQ(DateOf("-5/1/1"), "1970-01-01");
}

TEST(ParseDateText, TurnsAZeroMonthOrDayIntoTheFirstOfJanuary) {
  EXPECT_EQ(DateOf("2003/0/5"), "2003-01-01");
  EXPECT_EQ(DateOf("2003/5/0"), "2003-01-01");
}

TEST(ParseDateText, ReadsAYearGivenLastAfterTwoSmallNumbers) {
  EXPECT_EQ(DateOf("1/2/2003"), "2003-01-02");
  // A day of 32 or more beside a year of 12 or less: month, day, year.
  EXPECT_EQ(DateOf("00120135"), "0035-12-01");
}

TEST(ParseDateText, LeavesTheMiddleNumberEmptyWithoutASecondSeparator) {
  EXPECT_EQ(DateOf("2003-1"), "2003-01-01");
}

TEST(ParseTimeText, ReadsSeparatedAndDigitOnlyTimes) {
  EXPECT_EQ(TimeOf("12:34"), "12:34:00");
  EXPECT_EQ(TimeOf("12:34:56"), "12:34:56");
  EXPECT_EQ(TimeOf("1234"), "12:34:00");
  EXPECT_EQ(TimeOf(" 123456 "), "12:34:56");
  EXPECT_EQ(TimeOf("12345"), "00:00:00");
  EXPECT_EQ(TimeOf("ab:34"), "00:34:00");
}

TEST(ParseTimeText, GivesMidnightForImpossibleTimes) {
  EXPECT_EQ(TimeOf("25:00"), "00:00:00");
  EXPECT_EQ(TimeOf("12:60"), "00:00:00");
  EXPECT_EQ(TimeOf("2400"), "00:00:00");
  EXPECT_EQ(TimeOf("99999:00"), "00:00:00");
  EXPECT_EQ(TimeOf("12:34:56:78"), "12:34:00");
}

// The definition: test every byte position in turn.
std::int64_t FindByTestingEveryPosition(const std::string& bytes, const std::string& pattern) {
  for (std::size_t i = 0; i + pattern.size() <= bytes.size(); ++i) {
    if (bytes.compare(i, pattern.size(), pattern) == 0) {
      return static_cast<std::int64_t>(i);
    }
  }
  return -1;
}

TEST(FindBytesInFile, FindsTheFirstMatchWhereverItLies) {
  test::TTempDir dir;
  const std::string header("\x00\x00\x01\xB3", 4);
  // Around the block boundaries of the file reader (256 KiB) and at the ends.
  const std::size_t size = 3 * 256 * 1024 + 5;
  for (std::size_t at : {std::size_t{0}, std::size_t{1}, std::size_t{262141}, std::size_t{262142},
                         std::size_t{262143}, std::size_t{262144}, std::size_t{524287}, size - 4}) {
    std::string bytes(size, '\x01');
    bytes.replace(at, 4, header);
    std::string name = dir.Write("movie.mpg", bytes);
    EXPECT_EQ(FindBytesInFile(name, header), static_cast<std::int64_t>(at)) << at;
  }
}

TEST(FindBytesInFile, AgreesWithTestingEveryPositionOnRandomFiles) {
  test::TTempDir dir;
  std::mt19937 random(11);
  for (int round = 0; round < 40; ++round) {
    std::string bytes(random() % 700000, '\0');
    for (char& c : bytes) {
      c = static_cast<char>(random() % 3);
    }
    std::string pattern(1 + random() % 12, '\0');
    for (char& c : pattern) {
      c = static_cast<char>(random() % 3);
    }
    std::string name = dir.Write("f.bin", bytes);
    ASSERT_EQ(FindBytesInFile(name, pattern), FindByTestingEveryPosition(bytes, pattern));
  }
}

TEST(FindBytesInFile, ReportsNoMatchForPartialPatternsAndUnreadableFiles) {
  test::TTempDir dir;
  const std::string header("\x00\x00\x01\xB3", 4);
  EXPECT_EQ(FindBytesInFile(dir.Write("end.bin", "abc" + header.substr(0, 3)), header), -1);
  EXPECT_EQ(FindBytesInFile(dir.Write("start.bin", header + "abc"), header), 0);
  EXPECT_EQ(FindBytesInFile(dir.Write("empty.bin", ""), header), -1);
  EXPECT_EQ(FindBytesInFile(dir.Name("missing.bin"), header), -1);
  EXPECT_EQ(FindBytesInFile(dir.Name(""), header), -1);  // a folder
}

TEST(FindBytesInFile, SearchesOnlyAsFarAsItsLimit) {
  test::TTempDir dir;
  std::string name = dir.Write("f.bin", std::string(1000, 'x') + "HIT");
  EXPECT_EQ(FindBytesInFile(name, "HIT", 1003), 1000);
  EXPECT_EQ(FindBytesInFile(name, "HIT", 1002), -1);
}

TEST(OpenTextForReading, FailsAtOnceOnAMissingFileWithoutRetries) {
  test::TTempDir dir;
  TTextFile missing(dir.Name("missing.txt"));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(OpenTextForReading(missing, 0));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  TTextFile present(dir.Write("present.txt", "line\n"));
  EXPECT_TRUE(OpenTextForReading(present, 0));
}

class TCountingPump : public IMessagePump {
 public:
  void DispatchPending() override { ++Calls; }
  int Calls = 0;
};

TEST(YieldToMessages, DispatchesThroughTheInstalledPumpOnly) {
  YieldToMessages();  // nothing installed: nothing to dispatch, no failure
  TCountingPump pump;
  SetMessagePump(&pump);
  YieldToMessages();
  WaitMinutes(0.25 / 60);  // a quarter second: about two steps of 100 ms
  SetMessagePump(nullptr);
  EXPECT_GE(pump.Calls, 3);
  EXPECT_LE(pump.Calls, 5);
}

TEST(Synchronize, TellsWhetherAHandOverStepIsRunning) {
  std::vector<bool> seen;
  Queue([&] {
    seen.push_back(InSynchronizeStep());
    Queue([&] { seen.push_back(InSynchronizeStep()); });
    RunSynchronizeRequests();  // a step's own message pass runs the next one nested
    seen.push_back(InSynchronizeStep());
  });
  EXPECT_FALSE(InSynchronizeStep());
  EXPECT_EQ(RunSynchronizeRequests(), 1);
  EXPECT_EQ(seen, (std::vector<bool>{true, true, true}));
  EXPECT_FALSE(InSynchronizeStep());
}

TEST(SystemDirs, EndWithTheDelimiter) {
  for (const std::string& folder : {GetTempDir(), GetSystemDir()}) {
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), kPathDelimiter);
    EXPECT_NE(folder.front(), ' ');
  }
}

TEST(InstanceGuard, RefusesTheNameWhileThisProcessHoldsIt) {
  std::string name = "TaveluneTestGuard" + std::to_string(std::random_device{}());
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(AcquireInstanceGuard(name));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  ReleaseInstanceGuard();
  // The name stays taken until the process ends.
  EXPECT_FALSE(AcquireInstanceGuard(name));
}

}  // namespace
}  // namespace tavelune
