#pragma once

namespace tavelune::platform {

// The wall clock in the user's time zone, broken down.
struct TLocalTime {
  int Year;
  int Month;   // 1..12
  int Day;     // 1..31
  int Hour;    // 0..23
  int Minute;  // 0..59
  int Second;  // 0..59 (60 on a leap second)
  int Millisecond;
};

TLocalTime LocalNow();

}  // namespace tavelune::platform
