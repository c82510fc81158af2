#include "base/DateTime.h"

#include <gtest/gtest.h>

namespace tavelune {
namespace {

TEST(DateTime, CountsDaysFromTheLastDaysOf1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2003, 12, 25), 37980.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
}

TEST(DateTime, RefusesImpossibleDatesAndTimes) {
  EXPECT_FALSE(EncodeDate(2003, 2, 29));
  EXPECT_TRUE(EncodeDate(2004, 2, 29));
  EXPECT_FALSE(EncodeDate(1900, 2, 29));
  EXPECT_TRUE(EncodeDate(2000, 2, 29));
  EXPECT_FALSE(EncodeDate(0, 1, 1));
  EXPECT_FALSE(EncodeDate(10000, 1, 1));
  EXPECT_FALSE(EncodeDate(2003, 13, 1));
  EXPECT_FALSE(EncodeTime(24, 0, 0, 0));
  EXPECT_FALSE(EncodeTime(0, 60, 0, 0));
  EXPECT_FALSE(EncodeTime(0, 0, 60, 0));
  EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
}

TEST(DateTime, DecodesWhatItEncodesAcrossTheCountsZero) {
  for (int year : {1, 1066, 1899, 1900, 1970, 2003, 9999}) {
    for (int month : {1, 2, 12}) {
      TDateTime value = *EncodeDate(year, month, 28) + *EncodeTime(6, 7, 8, 0);
      EXPECT_EQ(FormatIsoDateTime(value),
                (year < 1000 ? std::string(year < 10 ? "000" : "0") : "") + std::to_string(year) +
                    (month < 10 ? "-0" : "-") + std::to_string(month) + "-28 06:07:08");
    }
  }
}

TEST(DateTime, RoundsTimesToTheNearestSecond) {
  EXPECT_EQ(FormatIsoTime(*EncodeTime(12, 34, 55, 999)), "12:34:56");
  EXPECT_EQ(FormatIsoDateTime(*EncodeDate(2003, 12, 31) + *EncodeTime(23, 59, 59, 999)),
            "2004-01-01 00:00:00");
}

}  // namespace
}  // namespace tavelune
