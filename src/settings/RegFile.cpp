#include "settings/RegFile.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "base/TextUtils.h"
#include "platform/TextCodec.h"

namespace tavelune {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
// regedit 5's export header; its files are UTF-16 and so are the bytes of
// its hex(1) and hex(2) values.
constexpr std::string_view kUnicodeHeader = "Windows Registry Editor Version 5.00";

// UTF-16 bytes (little- or big-endian) as text of the system code page
// (UTF-8, where this file is the settings store); an odd last byte is
// dropped.
std::string Utf16BytesToText(std::string_view bytes, bool bigEndian) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    units[i] = static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
  }
  return platform::Utf16ToSystem(units);
}

// The file's text: UTF-16 when it starts with a byte-order mark
// (regedit 5 exports so), otherwise the bytes as they are, less a UTF-8
// byte-order mark.
std::string DecodedText(std::string_view bytes) {
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    return Utf16BytesToText(bytes.substr(2), bytes[0] == '\xFE');
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
  }
  return std::string(bytes);
}

// "\Software\X" -> "HKEY_CURRENT_USER\Software\X", without doubled or
// trailing delimiters.
std::string FullName(const std::string& path) {
  std::string full(kUserHive);
  for (char c : path) {
    if (c == '\\' && full.back() == '\\') {
      continue;
    }
    full += c;
  }
  if (full.back() == '\\') {
    full.pop_back();
  }
  return full;
}

bool IsSameOrInside(std::string_view name, std::string_view key) {
  return SameTextAscii(name, key) || (name.size() > key.size() && name[key.size()] == '\\' &&
                                      SameTextAscii(name.substr(0, key.size()), key));
}

// A quoted text at the start of `text` ("..." with \\ and \" escapes); the
// rest after the closing quote goes to `rest`.
std::optional<std::string> Quoted(std::string_view text, std::string_view& rest) {
  if (text.empty() || text.front() != '"') {
    return std::nullopt;
  }
  std::string out;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      out += text[++i];
    } else if (text[i] == '"') {
      rest = text.substr(i + 1);
      return out;
    } else {
      out += text[i];
    }
  }
  return std::nullopt;
}

std::string Escaped(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
    }
    out += c;
  }
  return out + "\"";
}

// "2f,75,00" -> bytes; nullopt for anything else.
std::optional<std::string> HexBytes(std::string_view text) {
  std::string bytes;
  while (!text.empty()) {
    std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    while (!item.empty() && static_cast<unsigned char>(item.front()) <= 32) {
      item.remove_prefix(1);
    }
    while (!item.empty() && static_cast<unsigned char>(item.back()) <= 32) {
      item.remove_suffix(1);
    }
    unsigned value = 0;
    auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value, 16);
    if (item.empty() || item.size() > 2 || error != std::errc() ||
        end != item.data() + item.size()) {
      return std::nullopt;
    }
    bytes += static_cast<char>(value);
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
  }
  return bytes;
}

std::string HexText(std::string_view bytes) {
  std::string out;
  char buffer[4];
  for (unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02x", c);
    out += out.empty() ? "" : ",";
    out += buffer;
  }
  return out;
}

