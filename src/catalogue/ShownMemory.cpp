#include "catalogue/ShownMemory.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "base/FileNames.h"
#include "platform/ByteFile.h"
#include "platform/SystemDirs.h"

namespace tavelune {

TShownMemory::TShownMemory(std::string fileName) : FFileName(std::move(fileName)) {
  Load();
}

void TShownMemory::Load() {
  if (FFileName.empty()) {
    return;
  }
  platform::TByteFile file;
  if (!file.Open(FFileName, platform::TShareMode::DenyWrite)) {
    return;  // none yet, or a FIFO or device, which is never waited on
  }
  const std::uint64_t size = file.Size();
  if (size == 0 || size > kMaxFileBytes) {
    return;
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  if (!file.ReadAt(0, text.data(), text.size())) {
    return;
  }
  // Lines end with LF; the header must be the first, or this is not a memory.
  std::size_t start = text.find('\n');
  if (start == std::string::npos || text.compare(0, start, kHeader) != 0 ||
      text.find('\0') != std::string::npos) {
    return;
  }
  for (++start; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      break;  // a last line without its end was cut off: not taken
    }
    std::string name = text.substr(start, end - start);
    start = end + 1;
    if (!name.empty() && FNames.insert(name).second) {
      FOrder.push_back(std::move(name));
    }
  }
  while (FOrder.size() > kMaxNames) {
    FNames.erase(FOrder.front());
    FOrder.pop_front();
  }
}

bool TShownMemory::Remember(const std::string& movie) {
  if (movie.empty() || movie.find_first_of("\r\n") != std::string::npos) {
    return true;  // a name a line cannot hold is not remembered
  }
  if (!FNames.insert(movie).second) {
    return true;
  }
  FOrder.push_back(movie);
  if (FOrder.size() > kMaxNames) {
    FNames.erase(FOrder.front());
    FOrder.pop_front();
  }
  return Save();
}

bool TShownMemory::Forget() {
  FOrder.clear();
  FNames.clear();
  return Save();
}

bool TShownMemory::Save() const {
  if (FFileName.empty()) {
    return false;
  }
  std::string text = std::string(kHeader) + "\n";
  for (const std::string& name : FOrder) {
    text += name;
    text += '\n';
  }
  const std::string temporary = FFileName + ".new";
  std::error_code failed;
  try {
    std::filesystem::create_directories(std::filesystem::path(ExtractFilePath(FFileName)), failed);
    platform::WriteFileNoFollow(temporary, text);
  } catch (const platform::EFCreateError&) {
    return false;
  }
  std::filesystem::rename(temporary, FFileName, failed);
  if (failed) {
    std::filesystem::remove(temporary, failed);
    return false;
  }
  return true;
}

std::string ShownMemoryFileName() {
  const std::string folder = platform::UserCacheDirText();
  return folder.empty() ? std::string() : IncludeTrailingDelimiter(folder) + "shown.txt";
}

}  // namespace tavelune
