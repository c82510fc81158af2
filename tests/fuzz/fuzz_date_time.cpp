// The date and time text parsers: any text gives a possible date and time.
#include <string>

#include "FuzzFiles.h"
#include "base/DateTime.h"
#include "probe/DateText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelune;
  std::string text(fuzz::AsText(data, size));
  TDateTime date = ParseDateText(text);
  TDateTime time = ParseTimeText(text);
  TCalendarDate calendar = DecodeDate(date);
  if (date != static_cast<double>(static_cast<long long>(date)) || calendar.Year < 1 ||
      calendar.Year > 9999 || time < 0 || time >= 1) {
    __builtin_trap();
  }
  return 0;
}
