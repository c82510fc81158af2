#include "ports/win32/Win32RegistryKeyStore.h"

#include "settings/UserKeyStore.h"

#include <windows.h>

#include <vector>

namespace tavelune {

namespace {

// "\Software\X" -> "Software\X": registry paths are relative to the hive.
std::string SubKey(const std::string& path) {
  std::size_t start = path.find_first_not_of('\\');
  return start == std::string::npos ? std::string() : path.substr(start);
}

class TRegistryKey final : public IStoreKey {
 public:
  TRegistryKey(HKEY key, bool writable) : FKey(key), FWritable(writable) {}
  ~TRegistryKey() override { ::RegCloseKey(FKey); }
  TRegistryKey(const TRegistryKey&) = delete;
  TRegistryKey& operator=(const TRegistryKey&) = delete;

  std::optional<TStoreValue> ReadValue(const std::string& name) override {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(FKey, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::vector<char> data(size + 1, '\0');
    if (::RegQueryValueExA(FKey, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    TStoreValue value;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      value.Kind = type == REG_SZ ? TValueKind::String : TValueKind::ExpandString;
      value.Text = std::string(data.data());  // up to the first NUL
    } else if (type == REG_DWORD && size == 4) {
      value.Kind = TValueKind::Integer;
      value.Number = static_cast<std::int32_t>(*reinterpret_cast<const DWORD*>(data.data()));
    } else {
      value.Kind = TValueKind::Other;
    }
    return value;
  }

  void WriteString(const std::string& name, const std::string& text) override {
    std::string stored = text.substr(0, text.find('\0'));
    Write(name, REG_SZ, stored.c_str(), static_cast<DWORD>(stored.size() + 1));
  }

  void WriteInteger(const std::string& name, std::int32_t value) override {
    DWORD number = static_cast<DWORD>(value);
    Write(name, REG_DWORD, &number, sizeof number);
  }

 private:
  void Write(const std::string& name, DWORD type, const void* data, DWORD size) {
    if (!FWritable || ::RegSetValueExA(FKey, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                                       size) != ERROR_SUCCESS) {
      throw ERegistryError(WriteRefusedMessage(name));
    }
  }

  HKEY FKey;
  bool FWritable;
};

}  // namespace

std::unique_ptr<IStoreKey> TRegistryKeyStore::OpenKey(const std::string& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, SubKey(path).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return nullptr;
  }
  return std::make_unique<TRegistryKey>(key, false);
}

std::unique_ptr<IStoreKey> TRegistryKeyStore::CreateKey(const std::string& path) {
  HKEY key = nullptr;
  if (SubKey(path).empty() || ::RegCreateKeyExA(HKEY_CURRENT_USER, SubKey(path).c_str(), 0, nullptr,
                                                REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                                nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return std::make_unique<TRegistryKey>(key, true);
}

bool TRegistryKeyStore::DeleteKey(const std::string& path) {
  if (SubKey(path).empty()) {
    return false;
  }
  LSTATUS status = ::RegDeleteTreeA(HKEY_CURRENT_USER, SubKey(path).c_str());
  if (status == ERROR_SUCCESS) {
    // RegDeleteTree empties the key; the key itself goes with RegDeleteKey.
    status = ::RegDeleteKeyA(HKEY_CURRENT_USER, SubKey(path).c_str());
  }
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace tavelune

namespace tavelune::platform {

std::unique_ptr<IKeyStore> OpenUserKeyStore() {
  return std::make_unique<TRegistryKeyStore>();
}

}  // namespace tavelune::platform
