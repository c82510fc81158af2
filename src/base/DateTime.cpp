#include "base/DateTime.h"

#include <cmath>
#include <cstdio>

namespace tavelune {

namespace {

constexpr long long kSecondsPerDay = 86400;

// Days from 1970-01-01 in the proleptic Gregorian calendar (H. Hinnant's
// civil-day algorithms).
long long DaysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

TCalendarDate CivilFromDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(yoe + era * 400 + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// 1899-12-30, day 0 of the date-time count, in days from 1970-01-01.
const long long kEpochOffset = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(long long y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

long long DaysInMonth(long long y, long long m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Splits a value into whole days and seconds of the day, rounding to the
// nearest second so that 12:34:55.9999 reads as 12:34:56.
void Split(TDateTime value, long long& days, long long& seconds) {
  double floorDays = std::floor(value);
  days = static_cast<long long>(floorDays);
  seconds = std::llround((value - floorDays) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++days;
  }
}

}  // namespace

std::optional<TDateTime> EncodeDate(long long year, long long month, long long day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  return static_cast<TDateTime>(DaysFromCivil(year, month, day) - kEpochOffset);
}

std::optional<TDateTime> EncodeTime(long long hour, long long minute, long long second,
                                    long long millisecond) {
  if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 ||
      millisecond < 0 || millisecond >= 1000) {
    return std::nullopt;
  }
  return ((hour * 3600 + minute * 60 + second) * 1000 + millisecond) /
         static_cast<double>(kSecondsPerDay * 1000);
}

TCalendarDate DecodeDate(TDateTime value) {
  long long days = 0;
  long long seconds = 0;
  Split(value, days, seconds);
  return CivilFromDays(days + kEpochOffset);
}

TClockTime DecodeTime(TDateTime value) {
  long long days = 0;
  long long seconds = 0;
  Split(value, days, seconds);
  return {static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
          static_cast<int>(seconds % 60)};
}

std::string FormatIsoDate(TDateTime value) {
  TCalendarDate date = DecodeDate(value);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.Year, date.Month, date.Day);
  return buffer;
}

std::string FormatIsoTime(TDateTime value) {
  TClockTime time = DecodeTime(value);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", time.Hour, time.Minute, time.Second);
  return buffer;
}

std::string FormatIsoDateTime(TDateTime value) {
  return FormatIsoDate(value) + " " + FormatIsoTime(value);
}

}  // namespace tavelune
