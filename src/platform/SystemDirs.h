#pragma once

#include <string>

namespace tavelune::platform {

// The raw texts the platform gives for its folders (possibly empty, possibly
// without a trailing delimiter); GetTempDir and GetSystemDir normalise them.

// Windows: GetTempPathA. Linux: $TMPDIR, else /tmp.
std::string TempDirText();

// A folder for the saver's own temporary files that only the user can
// write, created when missing. Windows: the user's temporary folder (it is
// per user). Linux: $XDG_RUNTIME_DIR, else "tavelune-<uid>" in TempDirText,
// made with mode 0700; a folder there that is a link, someone else's or
// open to others is refused with std::runtime_error.
std::string PrivateTempDirText();
// Windows: GetSystemDirectoryA. Linux: /usr/lib, the folder of the system's
// shared libraries, which is what the Windows system folder is to a program
// that loads system libraries by name.
std::string SystemDirText();

// The saver's folder of the user's cache, for what may be lost without harm
// (not created here), or "" when the platform names none. Windows:
// %LOCALAPPDATA%\Tavelune. Linux: $XDG_CACHE_HOME/tavelune when that is an
// absolute name, else $HOME/.cache/tavelune.
std::string UserCacheDirText();
// The folder of the running program, with its trailing delimiter.
std::string ProgramDir();

// The full name of the running program's file.
std::string ProgramFileName();

}  // namespace tavelune::platform
