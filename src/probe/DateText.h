#pragma once

#include <string>

#include "base/DateTime.h"

namespace tavelune {

// Date and time texts as recorders write them ("2003/12/25", "12/25(Thu)",
// "031225", "12:34", "123456", ...). Never fail: a text that is not a
// possible date gives 1970-01-01, one that is not a possible time 00:00:00.
TDateTime ParseDateText(const std::string& text);
TDateTime ParseTimeText(const std::string& text);

}  // namespace tavelune
