#include "base/TextUtils.h"

#include <charconv>
#include <limits>

namespace tavelune {

namespace {

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}
bool IsControlOrBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    c = UpperAscii(c);
  }
  return out;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    c = LowerAscii(c);
  }
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) {
      return false;
    }
  }
  return true;
}

std::string TrimControl(std::string_view text) {
  while (!text.empty() && IsControlOrBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsControlOrBlank(text.back())) {
    text.remove_suffix(1);
  }
  return std::string(text);
}

std::string_view Columns(std::string_view text, std::size_t first, std::size_t last) {
  if (first == 0 || first > text.size() || last < first) {
    return {};
  }
  return text.substr(first - 1, last - first + 1);
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') {
      return std::nullopt;
    }
  }
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::int64_t IntegerOr(std::string_view text, std::int64_t fallback) {
  return ParseInteger(text).value_or(fallback);
}

double NumberOr(std::string_view text, double fallback) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
  }
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return fallback;
  }
  return value;
}

std::string ShortestNumberText(double value) {
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return error == std::errc() ? std::string(buffer, end) : std::string();
}

}  // namespace tavelune
