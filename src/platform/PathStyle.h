#pragma once

// How file names are spelled on the platform the program is built for.
// Core code splits and joins names only through these, so that one source
// serves both the Windows build ("C:\Movies\a.mpg") and the Linux build
// ("/home/me/Movies/a.mpg").

#include <string_view>

namespace tavelune::platform {

#ifdef _WIN32
inline constexpr char kPathDelimiter = '\\';
// A drive part ("C:") ends a folder part as well.
inline constexpr std::string_view kPathDelimiters = "\\:";
#else
inline constexpr char kPathDelimiter = '/';
inline constexpr std::string_view kPathDelimiters = "/";
#endif

// True when the byte starts a double-byte character in the system code page
// (CP932 on a Japanese Windows). Always false where the system code page is
// UTF-8, whose multi-byte characters never contain ASCII bytes.
bool IsSystemLeadByte(unsigned char byte);

}  // namespace tavelune::platform