// `"name"=<data>` -> the entry; nullopt for a line of another shape.
// `unicode`: the hex(1) and hex(2) bytes are UTF-16 (regedit 5).
std::optional<std::pair<std::string, TStoreValue>> ParseValueLine(std::string_view line,
                                                                  bool unicode) {
  std::string_view rest;
  std::optional<std::string> name = Quoted(line, rest);
  if (!name || rest.empty() || rest.front() != '=') {
    return std::nullopt;
  }
  std::string_view data = rest.substr(1);
  TStoreValue value;
  if (!data.empty() && data.front() == '"') {
    std::string_view after;
    std::optional<std::string> text = Quoted(data, after);
    if (!text || !TrimControl(after).empty()) {
      return std::nullopt;
    }
    value.Text = text->substr(0, text->find('\0'));
    return std::pair{*name, value};
  }
  if (data.substr(0, 6) == "dword:") {
    std::string_view digits = data.substr(6);
    std::uint32_t number = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
    if (digits.empty() || digits.size() > 8 || error != std::errc() ||
        end != digits.data() + digits.size()) {
      return std::nullopt;
    }
    value.Kind = TValueKind::Integer;
    value.Number = static_cast<std::int32_t>(number);
    return std::pair{*name, value};
  }
  for (auto [prefix, kind] : {std::pair{std::string_view("hex(2):"), TValueKind::ExpandString},
                              std::pair{std::string_view("hex(1):"), TValueKind::String}}) {
    if (data.substr(0, prefix.size()) == prefix) {
      std::optional<std::string> bytes = HexBytes(data.substr(prefix.size()));
      if (!bytes) {
        return std::nullopt;
      }
      if (unicode) {
        bytes = Utf16BytesToText(*bytes, false);
      }
      value.Kind = kind;
      value.Text = bytes->substr(0, bytes->find('\0'));
      return std::pair{*name, value};
    }
  }
  if (data.substr(0, 3) == "hex") {  // another type: readable as such, kept as written
    value.Kind = TValueKind::Other;
    return std::pair{*name, value};
  }
  return std::nullopt;
}

std::string ValueLine(const std::string& name, const TStoreValue& value) {
  char buffer[16];
  switch (value.Kind) {
    case TValueKind::Integer:
      std::snprintf(buffer, sizeof buffer, "%08x", static_cast<std::uint32_t>(value.Number));
      return Escaped(name) + "=dword:" + buffer;
    case TValueKind::ExpandString:
      return Escaped(name) + "=hex(2):" + HexText(value.Text + '\0');
    case TValueKind::Other:
      return {};
    case TValueKind::String:
      // A line end inside the text would break the line: such texts go as bytes.
      if (value.Text.find_first_of("\r\n") != std::string::npos) {
        return Escaped(name) + "=hex(1):" + HexText(value.Text + '\0');
      }
      return Escaped(name) + "=" + Escaped(value.Text);
  }
  return {};
}

