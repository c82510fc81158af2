#pragma once

// The per-user key store that holds the settings: keys with sub-keys, and
// named string, expandable-string and 32-bit integer values. Windows keeps
// it in the registry (HKEY_CURRENT_USER); Linux in a REGEDIT4 text file;
// tests in memory. Key paths are written as the program uses them,
// "\Software\Norvane\Tavelune\Folders"; key and value names compare without
// regard to ASCII letter case, as the registry's do.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace tavelune {

// Other: a value of any other type (binary, multi-string, 64-bit, ...),
// which the settings readers treat as a failed read.
enum class TValueKind { String, ExpandString, Integer, Other };

struct TStoreValue {
  TValueKind Kind = TValueKind::String;
  std::string Text;         // String and ExpandString, up to the first NUL
  std::int32_t Number = 0;  // Integer
};

// A write that the store refused; the message names the value:
// "'%s' の設定に失敗しました".
class ERegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An open key. Owned by its opener; used on one thread. Writes may be held
// back until Flush (the settings file saves a whole batch at once): a writer
// calls Flush when it is done with the key, and a refusal may surface there.
// Closing (destroying) the key flushes too, but cannot report a refusal.
class IStoreKey {
 public:
  virtual ~IStoreKey() = default;
  // Commits held-back writes. Throws ERegistryError when refused.
  virtual void Flush() {}
  // nullopt when the value does not exist.
  virtual std::optional<TStoreValue> ReadValue(const std::string& name) = 0;
  // Replace the value and its type. Throw ERegistryError when refused.
  virtual void WriteString(const std::string& name, const std::string& text) = 0;
  virtual void WriteInteger(const std::string& name, std::int32_t value) = 0;
};

class IKeyStore {
 public:
  virtual ~IKeyStore() = default;
  // The key for reading, or nullptr when it does not exist or cannot be opened.
  virtual std::unique_ptr<IStoreKey> OpenKey(const std::string& path) = 0;
  // The key, created with its parents if needed; nullptr when that fails.
  virtual std::unique_ptr<IStoreKey> CreateKey(const std::string& path) = 0;
  // Deletes the key with its values and sub-keys; false when it could not.
  virtual bool DeleteKey(const std::string& path) = 0;
  // Why the store could not be read, for a message; empty when nothing
  // went wrong. Readers absorb the failure (the keys read as missing).
  virtual std::string ReadProblem() const { return {}; }
};

// The text of the store's refusal to write `valueName`.
std::string WriteRefusedMessage(const std::string& valueName);

}  // namespace tavelune
