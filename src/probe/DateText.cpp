#include "probe/DateText.h"

#include <optional>
#include <string_view>

#include "base/TextUtils.h"
#include "platform/LocalTime.h"

namespace tavelune {

namespace {

// Every numeric part of a date or time is a 16-bit value in the recorder's
// texts; a part outside that range makes the whole text impossible.
constexpr std::int64_t kWordMax = 65535;

bool AreWords(std::initializer_list<std::int64_t> values) {
  for (std::int64_t v : values) {
    if (v < 0 || v > kWordMax) {
      return false;
    }
  }
  return true;
}

TDateTime NoDate() {
  return *EncodeDate(1970, 1, 1);
}

// The text before a "(", so that a weekday note after the day is ignored.
std::string_view BeforeParenthesis(std::string_view text) {
  return text.substr(0, text.find('('));
}

struct TDateNumbers {
  std::int64_t Year;
  std::int64_t Month;
  std::int64_t Day;
};

// "first<sep>second<sep>third": year, month, day; or month, day, year when
// the third number is 32 or more. A missing second separator leaves the
// second number empty (0) and makes the rest the third.
TDateNumbers SplitThreeNumbers(std::string_view text, char separator) {
  std::size_t pos = text.find(separator);
  std::int64_t first = IntegerOr(text.substr(0, pos), 0);
  text.remove_prefix(pos + 1);
  std::int64_t second = 0;
  pos = text.find(separator);
  if (pos != std::string_view::npos) {
    second = IntegerOr(text.substr(0, pos), 0);
    text.remove_prefix(pos + 1);
  }
  std::int64_t third = IntegerOr(BeforeParenthesis(text), 0);
  if (third >= 32) {
    return {third, first, second};
  }
  return {first, second, third};
}

// Texts without separators: YYMMDD or YYYYMMDD, told by the trimmed length;
// the digits are taken from the text as it stands.
TDateNumbers DigitsOnly(std::string_view text) {
  std::size_t length = TrimControl(text).size();
  auto digits = [&](std::size_t first, std::size_t count, std::int64_t fallback) {
    return IntegerOr(text.substr(std::min(first, text.size()), count), fallback);
  };
  if (length == 6) {
    std::int64_t twoDigits = digits(0, 2, 70);
    std::int64_t year = twoDigits + 1900 < 1920 ? twoDigits + 2000 : twoDigits + 1900;
    return {year, digits(2, 2, 1), digits(4, 2, 1)};
  }
  if (length == 8) {
    return {digits(0, 4, 1970), digits(4, 2, 1), digits(6, 2, 1)};
  }
  return {1970, 1, 1};
}

}  // namespace

TDateTime ParseDateText(const std::string& text) {
  std::string_view rest = text;
  TDateNumbers date{};
  if (rest.find('/') != std::string_view::npos) {
    std::size_t slash = rest.find('/');
    if (rest.find('/', slash + 1) == std::string_view::npos) {
      // month/day of the current year
      date = {platform::LocalNow().Year, IntegerOr(rest.substr(0, slash), 0),
              IntegerOr(BeforeParenthesis(rest.substr(slash + 1)), 0)};
    } else {
      date = SplitThreeNumbers(rest, '/');
    }
  } else if (rest.find('-') != std::string_view::npos) {
    date = SplitThreeNumbers(rest, '-');
  } else if (rest.find(':') != std::string_view::npos) {
    date = SplitThreeNumbers(rest, ':');
  } else {
    date = DigitsOnly(rest);
  }
  if (date.Month == 0 || date.Day == 0) {
    date.Month = 1;
    date.Day = 1;
  }
  if (!AreWords({date.Year, date.Month, date.Day})) {
    return NoDate();
  }
  // A day number of 32 or more beside a year of 12 or less: the numbers
  // came as month, day, year.
  std::optional<TDateTime> encoded = date.Day >= 32 && date.Year <= 12
                                         ? EncodeDate(date.Day, date.Year, date.Month)
                                         : EncodeDate(date.Year, date.Month, date.Day);
  return encoded.value_or(NoDate());
}

TDateTime ParseTimeText(const std::string& text) {
  std::string_view rest = text;
  std::int64_t hour = 0;
  std::int64_t minute = 0;
  std::int64_t second = 0;
  if (std::size_t colon = rest.find(':'); colon != std::string_view::npos) {
    hour = IntegerOr(rest.substr(0, colon), 0);
    rest.remove_prefix(colon + 1);
    colon = rest.find(':');
    minute = IntegerOr(rest.substr(0, colon), 0);
    if (colon != std::string_view::npos) {
      second = IntegerOr(rest.substr(colon + 1), 0);
    }
  } else {
    std::string trimmed = TrimControl(rest);
    if (trimmed.size() == 4 || trimmed.size() == 6) {
      hour = IntegerOr(trimmed.substr(0, 2), 0);
      minute = IntegerOr(trimmed.substr(2, 2), 0);
      second = trimmed.size() == 6 ? IntegerOr(trimmed.substr(4, 2), 0) : 0;
    }
  }
  if (!AreWords({hour, minute, second})) {
    return 0;
  }
  return EncodeTime(hour, minute, second, 0).value_or(0);
}

}  // namespace tavelune
