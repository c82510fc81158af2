#include "settings/PeVersionResource.h"

#include <cstring>
#include <vector>

#include "platform/ByteFile.h"
#include "platform/TextCodec.h"
#include "settings/ImageBytes.h"

namespace tavelune {

namespace {

std::uint16_t U16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

constexpr std::uint32_t kVersionResourceType = 16;  // RT_VERSION
constexpr std::uint32_t kVersionResourceName = 1;   // VS_VERSION_INFO
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
// A version block's length is a 16-bit field; anything claiming more is damaged.
constexpr std::uint32_t kMaxBlockSize = 0xFFFF;
// The PE loader's own limit on sections.
constexpr std::uint16_t kMaxSections = 96;

struct TSection {
  std::uint32_t VirtualAddress;
  std::uint32_t VirtualSize;
  std::uint32_t RawSize;
  std::uint32_t RawOffset;
};

class TPeImage {
 public:
  explicit TPeImage(IImageBytes& bytes) : FBytes(bytes) {}

  std::string VersionBlock() {
    std::uint32_t resourceRva = 0;
    if (!ReadHeaders(resourceRva)) {
      return {};
    }
    // Resource tree: type -> name -> language -> data entry. Offsets inside
    // the tree are relative to the resource section's start.
    std::optional<std::uint32_t> names = FindEntry(resourceRva, 0, kVersionResourceType);
    if (!names || !(*names & kSubdirectoryFlag)) {
      return {};
    }
    std::optional<std::uint32_t> languages =
        FindEntry(resourceRva, *names & ~kSubdirectoryFlag, kVersionResourceName);
    if (!languages || !(*languages & kSubdirectoryFlag)) {
      return {};
    }
    std::optional<std::uint32_t> data = FirstEntry(resourceRva, *languages & ~kSubdirectoryFlag);
    if (!data || (*data & kSubdirectoryFlag)) {
      return {};
    }
    unsigned char entry[16];
    if (!ReadRva(resourceRva + *data, entry, sizeof entry)) {
      return {};
    }
    std::uint32_t dataRva = U32(entry);
    std::uint32_t dataSize = U32(entry + 4);
    if (dataSize < 6 || dataSize > kMaxBlockSize) {
      return {};
    }
    std::string block(dataSize, '\0');
    if (!ReadRva(dataRva, block.data(), dataSize)) {
      return {};
    }
    // The block's own length is what the version service hands out.
    std::uint16_t ownLength = U16(reinterpret_cast<const unsigned char*>(block.data()));
    if (ownLength >= 6 && ownLength < block.size()) {
      block.resize(ownLength);
    }
    return block;
  }

 private:
  bool ReadHeaders(std::uint32_t& resourceRva) {
    unsigned char dos[64];
    if (!FBytes.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
      return false;
    }
    std::uint32_t peOffset = U32(dos + 0x3C);
    unsigned char pe[24];
    if (!FBytes.ReadAt(peOffset, pe, sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0) {
      return false;
    }
    std::uint16_t sectionCount = U16(pe + 6);
    std::uint16_t optionalSize = U16(pe + 20);
    std::vector<unsigned char> optional(optionalSize);
    if (optionalSize < 2 || !FBytes.ReadAt(peOffset + 24, optional.data(), optionalSize)) {
      return false;
    }
    // PE32 and PE32+ differ in where the data directories start.
    std::uint16_t magic = U16(optional.data());
    std::size_t countAt = magic == 0x20B ? 108 : magic == 0x10B ? 92 : 0;
    if (countAt == 0 || countAt + 4 > optionalSize) {
      return false;
    }
    std::uint32_t directoryCount = U32(optional.data() + countAt);
    std::size_t resourceDirectoryAt = countAt + 4 + 2 * 8;
    if (directoryCount < 3 || resourceDirectoryAt + 8 > optionalSize) {
      return false;
    }
    resourceRva = U32(optional.data() + resourceDirectoryAt);
    if (resourceRva == 0 || sectionCount == 0 || sectionCount > kMaxSections) {
      return false;
    }
    std::vector<unsigned char> table(static_cast<std::size_t>(sectionCount) * 40);
    if (!FBytes.ReadAt(std::uint64_t{peOffset} + 24 + optionalSize, table.data(), table.size())) {
      return false;
    }
    for (std::size_t i = 0; i < sectionCount; ++i) {
      const unsigned char* s = table.data() + i * 40;
      FSections.push_back({U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20)});
    }
    return true;
  }

  // Reads bytes at a relative virtual address, from the section that holds
  // them in the file.
  bool ReadRva(std::uint32_t rva, void* buffer, std::size_t count) {
    for (const TSection& section : FSections) {
      if (rva < section.VirtualAddress) {
        continue;
      }
      std::uint64_t inSection = rva - section.VirtualAddress;
      if (inSection + count <= section.RawSize) {
        return FBytes.ReadAt(section.RawOffset + inSection, buffer, count);
      }
    }
    return false;
  }

  // Reads the directory at `offset` (relative to the resource section).
  bool ReadDirectory(std::uint32_t resourceRva, std::uint32_t offset,
                     std::vector<unsigned char>& entries) {
    unsigned char header[16];
    if (!ReadRva(resourceRva + offset, header, sizeof header)) {
      return false;
    }
    std::size_t count = static_cast<std::size_t>(U16(header + 12)) + U16(header + 14);
    entries.resize(count * 8);
    return ReadRva(resourceRva + offset + 16, entries.data(), entries.size());
  }

