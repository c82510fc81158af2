#include "base/FileNames.h"

#include "platform/PathStyle.h"

namespace tavelune {

std::size_t LastDelimiter(std::string_view delimiters, std::string_view text) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (platform::IsSystemLeadByte(byte) && i + 1 < text.size()) {
      ++i;  // skip the trail byte
    } else if (delimiters.find(text[i]) != std::string_view::npos) {
      found = i;
    }
  }
  return found;
}

namespace {
// The position of the dot that starts the extension, or npos.
std::size_t ExtensionStart(std::string_view fileName) {
  std::string delimiters(platform::kPathDelimiters);
  delimiters += '.';
  std::size_t pos = LastDelimiter(delimiters, fileName);
  return pos != std::string_view::npos && fileName[pos] == '.' ? pos : std::string_view::npos;
}
}  // namespace

std::string ExtractFileExt(std::string_view fileName) {
  std::size_t dot = ExtensionStart(fileName);
  return dot == std::string_view::npos ? std::string() : std::string(fileName.substr(dot));
}

std::string ExtractFilePath(std::string_view fileName) {
  std::size_t pos = LastDelimiter(platform::kPathDelimiters, fileName);
  return pos == std::string_view::npos ? std::string() : std::string(fileName.substr(0, pos + 1));
}

std::string ExtractFileName(std::string_view fileName) {
  std::size_t pos = LastDelimiter(platform::kPathDelimiters, fileName);
  return std::string(pos == std::string_view::npos ? fileName : fileName.substr(pos + 1));
}

std::string ChangeFileExt(std::string_view fileName, std::string_view extension) {
  std::size_t dot = ExtensionStart(fileName);
  std::string out(dot == std::string_view::npos ? fileName : fileName.substr(0, dot));
  out += extension;
  return out;
}

std::string IncludeTrailingDelimiter(std::string_view folder) {
  std::string out(folder);
  if (out.empty() ||
      LastDelimiter(std::string_view(&platform::kPathDelimiter, 1), out) != out.size() - 1) {
    out += platform::kPathDelimiter;
  }
  return out;
}

}  // namespace tavelune
