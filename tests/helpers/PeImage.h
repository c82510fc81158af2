#pragma once

// Builds Windows program images with a version resource, byte by byte, so
// that the version reader can be tested (and fuzzed) on exactly the layouts
// wanted, damaged ones included.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tavelune::test {

inline void PutU16(std::string& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}

inline void PutU32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  }
}

inline void AppendU16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

inline void PadTo4(std::string& out) {
  while (out.size() % 4 != 0) {
    out += '\0';
  }
}

// One node of a version block. `value` is stored as given; `valueLength` is
// the header's count (characters for text, bytes otherwise).
inline std::string VersionNode(const std::u16string& key, const std::string& value,
                               std::uint16_t valueLength, bool isText,
                               const std::vector<std::string>& children) {
  std::string node(6, '\0');
  for (char16_t c : key) {
    AppendU16(node, c);
  }
  AppendU16(node, 0);
  PadTo4(node);
  node += value;
  for (const std::string& child : children) {
    PadTo4(node);
    node += child;
  }
  PutU16(node, 0, static_cast<std::uint16_t>(node.size()));
  PutU16(node, 2, valueLength);
  PutU16(node, 4, isText ? 1 : 0);
  return node;
}

inline std::string TextNode(const std::u16string& key, const std::u16string& text) {
  std::string value;
  for (char16_t c : text) {
    AppendU16(value, c);
  }
  AppendU16(value, 0);
  return VersionNode(key, value, static_cast<std::uint16_t>(text.size() + 1), true, {});
}

struct TVersionBlockSpec {
  std::u16string TableKey = u"041104B0";
  std::vector<std::pair<std::u16string, std::u16string>> Strings;
  bool WithTranslation = true;
  std::uint16_t Language = 0x0411;
  std::uint16_t CodePage = 0x04B0;
};

inline std::string VersionBlock(const TVersionBlockSpec& spec) {
  std::vector<std::string> strings;
  for (const auto& [key, text] : spec.Strings) {
    strings.push_back(TextNode(key, text));
  }
  std::vector<std::string> top = {VersionNode(u"StringFileInfo", "", 0, true,
                                              {VersionNode(spec.TableKey, "", 0, true, strings)})};
  if (spec.WithTranslation) {
    std::string translation;
    AppendU16(translation, spec.Language);
    AppendU16(translation, spec.CodePage);
    top.push_back(VersionNode(u"VarFileInfo", "", 0, true,
                              {VersionNode(u"Translation", translation, 4, false, {})}));
  }
  std::string fixedInfo(52, '\0');
  PutU32(fixedInfo, 0, 0xFEEF04BD);
  return VersionNode(u"VS_VERSION_INFO", fixedInfo, 52, false, top);
}

// A PE32+ image whose only section holds a resource tree with `block` as
// resource type 16, name `resourceName`, language 0x0411.
inline std::string PeImage(const std::string& block, std::uint32_t resourceName = 1) {
  constexpr std::uint32_t kPeAt = 0x40;
  constexpr std::uint16_t kOptionalSize = 240;
  constexpr std::uint32_t kSectionRva = 0x1000;
  constexpr std::uint32_t kSectionFileAt = 0x200;
  std::string resources(0x58, '\0');
  // Type directory: one id entry, 16, pointing to the name directory.
  PutU16(resources, 14, 1);
  PutU32(resources, 16, 16);
  PutU32(resources, 20, 0x80000000u | 0x18);
  // Name directory at 0x18.
  PutU16(resources, 0x18 + 14, 1);
  PutU32(resources, 0x18 + 16, resourceName);
  PutU32(resources, 0x18 + 20, 0x80000000u | 0x30);
  // Language directory at 0x30, pointing to the data entry at 0x48.
  PutU16(resources, 0x30 + 14, 1);
  PutU32(resources, 0x30 + 16, 0x0411);
  PutU32(resources, 0x30 + 20, 0x48);
  PutU32(resources, 0x48, kSectionRva + 0x58);
  PutU32(resources, 0x48 + 4, static_cast<std::uint32_t>(block.size()));
  resources += block;

  std::string image(kSectionFileAt, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  PutU32(image, 0x3C, kPeAt);
  image.replace(kPeAt, 4, std::string("PE\0\0", 4));
  PutU16(image, kPeAt + 4, 0x8664);
  PutU16(image, kPeAt + 6, 1);
  PutU16(image, kPeAt + 20, kOptionalSize);
  std::size_t optional = kPeAt + 24;
  PutU16(image, optional, 0x20B);
  PutU32(image, optional + 108, 16);
  PutU32(image, optional + 112 + 2 * 8, kSectionRva);
  PutU32(image, optional + 112 + 2 * 8 + 4, static_cast<std::uint32_t>(resources.size()));
  std::size_t section = optional + kOptionalSize;
  image.replace(section, 5, ".rsrc");
  PutU32(image, section + 8, static_cast<std::uint32_t>(resources.size()));
  PutU32(image, section + 12, kSectionRva);
  PutU32(image, section + 16, static_cast<std::uint32_t>(resources.size()));
  PutU32(image, section + 20, kSectionFileAt);
  return image + resources;
}

}  // namespace tavelune::test