  // The target of the entry with numeric id `id`, or nullopt.
  std::optional<std::uint32_t> FindEntry(std::uint32_t resourceRva, std::uint32_t offset,
                                         std::uint32_t id) {
    std::vector<unsigned char> entries;
    if (!ReadDirectory(resourceRva, offset, entries)) {
      return std::nullopt;
    }
    for (std::size_t i = 0; i + 8 <= entries.size(); i += 8) {
      if (U32(entries.data() + i) == id) {
        return U32(entries.data() + i + 4);
      }
    }
    return std::nullopt;
  }

  std::optional<std::uint32_t> FirstEntry(std::uint32_t resourceRva, std::uint32_t offset) {
    std::vector<unsigned char> entries;
    if (!ReadDirectory(resourceRva, offset, entries) || entries.size() < 8) {
      return std::nullopt;
    }
    return U32(entries.data() + 4);
  }

  IImageBytes& FBytes;
  std::vector<TSection> FSections;
};

// One node of a version block: header (length, value length, type), a
// NUL-ended UTF-16 key, padding to 4 bytes, the value, padding, children.
struct TNode {
  std::size_t Start = 0;
  std::size_t End = 0;  // one past the node, within its parent
  std::u16string Key;
  std::string_view Value;
  bool IsText = false;
  std::size_t ChildrenStart = 0;
};

std::size_t AlignTo4(std::size_t offset) {
  return (offset + 3) & ~std::size_t{3};
}

std::optional<TNode> ParseNode(std::string_view block, std::size_t start, std::size_t limit) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
  if (start + 6 > limit) {
    return std::nullopt;
  }
  std::uint16_t length = U16(bytes + start);
  if (length < 6) {
    return std::nullopt;
  }
  TNode node;
  node.Start = start;
  node.End = std::min(limit, start + length);
  std::uint16_t valueLength = U16(bytes + start + 2);
  node.IsText = U16(bytes + start + 4) == 1;
  std::size_t at = start + 6;
  for (;; at += 2) {
    if (at + 2 > node.End) {
      return std::nullopt;
    }
    char16_t unit = U16(bytes + at);
    if (unit == 0) {
      break;
    }
    node.Key += unit;
  }
  std::size_t valueStart = AlignTo4(at + 2);
  std::size_t valueBytes = node.IsText ? std::size_t{valueLength} * 2 : valueLength;
  if (valueStart > node.End) {
    valueStart = node.End;
  }
  valueBytes = std::min(valueBytes, node.End - valueStart);
  node.Value = block.substr(valueStart, valueBytes);
  node.ChildrenStart = AlignTo4(valueStart + valueBytes);
  return node;
}

bool SameKey(std::u16string_view key, std::string_view wanted) {
  if (key.size() != wanted.size()) {
    return false;
  }
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (fold(key[i]) != fold(static_cast<unsigned char>(wanted[i]))) {
      return false;
    }
  }
  return true;
}

std::optional<TNode> FindChild(std::string_view block, const TNode& parent, std::string_view key) {
  std::size_t at = parent.ChildrenStart;
  while (at < parent.End) {
    std::optional<TNode> child = ParseNode(block, at, parent.End);
    if (!child) {
      return std::nullopt;
    }
    if (SameKey(child->Key, key)) {
      return child;
    }
    at = AlignTo4(child->End);
  }
  return std::nullopt;
}

}  // namespace

std::string ReadVersionInfoBlock(const std::string& fileName) {
  platform::TByteFile file;
  if (!file.Open(fileName, platform::TShareMode::DenyNone)) {
    return {};
  }
  TFileImage image(file);
  return TPeImage(image).VersionBlock();
}

std::string VersionInfoBlockFromImage(std::string_view image) {
  TMemoryImage bytes(image);
  return TPeImage(bytes).VersionBlock();
}

std::optional<TVersionValue> QueryVersionValue(std::string_view block, std::string_view path) {
  std::optional<TNode> node = ParseNode(block, 0, block.size());
  while (node && !path.empty()) {
    path.remove_prefix(std::min(path.find_first_not_of('\\'), path.size()));
    std::size_t end = std::min(path.find('\\'), path.size());
    if (end > 0) {
      node = FindChild(block, *node, path.substr(0, end));
    }
    path.remove_prefix(end);
  }
  if (!node) {
    return std::nullopt;
  }
  return TVersionValue{node->Value, node->IsText};
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> FirstTranslation(std::string_view block) {
  std::optional<TVersionValue> value = QueryVersionValue(block, "\\VarFileInfo\\Translation");
  if (!value || value->Bytes.size() < 4) {
    return std::nullopt;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(value->Bytes.data());
  return std::pair{U16(bytes), U16(bytes + 2)};
}

std::string VersionText(const TVersionValue& value, std::size_t maxChars) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(value.Bytes.data());
  std::u16string text;
  for (std::size_t at = 0; at + 2 <= value.Bytes.size() && text.size() < maxChars; at += 2) {
    char16_t unit = U16(bytes + at);
    if (unit == 0) {
      break;
    }
    text += unit;
  }
  if (text.size() == maxChars && text.back() >= 0xD800 && text.back() <= 0xDBFF) {
    text.pop_back();  // the low half was cut off
  }
  return platform::Utf16ToSystem(text);
}

}  // namespace tavelune
