#include <windows.h>

#include "platform/LocalTime.h"

namespace tavelune::platform {

TLocalTime LocalNow() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace tavelune::platform
