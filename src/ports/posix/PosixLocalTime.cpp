#include <sys/time.h>

#include <ctime>

#include "platform/LocalTime.h"

namespace tavelune::platform {

TLocalTime LocalNow() {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  std::tm local{};
  time_t seconds = now.tv_sec;
  ::localtime_r(&seconds, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,          local.tm_hour,
          local.tm_min,         local.tm_sec,     int(now.tv_usec / 1000)};
}

}  // namespace tavelune::platform
