#include <ctime>

#include "platform/LocaleText.h"

namespace tavelune::platform {

namespace {
std::string Format(const platform::TLocalTime& time, const char* format) {
  std::tm broken{};
  broken.tm_year = time.Year - 1900;
  broken.tm_mon = time.Month - 1;
  broken.tm_mday = time.Day;
  broken.tm_hour = time.Hour;
  broken.tm_min = time.Minute;
  broken.tm_sec = time.Second;
  broken.tm_isdst = -1;
  char buffer[128];
  std::size_t length = std::strftime(buffer, sizeof buffer, format, &broken);
  return {buffer, length};
}
}  // namespace

std::string ShortDateText(const platform::TLocalTime& time) {
  return Format(time, "%x");
}
std::string LongTimeText(const platform::TLocalTime& time) {
  return Format(time, "%X");
}

}  // namespace tavelune::platform
