#include "settings/VersionInfo.h"

#include <cstdio>

#include "base/FileNames.h"
#include "base/TextFile.h"
#include "base/TextUtils.h"
#include "platform/FileSystem.h"
#include "settings/AttachedVersion.h"
#include "settings/PeVersionResource.h"

namespace tavelune {

namespace {

// Extensions whose files are read for a version resource. A name's
// extension is tested for occurring anywhere in this text, so ".ex" counts.
constexpr std::string_view kProgramExtensions = ".exe.dll.scr.ocx.jpn";

void ReadVersionResource(const std::string& fileName, TVersionRecord& record) {
  std::string block = ReadVersionInfoBlock(fileName);
  if (block.empty()) {
    return;
  }
  auto translation = FirstTranslation(block);
  if (!translation) {
    return;
  }
  char table[9];
  std::snprintf(table, sizeof table, "%04X%04X", translation->first, translation->second);
  for (const auto& [key, member] : kVersionFields) {
    std::string path = std::string("\\StringFileInfo\\") + table + "\\" + std::string(key);
    if (auto value = QueryVersionValue(block, path)) {
      record.*member = VersionText(*value, kMaxVersionText);
    }
  }
}

// "Keyword value" in a header entry: the text from the keyword (1-based
// `pos`) to the end, or to the other keyword when that comes later; then
// the part after its first blank, trimmed.
std::string KeywordValue(std::string_view entry, std::size_t pos, std::size_t otherPos) {
  std::string_view text = entry.substr(pos - 1);
  if (otherPos > pos) {
    text = text.substr(0, otherPos - pos);
  }
  std::size_t blank = text.find(' ');
  return TrimControl(blank == std::string_view::npos ? text : text.substr(blank));
}

// 1-based position of `word` in `text`, 0 when absent.
std::size_t Position(std::string_view text, std::string_view word) {
  std::size_t at = text.find(word);
  return at == std::string_view::npos ? 0 : at + 1;
}

// A "#" comment line such as "# Viewer ver 2.1 by Someone" names the product,
// its version and its author.
void ApplyHeaderLine(std::string_view line, TVersionRecord& record) {
  if (line.empty() || line[0] != '#' || line.substr(0, 2) == "#!") {
    return;
  }
  std::string entry = TrimControl(line.substr(1));
  std::string lower = AsciiLower(entry);
  std::size_t verPos = Position(lower, "ver");
  std::size_t byPos = Position(lower, "by");
  if (record.ProductName.empty()) {
    std::string_view name = entry;
    if (verPos > 0 && verPos > byPos) {
      name = name.substr(0, verPos - 1);
    } else if (byPos > 0 && byPos > verPos) {
      name = name.substr(0, byPos - 1);
    }
    name.remove_prefix(std::min(name.find_first_not_of(" #/*:;"), name.size()));
    record.ProductName = std::string(name);
  }
  if (verPos > 0 && record.FileVersion.empty()) {
    record.FileVersion = KeywordValue(entry, verPos, byPos);
  }
  if (byPos > 0 && record.LegalCopyright.empty()) {
    record.LegalCopyright = KeywordValue(entry, byPos, verPos);
  }
}

void ReadTextHeader(const std::string& fileName, TVersionRecord& record) {
  if (!platform::FileExists(fileName)) {
    return;
  }
  TTextFile file(fileName);
  if (!file.Open()) {
    return;
  }
  constexpr int kMaxHeaderLines = 10;
  TTextLine line;
  for (int read = 0; read < kMaxHeaderLines &&
                     (record.ProductName.empty() || record.FileVersion.empty() ||
                      record.LegalCopyright.empty()) &&
                     file.ReadLine(line);
       ++read) {
    ApplyHeaderLine(line.Text, record);
  }
}

// CP932 lead bytes: 0x81-0x9F and 0xE0-0xFC.
bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Whether the byte at `index` is the second byte of a double-byte character:
// the run of lead bytes right before it has odd length.
bool IsCp932TrailByte(std::string_view text, std::size_t index) {
  std::size_t run = 0;
  while (run < index && IsCp932LeadByte(static_cast<unsigned char>(text[index - run - 1]))) {
    ++run;
  }
  return run % 2 == 1;
}

constexpr std::string_view kFullWidthBlank = "\x81\x40";

}  // namespace

bool ReadVersionRecord(const std::string& fileName, TVersionRecord& record) {
  record = TVersionRecord{};
  std::string extension = AsciiLower(ExtractFileExt(fileName));
  if (!extension.empty() && kProgramExtensions.find(extension) != std::string_view::npos) {
    ReadVersionResource(fileName, record);
  } else if (!ReadAttachedVersionRecord(fileName, record)) {
    ReadTextHeader(fileName, record);
  }
  return true;
}

std::string TrimFullWidth(std::string_view text) {
  std::string trimmed = TrimControl(text);
  std::string_view rest = trimmed;
  for (;;) {
    if (!rest.empty() && rest.front() == ' ') {
      rest.remove_prefix(1);
    } else if (rest.substr(0, 2) == kFullWidthBlank) {
      rest.remove_prefix(2);
    } else {
      break;
    }
  }
  for (;;) {
    if (!rest.empty() && rest.back() == ' ') {
      rest.remove_suffix(1);
    } else if (rest.size() >= 2 && rest.substr(rest.size() - 2) == kFullWidthBlank &&
               IsCp932TrailByte(rest, rest.size() - 1)) {
      rest.remove_suffix(2);
    } else {
      break;
    }
  }
  return TrimControl(rest);
}

}  // namespace tavelune
