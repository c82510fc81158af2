#include "probe/ContainerProbe.h"

#include <array>
#include <string_view>

#include "base/FileNames.h"
#include "base/TextUtils.h"
#include "platform/ByteFile.h"
#include "probe/ByteSearch.h"

namespace tavelune {

namespace {

// The first `size` bytes of the file, or empty when it cannot be opened or
// is shorter: a file shorter than a probe's block is not of that kind.
std::string ReadBlock(const std::string& fileName, std::size_t size) {
  platform::TByteFile file;
  std::string block(size, '\0');
  if (!file.Open(fileName, platform::TShareMode::DenyNone) || !file.ReadAt(0, block.data(), size)) {
    return {};
  }
  return block;
}

// A text field of the block: ends at its first zero byte.
std::string_view Field(std::string_view block, std::size_t offset, std::size_t length) {
  std::string_view field = block.substr(offset, length);
  return field.substr(0, field.find('\0'));
}

bool FieldIs(std::string_view block, std::size_t offset, std::string_view upperText) {
  return AsciiUpper(Field(block, offset, upperText.size())) == upperText;
}

constexpr std::string_view kSequenceHeader("\x00\x00\x01\xB3", 4);
constexpr std::string_view kExtensionStart("\x00\x00\x01\xB5", 4);
// A sequence header with exactly one 64-byte quantiser matrix is 12 + 64
// bytes long; an MPEG-2 stream's sequence extension follows it directly.
constexpr std::size_t kSequenceHeaderWithMatrix = 76;

constexpr std::array<unsigned char, 16> kAsfHeaderId = {
    0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

}  // namespace

std::string ProbeRiff(const std::string& fileName) {
  std::string block = ReadBlock(fileName, 116);
  if (block.empty() || !FieldIs(block, 0, "RIFF")) {
    return {};
  }
  if (FieldIs(block, 8, "AVI LIST")) {
    return AsciiLower(Field(block, 112, 4));
  }
  if (FieldIs(block, 8, "CDXAFMT ")) {
    return std::string(Field(block, 8, 8));
  }
  return {};
}

std::string ProbeQuickTime(const std::string& fileName) {
  std::string block = ReadBlock(fileName, 597);
  return !block.empty() && FieldIs(block, 4, "MOOV") ? "MOOV" : "";
}

std::string ProbeMpeg(const std::string& fileName) {
  std::string start = ReadBlock(fileName, 4);
  // A pack, system header, end code or stream start code. A bare video
  // sequence header (0xB3) is deliberately not taken.
  if (start.empty() || start.compare(0, 3, std::string_view("\x00\x00\x01", 3)) != 0 ||
      static_cast<unsigned char>(start[3]) < 0xB9) {
    return {};
  }
  std::int64_t header =
      FindBytesInFile(fileName, std::string(kSequenceHeader), kSequenceHeaderSearchLimit);
  if (header < 0) {
    return {};
  }
  platform::TByteFile file;
  if (!file.Open(fileName, platform::TShareMode::DenyNone)) {
    return {};
  }
  std::string after(kSequenceHeaderWithMatrix, '\0');
  bool complete = file.ReadAt(static_cast<std::uint64_t>(header) + 4, after.data(), after.size());
  std::string code = complete && std::string_view(after).substr(after.size() - 4) == kExtensionStart
                         ? "MPG2"
                         : "MPG1";
  if (code == "MPG1") {
    std::string extension = AsciiLower(ExtractFileExt(fileName));
    if (extension == ".vob" || extension == ".vro" || extension == ".m2p") {
      return AsciiUpper(extension);
    }
  }
  return code;
}

std::string ProbeAsf(const std::string& fileName) {
  std::string block = ReadBlock(fileName, 732);
  return !block.empty() && std::equal(kAsfHeaderId.begin(), kAsfHeaderId.end(), block.begin(),
                                      [](unsigned char a, char b) {
                                        return a == static_cast<unsigned char>(b);
                                      })
             ? "wmv"
             : "";
}

std::string ProbeRealMedia(const std::string& fileName) {
  std::string block = ReadBlock(fileName, 122);
  return !block.empty() && FieldIs(block, 0, ".RMF") && FieldIs(block, 18, "PROP") ? "real" : "";
}

std::string ProbeVgm(const std::string& fileName) {
  std::string block = ReadBlock(fileName, 4);
  std::string text = AsciiUpper(Field(block, 0, 4));
  return text.substr(0, 3) == "VGM" ? text : "";
}

std::string ProbeContainer(const std::string& fileName) {
  for (auto probe : {ProbeRiff, ProbeQuickTime, ProbeMpeg, ProbeAsf, ProbeRealMedia, ProbeVgm}) {
    std::string code = probe(fileName);
    if (!code.empty()) {
      return code;
    }
  }
  return AsciiUpper(ExtractFileExt(fileName));
}

std::string ContainerExtensionOf(std::string_view head) {
  auto at = [&](std::size_t offset, std::string_view bytes) {
    return head.size() >= offset + bytes.size() && head.substr(offset, bytes.size()) == bytes;
  };
  if (at(0, "RIFF") && at(8, "AVI ")) {
    return ".avi";
  }
  if (at(0, std::string_view("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8))) {
    return ".wmv";
  }
  if (at(0, std::string_view("\0\0\1\xBA", 4))) {
    return ".mpg";
  }
  if (at(4, "ftyp")) {
    return at(8, "qt  ") ? ".mov" : ".mp4";
  }
  if (at(4, "moov") || at(4, "mdat") || at(4, "wide") || at(4, "free")) {
    return ".mov";
  }
  return "";
}

}  // namespace tavelune
