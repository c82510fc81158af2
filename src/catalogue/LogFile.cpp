#include "catalogue/LogFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
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
  if (!IsRootedName(FLogFileName)) {
    FLogFileName = ExtractFilePath(FProgramFileName) + FLogFileName;
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

void TLogFile::TrimHistory(std::size_t keep) {
  if (!platform::FileExists(FLogFileName)) {
    return;
  }
  std::string text;
  {
    platform::TByteFile in;
    if (!in.Open(FLogFileName, platform::TShareMode::DenyWrite)) {
      throw EInOutError("cannot read the history file " + FLogFileName);
    }
    text.resize(in.Size());
    if (!in.ReadAt(0, text.data(), text.size())) {
      throw EInOutError("cannot read the history file " + FLogFileName);
    }
  }
  // Lines end with CR LF, LF or CR; the kept ones are written back with CR LF.
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.emplace_back(text.data() + start, text.size() - start);
      break;
    }
    lines.emplace_back(text.data() + start, end - start);
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    YieldToMessagesIfDue();
  }
  if (lines.size() <= keep) {
    return;
  }
  std::string kept;
  for (std::size_t i = lines.size() - keep; i < lines.size(); ++i) {
    kept.append(lines[i]);
    kept += kLineEnd;
  }
  // A new file renamed over the old: a crash never leaves half a history.
  std::string temporary = FLogFileName + ".trim";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(kept.data(), static_cast<std::streamsize>(kept.size()));
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      throw EInOutError("cannot write the history file " + temporary);
    }
  }
  std::error_code failed;
  std::filesystem::rename(temporary, FLogFileName, failed);
  if (failed) {
    std::remove(temporary.c_str());
    throw EInOutError("cannot replace the history file " + FLogFileName);
  }
}

}  // namespace tavelune
