#include <windows.h>

#include "platform/LocaleText.h"

namespace tavelune::platform {

namespace {
SYSTEMTIME AsSystemTime(const platform::TLocalTime& time) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(time.Year);
  st.wMonth = static_cast<WORD>(time.Month);
  st.wDay = static_cast<WORD>(time.Day);
  st.wHour = static_cast<WORD>(time.Hour);
  st.wMinute = static_cast<WORD>(time.Minute);
  st.wSecond = static_cast<WORD>(time.Second);
  return st;
}
}  // namespace

std::string ShortDateText(const platform::TLocalTime& time) {
  SYSTEMTIME st = AsSystemTime(time);
  char buffer[128] = {};
  ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, sizeof buffer);
  return buffer;
}

std::string LongTimeText(const platform::TLocalTime& time) {
  SYSTEMTIME st = AsSystemTime(time);
  char buffer[128] = {};
  ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, sizeof buffer);
  return buffer;
}

}  // namespace tavelune::platform
