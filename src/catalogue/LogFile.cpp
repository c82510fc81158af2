#include "catalogue/LogFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "base/FileNames.h"
#include "base/ProcessUtils.h"
#include "base/ScopeExit.h"
#include "base/TextUtils.h"
#include "platform/ByteFile.h"
#include "platform/FileSystem.h"
#include "platform/LocaleText.h"
#include "platform/PathStyle.h"
#include "settings/VersionInfo.h"

namespace tavelune {

namespace {

constexpr const char* kLineEnd = "\r\n";

std::string TrimBlanks(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string IsoDate(const platform::TLocalTime& t) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.Year, t.Month, t.Day);
  return buffer;
}

std::string IsoDateTime(const platform::TLocalTime& t) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, " %02d:%02d:%02d", t.Hour, t.Minute, t.Second);
  return IsoDate(t) + buffer;
}

// A name is taken as given when it starts at a root ("\logs\play.txt",
// "/var/log/play.txt") or, where names carry drives, names one ("D:play.txt").
bool IsRootedName(const std::string& name) {
  const bool drives = platform::kPathDelimiters.find(':') != std::string_view::npos;
  return (!name.empty() && name.front() == platform::kPathDelimiter) ||
         (drives && name.find(':') != std::string::npos);
}

}  // namespace

std::string TimestampText(const platform::TLocalTime& time) {
  std::string text = platform::ShortDateText(time);
  if (time.Hour != 0 || time.Minute != 0 || time.Second != 0 || time.Millisecond != 0) {
    text += " " + platform::LongTimeText(time);
  }
  return text;
}

void WriteTimedLine(IHistoryLog& log, const platform::TLocalTime& now, const std::string& event) {
  log.WriteLine(TimestampText(now) + event);
}

std::string FullHistoryName(const std::string& fileName, const std::string& programFileName) {
  return IsRootedName(fileName) ? fileName : ExtractFilePath(programFileName) + fileName;
}

std::string WhyHistoryIsNotKept(const std::string& fileName) {
  if (platform::NamesDevice(fileName)) {
    return fileName + " is a device";
  }
  if (platform::DirectoryExists(fileName)) {
    return fileName + " is a folder";
  }
  if (platform::FileExists(fileName)) {
    try {
      platform::AppendToFile(fileName, {});  // opens for writing, writes nothing
    } catch (const platform::EFCreateError& error) {
      return error.what();
    }
    return {};
  }
  // The start record creates the file, and its folder when only that is missing.
  const std::string folder = ExtractFilePath(fileName);
  const std::string parent = ExtractFilePath(folder.substr(0, folder.size() - 1));
  if (!folder.empty() && !platform::DirectoryExists(folder) && !platform::DirectoryExists(parent)) {
    return "the folder " + folder + " does not exist";
  }
  return {};
}

TLogFile::TLogFile(std::string programFileName) : FProgramFileName(std::move(programFileName)) {}

TLogFile::~TLogFile() {
  if (FActive) {
    try {
      WriteEnd();
    } catch (const EInOutError&) {
      // Nobody is left to tell.
    }
  }
}

void TLogFile::SetActive(bool active) {
  if (active) {
    FActive = true;
    WriteStart();
  } else {
    // Inactive afterwards even when the end record fails: a log left active
    // on a file it cannot write would throw at every later line.
    const TScopeExit inactive([this] { FActive = false; });
    WriteEnd();
  }
}

void TLogFile::Append(const std::string& lines) {
  try {
    // A FIFO or a device named as the history is refused rather than
    // waited on: the UI thread writes every line.
    platform::AppendToFile(FLogFileName, lines);
  } catch (const platform::EFCreateError&) {
    throw EInOutError("cannot write the history file " + FLogFileName);
  }
}

void TLogFile::WriteStart() {
  if (!FActive || TrimBlanks(FLogFileName).empty()) {
    return;
  }
  FLogFileName = FullHistoryName(FLogFileName, FProgramFileName);
  if (platform::NamesDevice(FLogFileName)) {
    FActive = false;
    return;
  }
  // Only the last level is created; a failure shows when the file is opened.
  std::error_code ignored;
  std::filesystem::create_directory(std::filesystem::path(ExtractFilePath(FLogFileName)), ignored);
  TVersionRecord version;
  ReadVersionRecord(FProgramFileName, version);
  try {
    Append("--- START ---\t" + IsoDateTime(platform::LocalNow()) + kLineEnd + "Version " +
           version.FileVersion + kLineEnd);
  } catch (const EInOutError&) {
    SetActive(false);  // tries the end record, whose failure reaches the caller
  }
}

void TLogFile::WriteEnd() {
  if (TrimBlanks(FLogFileName).empty() || !FActive) {
    return;
  }
  platform::TLocalTime now = platform::LocalNow();
  Append("--- END ---\t" + IsoDate(now) + "\t" + platform::LongTimeText(now) + kLineEnd);
}

bool TLogFile::WriteLine(const std::string& text, bool error) {
  if (!FActive || TrimBlanks(FLogFileName).empty()) {
    return false;
  }
  Append((error ? ExtractFileName(FLogFileName) + ": " + text + " (C.ERROR)" : text) + kLineEnd);
  return true;
}

