#pragma once

// Date-time values as the whole system counts them: days since 1899-12-30 as
// a double, the fraction being the time of day.

#include <optional>
#include <string>

namespace tavelune {

using TDateTime = double;

struct TCalendarDate {
  int Year;   // 1..9999
  int Month;  // 1..12
  int Day;    // 1..31
};

struct TClockTime {
  int Hour;    // 0..23
  int Minute;  // 0..59
  int Second;  // 0..59
};

// nullopt for an impossible date (year outside 1..9999, month outside 1..12,
// a day the month does not have).
std::optional<TDateTime> EncodeDate(long long year, long long month, long long day);
// nullopt unless hour < 24, minute < 60, second < 60, millisecond < 1000.
std::optional<TDateTime> EncodeTime(long long hour, long long minute, long long second,
                                    long long millisecond);

// Whole days are counted with floor, so "date + time" before 1899-12-30
// decodes to that date and time as well. Times round to the nearest second.
TCalendarDate DecodeDate(TDateTime value);
TClockTime DecodeTime(TDateTime value);

// "YYYY-MM-DD", "HH:MM:SS" and "YYYY-MM-DD HH:MM:SS".
std::string FormatIsoDate(TDateTime value);
std::string FormatIsoTime(TDateTime value);
std::string FormatIsoDateTime(TDateTime value);

}  // namespace tavelune
