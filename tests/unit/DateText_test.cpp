#include "probe/DateText.h"

#include <gtest/gtest.h>

#include "platform/LocalTime.h"

namespace tavelune {
namespace {

std::string DateOf(const std::string& text) {
  return FormatIsoDate(ParseDateText(text));
}
std::string TimeOf(const std::string& text) {
  return FormatIsoTime(ParseTimeText(text));
}
std::string ThisYear(const std::string& monthDay) {
  return std::to_string(platform::LocalNow().Year) + monthDay;
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

}  // namespace
}  // namespace tavelune