namespace {

// Trimming reads and writes the history in blocks of this many bytes.
constexpr std::size_t kTrimBlock = 256 * 1024;

// The size of the next block when `left` bytes remain.
std::size_t BlockSize(std::uint64_t left) {
  return static_cast<std::size_t>(std::min<std::uint64_t>(kTrimBlock, left));
}

bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// The offset at which the last `keep` lines of `in` (`size` bytes) start,
// found from the end backwards; nullopt when the file holds no more lines
// than that, or once `abandon` is set.
std::optional<std::uint64_t> StartOfLastLines(platform::TByteFile& in, std::uint64_t size,
                                              std::size_t keep, const std::atomic<bool>& abandon,
                                              const std::string& fileName) {
  std::vector<char> block(kTrimBlock);
  std::size_t endsToPass = keep;  // line ends after the cut
  bool firstBlock = true;
  bool lineFeedFollows = false;  // the byte after this one is a line feed
  for (std::uint64_t end = size; end > 0;) {
    if (abandon) {
      return std::nullopt;
    }
    const std::size_t count = BlockSize(end);
    const std::uint64_t start = end - count;
    if (!in.ReadAt(start, block.data(), count)) {
      throw EInOutError("cannot read the history file " + fileName);
    }
    if (firstBlock && IsLineEnd(block[count - 1])) {
      ++endsToPass;  // the last line's own end is not a cut
    }
    firstBlock = false;
    if (endsToPass == 0) {
      return size;
    }
    // A block without line ends (a history grown by a hole or a runaway
    // line) is passed at memchr's speed.
    if (std::memchr(block.data(), '\n', count) == nullptr &&
        std::memchr(block.data(), '\r', count) == nullptr) {
      lineFeedFollows = false;
      end = start;
      YieldToMessagesIfDue();
      continue;
    }
    for (std::size_t i = count; i-- > 0;) {
      const char c = block[i];
      // A CR right before a LF is one line end with it, counted at the LF.
      if (c == '\n' || (c == '\r' && !lineFeedFollows)) {
        if (--endsToPass == 0) {
          return start + i + 1;
        }
      }
      lineFeedFollows = c == '\n';
    }
    end = start;
    YieldToMessagesIfDue();
  }
  return std::nullopt;
}

// Copies `in` from `from` to its end into `out`, every line ended by CR LF;
// false once `abandon` is set.
bool CopyLinesWithCrLf(platform::TByteFile& in, std::uint64_t from, std::uint64_t size,
                       std::ostream& out, const std::atomic<bool>& abandon,
                       const std::string& fileName) {
  std::vector<char> block(kTrimBlock);
  std::string lines;
  bool afterCarriageReturn = false;
  char last = '\n';
  for (std::uint64_t at = from; at < size;) {
    if (abandon) {
      return false;
    }
    const std::size_t count = BlockSize(size - at);
    if (!in.ReadAt(at, block.data(), count)) {
      throw EInOutError("cannot read the history file " + fileName);
    }
    lines.clear();
    for (std::size_t i = 0; i < count; ++i) {
      const char c = block[i];
      if (c == '\r') {
        lines += kLineEnd;
      } else if (c == '\n') {
        if (!afterCarriageReturn) {
          lines += kLineEnd;
        }
      } else {
        lines += c;
      }
      afterCarriageReturn = c == '\r';
    }
    last = block[count - 1];
    out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    at += count;
    YieldToMessagesIfDue();
  }
  if (!IsLineEnd(last)) {
    out << kLineEnd;
  }
  return true;
}

}  // namespace

void TLogFile::TrimHistory(std::size_t keep, const std::atomic<bool>& abandon) {
  if (!platform::FileExists(FLogFileName)) {
    return;
  }
  // Shared with writers: the run's own lines (input handled while the cut
  // yields) are appended meanwhile, and copied too.
  platform::TByteFile in;
  if (!in.Open(FLogFileName, platform::TShareMode::DenyNone)) {
    throw EInOutError("cannot read the history file " + FLogFileName);
  }
  std::uint64_t size = in.Size();
  const std::optional<std::uint64_t> cut = StartOfLastLines(in, size, keep, abandon, FLogFileName);
  if (!cut) {
    return;
  }
  // A new file renamed over the old: a crash never leaves half a history.
  const std::string temporary = FLogFileName + ".trim";
  bool copied = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    copied = CopyLinesWithCrLf(in, *cut, size, out, abandon, FLogFileName);
    for (std::uint64_t grown = 0; copied && (grown = in.Size()) > size; size = grown) {
      copied = CopyLinesWithCrLf(in, size, grown, out, abandon, FLogFileName);
    }
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      throw EInOutError("cannot write the history file " + temporary);
    }
  }
  in.Close();
  if (!copied) {
    std::remove(temporary.c_str());
    return;
  }
  std::error_code failed;
  std::filesystem::rename(temporary, FLogFileName, failed);
  if (failed) {
    std::remove(temporary.c_str());
    throw EInOutError("cannot replace the history file " + FLogFileName);
  }
}

}  // namespace tavelune
