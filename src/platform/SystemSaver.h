#pragma once

// The operating system's own screen-saver settings, read only. TScreenSaverSetup
// turns these answers into its properties.

#include <cstdint>
#include <optional>
#include <string>

namespace tavelune::platform {

// The two folders that hold installed screen-saver (".scr") files, without a
// trailing delimiter, in the order they are searched.
struct TSaverFolders {
  std::string WindowsFolder;
  std::string SystemFolder;
};

// Windows: GetWindowsDirectoryA and GetSystemDirectoryA, each with room for
// 255 characters; a folder that does not fit gives an empty text.
// Linux, which has no such folders, designates two of its own: first the
// system-wide data folder "<prefix>/share/tavelune/savers" of this build,
// then the user's "$XDG_DATA_HOME/tavelune/savers" ($XDG_DATA_HOME being
// $HOME/.local/share when unset).
TSaverFolders SaverFolderTexts();

// The full path of the screen saver the system starts, "" when none is
// chosen; nullopt when the platform gives no answer and the caller keeps
// what it had. Windows NT family: the per-user registry value
// "Control Panel\Desktop" "SCRNSAVE.EXE" ("" when the key opens but the
// value does not read, nullopt when the key does not open). Windows 9x
// family: the entry "SCRNSAVE.EXE" of section "boot" in
// `windowsFolder`\SYSTEM.INI, "" by default. Linux has no system saver
// setting: always "".
std::optional<std::string> ChosenSaverName(const std::string& windowsFolder);

// Seconds of inactivity before the system starts its screen saver; nullopt
// when the query fails. Windows: SPI_GETSCREENSAVETIMEOUT. Linux has no such
// setting: always nullopt.
std::optional<std::int32_t> SaverTimeOut();

// Whether the system's screen saver is switched on; nullopt when the query
// fails. Windows: SPI_GETSCREENSAVEACTIVE. Linux has no such setting: always
// nullopt.
std::optional<bool> SaverActive();

}  // namespace tavelune::platform
