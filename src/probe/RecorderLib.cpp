#include "probe/RecorderLib.h"

#include <string_view>

#include "base/FileNames.h"
#include "base/ProcessUtils.h"
#include "base/TextFile.h"
#include "base/TextUtils.h"
#include "platform/FileSystem.h"
#include "platform/PathStyle.h"
#include "probe/DateText.h"
#include "settings/VersionInfo.h"

namespace tavelune {

namespace {

constexpr std::uint64_t kEntryLineLength = 1022;
// Memo texts are taken from column 6 on, at most this many bytes.
constexpr std::size_t kMaxMemoBytes = 4096;
// A line keeps the entry columns (up to 747) and a whole memo (up to
// column 5 + 4096); the rest of a longer line is only counted.
constexpr std::size_t kKeptLineBytes = 5 + kMaxMemoBytes;

std::int32_t ColumnInteger(std::string_view line, std::size_t first, std::size_t last) {
  std::int64_t value = IntegerOr(Columns(line, first, last), 0);
  return value < INT32_MIN || value > INT32_MAX ? 0 : static_cast<std::int32_t>(value);
}

void ReadEntryFields(std::string_view line, TRecorderTapeLib& record) {
  record.TapeId = std::string(Columns(line, 1, 4));
  record.Title = TrimFullWidth(Columns(line, 492, 747));
  record.LengthValue = NumberOr(Columns(line, 145, 155), 0);
  TDateTime entryTime = ParseDateText(std::string(Columns(line, 91, 98))) +
                        ParseTimeText(std::string(Columns(line, 99, 104)));
  record.EntryTime = entryTime;
  record.Note = TrimFullWidth(Columns(line, 189, 444));
  record.StateFlag = ColumnInteger(line, 453, 453);
  record.EntryTimeCopy = entryTime;
  record.Number = ColumnInteger(line, 76, 78);
}

std::string MemoText(std::string_view line) {
  return TrimControl(line.substr(std::min<std::size_t>(5, line.size()), kMaxMemoBytes));
}

bool HasColonInColumn5(std::string_view line) {
  return line.size() >= 5 && line[4] == ':';
}

// Takes the memo from the ninth line of a tape's extension file, when it
// has one.
void ReadExtensionFile(const std::string& fileName, TRecorderTapeLib& record) {
  if (!platform::FileExists(fileName)) {
    return;
  }
  TTextFile file(fileName, kKeptLineBytes);
  if (!OpenTextForReading(file, 0)) {
    return;
  }
  constexpr int kMemoLine = 9;
  TTextLine line;
  for (int read = 1; read <= kMemoLine && file.ReadLine(line); ++read) {
    if (read == kMemoLine) {
      record.Memo = MemoText(line.Text);
    }
  }
}

std::string Join(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) {
    if (!out.empty()) {
      out += platform::kPathDelimiter;
    }
    out += part;
  }
  return out;
}

}  // namespace

bool LookupSideFile(const std::string& movieFileName, TRecorderTapeLib& record) {
  std::string sideFileName = ChangeFileExt(movieFileName, ".SDB");
  if (!platform::FileExists(sideFileName)) {
    return false;
  }
  TTextFile file(sideFileName, kKeptLineBytes);
  if (!OpenTextForReading(file, 0)) {
    return false;
  }
  bool entryRead = false;
  TTextLine line;
  while (file.ReadLine(line)) {
    if (!HasColonInColumn5(line.Text)) {
      continue;
    }
    if (!entryRead) {
      if (line.Length >= kEntryLineLength) {
        ReadEntryFields(line.Text, record);
        entryRead = true;
      }
    } else {
      record.Memo = MemoText(line.Text);
    }
  }
  return true;
}

bool LookupLibrary(const std::string& movieFileName, TRecorderTapeLib& record) {
  std::string folder = ExtractFilePath(movieFileName);
  std::string libraryName = folder + Join({"SGPDB", "SGPDBTape.SVD"});
  if (!platform::FileExists(libraryName)) {
    return false;
  }
  TTextFile file(libraryName, kKeptLineBytes);
  if (!OpenTextForReading(file, 0)) {
    return false;
  }
  std::string key = ExtractFileName(movieFileName).substr(0, 4);
  bool found = false;
  TTextLine line;
  while (file.ReadLine(line)) {
    if (line.Length != kEntryLineLength || line.Text.substr(0, 4) != key) {
      continue;
    }
    ReadEntryFields(line.Text, record);
    // A tape's extension file is TapeExt/TxTx<id>.SVB, as the recorder names it.
    ReadExtensionFile(folder + Join({"SGPDB", "TapeExt", "TxTx" + record.TapeId + ".SVB"}), record);
    found = true;
  }
  return found;
}

bool IsRecordingUnusable(const TRecorderTapeLib& record) {
  return record.TapeId == "0000" || record.StateFlag != 0 || record.LengthValue == 0;
}

}  // namespace tavelune
