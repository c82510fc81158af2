#include "base/TextFile.h"

#include <algorithm>
#include <utility>

namespace tavelune {

namespace {
constexpr std::size_t kBufferSize = 64 * 1024;
}

TTextFile::TTextFile(std::string fileName, std::size_t maxKept)
    : FFileName(std::move(fileName)), FMaxKept(maxKept) {}

bool TTextFile::Open() {
  Close();
  if (!FFile.Open(FFileName, platform::TShareMode::DenyWrite)) {
    return false;
  }
  FBuffer.resize(kBufferSize);
  return true;
}

void TTextFile::Close() {
  FFile.Close();
  FPos = FEnd = 0;
  FSkipLf = false;
}

bool TTextFile::FillBuffer() {
  if (FPos < FEnd) {
    return true;
  }
  FPos = 0;
  FEnd = FFile.Read(FBuffer.data(), FBuffer.size());
  return FEnd > 0;
}

bool TTextFile::Eof() {
  if (!FillBuffer()) {
    return true;
  }
  if (FSkipLf && FBuffer[FPos] == '\n') {
    FSkipLf = false;
    ++FPos;
    return !FillBuffer();
  }
  return false;
}

bool TTextFile::ReadLine(TTextLine& line) {
  line.Text.clear();
  line.Length = 0;
  if (Eof()) {
    return false;
  }
  FSkipLf = false;
  while (FillBuffer()) {
    const char* start = FBuffer.data() + FPos;
    const char* end = FBuffer.data() + FEnd;
    const char* stop = std::find_if(start, end, [](char c) { return c == '\n' || c == '\r'; });
    auto runLength = static_cast<std::size_t>(stop - start);
    if (line.Text.size() < FMaxKept) {
      line.Text.append(start, std::min(runLength, FMaxKept - line.Text.size()));
    }
    line.Length += runLength;
    FPos += runLength;
    if (stop != end) {
      FSkipLf = *stop == '\r';
      ++FPos;
      break;
    }
  }
  return true;
}

}  // namespace tavelune
