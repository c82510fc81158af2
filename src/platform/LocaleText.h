#pragma once

#include <string>

#include "platform/LocalTime.h"

namespace tavelune::platform {

// A date and a time as the user's regional settings write them: on Windows
// the user's short date and long time formats; on Linux the LC_TIME
// locale's %x and %X (the program sets its locale from the environment).
std::string ShortDateText(const platform::TLocalTime& time);
std::string LongTimeText(const platform::TLocalTime& time);

}  // namespace tavelune::platform
