#include <iconv.h>

#include <cerrno>
#include <string>

#include "platform/TextCodec.h"

namespace tavelune::platform {

namespace {

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  iconv_t cd = ::iconv_open("UTF-8", "CP932");
  if (cd ==
      reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr): iconv's error value
    // No CP932 table in this C library: keep ASCII, mark the rest.
    std::string out;
    for (unsigned char c : cp932) {
      out += c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string("\xEF\xBF\xBD");
    }
    return out;
  }
  std::string out;
  std::string input(cp932);
  char* in = input.data();
  std::size_t inLeft = input.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    std::size_t rc = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // An undecodable or cut-off byte: replace it and go on after it.
      AppendUtf8(out, kReplacement);
      ++in;
      --inLeft;
    }
  }
  ::iconv_close(cd);
  return out;
}

std::string Utf16ToSystem(std::u16string_view utf16) {
  std::string out;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t unit = utf16[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace tavelune::platform
