#pragma once

// The settings file of the Linux build, in the syntax of regedit's REGEDIT4
// export, UTF-8:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Norvane\Tavelune]
//   "LogFile"="/home/me/tavelune.log"
//   "Draw Posision"=dword:00000001
//   "RootPath"=hex(2):2f,75,73,72,00
//
// Strings escape "\" and '"' with a backslash; expandable strings are bytes
// with their terminating NUL. Lines it does not understand (comments, other
// value types, values without a section) are kept as they are and written
// back unchanged. This unit only parses and writes text; RegFileKeyStore
// adds the file, its lock and the atomic replacement.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "settings/KeyStore.h"

namespace tavelune {

inline constexpr std::string_view kUserHive = "HKEY_CURRENT_USER";

class TRegFile {
 public:
  // The file's bytes: UTF-8 as Serialize writes them, or a regedit 5
  // export (UTF-16 with a byte-order mark), which is read the same way;
  // Serialize always writes the UTF-8 form.
  static TRegFile Parse(std::string_view bytes);
  std::string Serialize() const;

  // Key paths as the program writes them ("\Software\Norvane\Tavelune").
  bool HasKey(const std::string& path) const;
  void CreateKey(const std::string& path);
  void DeleteKey(const std::string& path);
  std::optional<TStoreValue> ReadValue(const std::string& path, const std::string& name) const;
  // The key must exist.
  void WriteValue(const std::string& path, const std::string& name, const TStoreValue& value);

 private:
  struct TEntry {
    std::string Name;  // empty for a kept raw line
    TStoreValue Value;
    std::string RawLine;
  };
  struct TSection {
    explicit TSection(std::string name) : Name(std::move(name)) {}

    std::string Name;  // full name, "HKEY_CURRENT_USER\..."
    std::vector<TEntry> Entries;
    // Where in Entries the last entry of each name is, by the name in ASCII
    // capitals, so that lists of thousands of values are read and written
    // in linear time; and whether some name has older entries too.
    std::unordered_map<std::string, std::size_t> Latest;
    bool Duplicates = false;

    void Add(TEntry entry);
    void Reindex();
  };

  TSection* FindSection(const std::string& fullName);
  const TSection* FindSection(const std::string& fullName) const;

  std::vector<std::string> FPreamble;  // kept lines before the first section
  std::vector<TSection> FSections;
};

}  // namespace tavelune
