#include <windows.h>

#include <string>
#include <vector>

#include "platform/SystemSaver.h"

namespace tavelune::platform {

namespace {

// Asks with room for 255 characters and takes the text at the length the
// platform reports. A folder that does not fit is reported by the size it
// would need, with nothing written; it gives an empty text.
template <typename Getter>
std::string FolderText(Getter getter) {
  constexpr UINT kRoom = 255;
  char buffer[kRoom + 1] = {};
  UINT length = getter(buffer, kRoom);
  return length <= kRoom ? std::string(buffer, length) : std::string();
}

enum class TFamily { Nt, Windows9x, Other };

// GetVersion's high bit is clear on the NT family; with it set, major
// version 4 and up is Windows 95/98/Me, anything lower Win32s.
TFamily PlatformFamily() {
  DWORD version = ::GetVersion();
  if ((version & 0x80000000u) == 0) {
    return TFamily::Nt;
  }
  return LOBYTE(LOWORD(version)) >= 4 ? TFamily::Windows9x : TFamily::Other;
}

// A string value of an open key; "" when it is missing or no string.
std::string ReadStringValue(HKEY key, const char* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  std::vector<char> data(size + 1, '\0');
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  // The stored bytes may or may not end with their terminator.
  return std::string(data.data());
}

}  // namespace

TSaverFolders SaverFolderTexts() {
  return {FolderText([](char* buffer, UINT size) { return ::GetWindowsDirectoryA(buffer, size); }),
          FolderText([](char* buffer, UINT size) { return ::GetSystemDirectoryA(buffer, size); })};
}

std::optional<std::string> ChosenSaverName(const std::string& windowsFolder) {
  switch (PlatformFamily()) {
    case TFamily::Nt: {
      HKEY key = nullptr;
      if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key) !=
          ERROR_SUCCESS) {
        return std::nullopt;
      }
      std::string name = ReadStringValue(key, "SCRNSAVE.EXE");
      ::RegCloseKey(key);
      return name;
    }
    case TFamily::Windows9x: {
      std::string iniFile = windowsFolder + "\\SYSTEM.INI";
      char buffer[MAX_PATH + 1] = {};
      DWORD length = ::GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", buffer, sizeof buffer,
                                                iniFile.c_str());
      return std::string(buffer, length);
    }
    case TFamily::Other:
      break;
  }
  return std::nullopt;
}

std::optional<std::int32_t> SaverTimeOut() {
  int seconds = 0;
  if (!::SystemParametersInfoA(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0)) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(seconds);
}

std::optional<bool> SaverActive() {
  BOOL active = FALSE;
  if (!::SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) {
    return std::nullopt;
  }
  return active != FALSE;
}

}  // namespace tavelune::platform
