#include "settings/AttachedVersion.h"

#include <cstring>
#include <vector>

#include "platform/ByteFile.h"
#include "settings/ImageBytes.h"

namespace tavelune {

namespace {

// Bounds that no real section table or record comes near; a file claiming
// more is damaged and is not read further.
constexpr std::uint64_t kMaxTableBytes = 4 * 1024 * 1024;
constexpr std::uint64_t kMaxRecordBytes = 64 * 1024;

class TElfReader {
 public:
  explicit TElfReader(IImageBytes& bytes) : FBytes(bytes) {}

  std::string Section(std::string_view wanted) {
    unsigned char ident[64];
    if (!Read(0, ident, sizeof ident) || std::memcmp(ident,
                                                     "\x7F"
                                                     "ELF",
                                                     4) != 0) {
      return {};
    }
    FIs64 = ident[4] == 2;
    FBigEndian = ident[5] == 2;
    if ((ident[4] != 1 && ident[4] != 2) || (ident[5] != 1 && ident[5] != 2)) {
      return {};
    }
    std::uint64_t tableOffset = FIs64 ? Get(ident + 0x28, 8) : Get(ident + 0x20, 4);
    std::uint64_t entrySize = Get(ident + (FIs64 ? 0x3A : 0x2E), 2);
    std::uint64_t count = Get(ident + (FIs64 ? 0x3C : 0x30), 2);
    std::uint64_t namesIndex = Get(ident + (FIs64 ? 0x3E : 0x32), 2);
    std::uint64_t minEntry = FIs64 ? 64 : 40;
    if (entrySize < minEntry || count == 0 || namesIndex >= count ||
        entrySize * count > kMaxTableBytes) {
      return {};
    }
    std::vector<unsigned char> table(entrySize * count);
    if (!Read(tableOffset, table.data(), table.size())) {
      return {};
    }
    auto field = [&](std::uint64_t index, std::size_t at64, std::size_t at32) {
      const unsigned char* entry = table.data() + index * entrySize;
      return FIs64 ? Get(entry + at64, 8) : Get(entry + at32, 4);
    };
    auto nameOffset = [&](std::uint64_t index) { return Get(table.data() + index * entrySize, 4); };
    std::uint64_t namesAt = field(namesIndex, 0x18, 0x10);
    std::uint64_t namesSize = field(namesIndex, 0x20, 0x14);
    for (std::uint64_t i = 0; i < count; ++i) {
      std::uint64_t name = nameOffset(i);
      if (name >= namesSize || namesSize - name < wanted.size() + 1) {
        continue;
      }
      std::string candidate(wanted.size() + 1, '\0');
      if (!Read(namesAt + name, candidate.data(), candidate.size()) ||
          std::string_view(candidate).substr(0, wanted.size()) != wanted ||
          candidate.back() != '\0') {
        continue;
      }
      std::uint64_t size = field(i, 0x20, 0x14);
      if (size > kMaxRecordBytes) {
        return {};
      }
      std::string contents(size, '\0');
      return Read(field(i, 0x18, 0x10), contents.data(), contents.size()) ? contents
                                                                          : std::string();
    }
    return {};
  }

 private:
  bool Read(std::uint64_t offset, void* buffer, std::size_t count) {
    return FBytes.ReadAt(offset, buffer, count);
  }

  std::uint64_t Get(const unsigned char* p, int bytes) const {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      int shift = FBigEndian ? (bytes - 1 - i) * 8 : i * 8;
      value |= static_cast<std::uint64_t>(p[i]) << shift;
    }
    return value;
  }

  IImageBytes& FBytes;
  bool FIs64 = false;
  bool FBigEndian = false;
};

}  // namespace

void ParseAttachedVersionText(std::string_view text, TVersionRecord& record) {
  while (!text.empty()) {
    std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      continue;
    }
    for (const auto& [key, member] : kVersionFields) {
      if (line.substr(0, equals) == key) {
        std::string_view value = line.substr(equals + 1);
        record.*member = std::string(value.substr(0, value.find('\0')));
      }
    }
  }
}

std::string AttachedVersionTextFromImage(std::string_view image) {
  TMemoryImage bytes(image);
  return TElfReader(bytes).Section(kAttachedVersionSection);
}

bool ReadAttachedVersionRecord(const std::string& fileName, TVersionRecord& record) {
  platform::TByteFile file;
  if (!file.Open(fileName, platform::TShareMode::DenyNone)) {
    return false;
  }
  TFileImage bytes(file);
  std::string text = TElfReader(bytes).Section(kAttachedVersionSection);
  if (text.empty()) {
    return false;
  }
  ParseAttachedVersionText(text, record);
  return true;
}

}  // namespace tavelune
