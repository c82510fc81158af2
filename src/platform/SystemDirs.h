#pragma once

#include <string>

namespace tavelune::platform {

// The raw texts the platform gives for its folders (possibly empty, possibly
// without a trailing delimiter); GetTempDir and GetSystemDir normalise them.

// Windows: GetTempPathA. Linux: $TMPDIR, else /tmp.
std::string TempDirText();

// Windows: GetSystemDirectoryA. Linux: /usr/lib, the folder of the system's
// shared libraries, which is what the Windows system folder is to a program
// that loads system libraries by name.
std::string SystemDirText();

// The folder of the running program, with its trailing delimiter.
std::string ProgramDir();

// The full name of the running program's file.
std::string ProgramFileName();

}  // namespace tavelune::platform