// Splits into logical lines: CR LF, LF or CR ends a line, and a value line
// of hex data that ends with "\" continues on the next line when that one
// is indented (regedit wraps long values so). Nothing else continues, so a
// stray "\" at the end of a kept line never swallows what follows.
std::vector<std::string> LogicalLines(std::string_view text) {
  std::vector<std::string_view> physical;
  for (std::size_t start = 0;;) {
    std::size_t end = text.find_first_of("\r\n", start);
    physical.push_back(text.substr(start, end == std::string_view::npos ? text.npos : end - start));
    if (end == std::string_view::npos) {
      break;
    }
    start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
  }
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < physical.size(); ++i) {
    std::string line(physical[i]);
    const bool valueLine = !line.empty() && (line.front() == '"' || line.front() == '@');
    while (valueLine && line.back() == '\\' && line.find("=hex") != std::string::npos &&
           i + 1 < physical.size() && !physical[i + 1].empty() &&
           (physical[i + 1].front() == ' ' || physical[i + 1].front() == '\t')) {
      line.pop_back();
      std::string_view next = physical[++i];
      line += next.substr(std::min(next.find_first_not_of(" \t"), next.size()));
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace

TRegFile TRegFile::Parse(std::string_view bytes) {
  TRegFile file;
  bool headerSeen = false;
  bool unicode = false;
  for (std::string& line : LogicalLines(DecodedText(bytes))) {
    std::string trimmed = TrimControl(line);
    if (!headerSeen && (trimmed == kHeader || trimmed == kUnicodeHeader)) {
      headerSeen = true;
      unicode = trimmed == kUnicodeHeader;
      continue;
    }
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      file.FSections.emplace_back(trimmed.substr(1, trimmed.size() - 2));
      continue;
    }
    if (file.FSections.empty()) {
      if (!trimmed.empty()) {
        file.FPreamble.push_back(line);
      }
      continue;
    }
    TSection& section = file.FSections.back();
    if (auto parsed = ParseValueLine(trimmed, unicode)) {
      section.Add({parsed->first, parsed->second, line});
    } else {
      section.Add({{}, {}, line});  // blank lines too: they keep lines apart
    }
  }
  // The blank lines that end a section are the writer's own separator.
  for (TSection& section : file.FSections) {
    while (!section.Entries.empty() && section.Entries.back().Name.empty() &&
           TrimControl(section.Entries.back().RawLine).empty()) {
      section.Entries.pop_back();
    }
  }
  return file;
}

std::string TRegFile::Serialize() const {
  std::string out = std::string(kHeader) + "\n\n";
  for (const std::string& line : FPreamble) {
    out += line + "\n";
  }
  if (!FPreamble.empty()) {
    out += "\n";
  }
  for (const TSection& section : FSections) {
    out += "[" + section.Name + "]\n";
    for (const TEntry& entry : section.Entries) {
      const bool asRead = entry.Name.empty() || entry.Value.Kind == TValueKind::Other;
      out += (asRead ? entry.RawLine : ValueLine(entry.Name, entry.Value)) + "\n";
    }
    out += "\n";
  }
  return out;
}

TRegFile::TSection* TRegFile::FindSection(const std::string& fullName) {
  for (TSection& section : FSections) {
    if (SameTextAscii(section.Name, fullName)) {
      return &section;
    }
  }
  return nullptr;
}

const TRegFile::TSection* TRegFile::FindSection(const std::string& fullName) const {
  return const_cast<TRegFile*>(this)->FindSection(fullName);
}

bool TRegFile::HasKey(const std::string& path) const {
  std::string full = FullName(path);
  for (const TSection& section : FSections) {
    if (IsSameOrInside(section.Name, full)) {
      return true;
    }
  }
  return false;
}

void TRegFile::CreateKey(const std::string& path) {
  std::string full = FullName(path);
  if (FindSection(full) == nullptr) {
    FSections.emplace_back(full);
  }
}

void TRegFile::DeleteKey(const std::string& path) {
  std::string full = FullName(path);
  std::erase_if(FSections,
                [&](const TSection& section) { return IsSameOrInside(section.Name, full); });
}

std::optional<TStoreValue> TRegFile::ReadValue(const std::string& path,
                                               const std::string& name) const {
  const TSection* section = FindSection(FullName(path));
  if (section == nullptr) {
    return std::nullopt;
  }
  // As on import, a later line for the same name wins.
  auto last = section->Latest.find(AsciiUpper(name));
  if (last == section->Latest.end()) {
    return std::nullopt;
  }
  return section->Entries[last->second].Value;
}

void TRegFile::WriteValue(const std::string& path, const std::string& name,
                          const TStoreValue& value) {
  std::string full = FullName(path);
  TSection* section = FindSection(full);
  if (section == nullptr) {
    FSections.emplace_back(full);
    section = &FSections.back();
  }
  // The value keeps its place; older duplicates of it go.
  auto last = section->Latest.find(AsciiUpper(name));
  if (last == section->Latest.end()) {
    section->Add({name, value, {}});
    return;
  }
  TEntry& kept = section->Entries[last->second];
  kept = {name, value, {}};
  if (section->Duplicates) {
    std::erase_if(section->Entries, [&](const TEntry& entry) {
      return &entry != &kept && !entry.Name.empty() && SameTextAscii(entry.Name, name);
    });
    section->Reindex();
  }
}

void TRegFile::TSection::Add(TEntry entry) {
  Entries.push_back(std::move(entry));
  if (!Entries.back().Name.empty()) {
    Duplicates |=
        !Latest.insert_or_assign(AsciiUpper(Entries.back().Name), Entries.size() - 1).second;
  }
}

void TRegFile::TSection::Reindex() {
  Latest.clear();
  Duplicates = false;
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    if (!Entries[i].Name.empty()) {
      Duplicates |= !Latest.insert_or_assign(AsciiUpper(Entries[i].Name), i).second;
    }
  }
}

}  // namespace tavelune
