#pragma once

// The play history: a text file to which the saver appends one line per
// event of a run (start and end records, movies started, stopped, missing or
// failed, the input that ended the run). Lines are bytes in the system code
// page, each ended by CR LF; the file is opened and closed for every line,
// so each line is on disk when the call returns. UI thread only.

#include <atomic>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "platform/LocalTime.h"

namespace tavelune {

// A history file that cannot be opened, written or replaced.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The timestamp that starts the saver's timed lines: the short date, a
// blank and the long time of the user's regional settings; at exactly
// midnight the time part is left out.
std::string TimestampText(const platform::TLocalTime& time);

// Where the saver's event lines go (TLogFile; tests record them).
class IHistoryLog {
 public:
  virtual ~IHistoryLog() = default;
  virtual bool Active() const = 0;
  virtual void SetActive(bool active) = 0;
  virtual void SetLogFileName(std::string fileName) = 0;
  // Appends one line when the log is active; false when nothing was written.
  virtual bool WriteLine(const std::string& text, bool error) = 0;
  bool WriteLine(const std::string& text) { return WriteLine(text, false); }
  // Cuts the history to its last `keep` lines; gives up, leaving it as it
  // was, once `abandon` is set.
  virtual void TrimHistory(std::size_t keep, const std::atomic<bool>& abandon) = 0;
};

// The history's full name: a relative `fileName` is completed with the
// folder of `programFileName`.
std::string FullHistoryName(const std::string& fileName, const std::string& programFileName);

// Why a history of that full name would not be kept, as far as can be told
// without writing to it (a device, a folder, a file that cannot be opened
// for writing, a folder that is missing and cannot be made); "" when it
// would be.
std::string WhyHistoryIsNotKept(const std::string& fileName);

// Writes "<timestamp of now><event>" to `log`.
void WriteTimedLine(IHistoryLog& log, const platform::TLocalTime& now, const std::string& event);

class TLogFile : public IHistoryLog {
 public:
  // `programFileName` is the program whose folder completes relative names
  // and whose file version the start record names.
  explicit TLogFile(std::string programFileName);
  // Writes the end record when still active (a failure there goes unreported).
  ~TLogFile() override;
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  bool Active() const override { return FActive; }
  // true: writes the start record (every time, even when already active).
  // false: writes the end record, then deactivates. A device named as the
  // history means no history: the log stays inactive and the device is
  // never opened. A start record that cannot be written deactivates the
  // log, trying the end record on the way; when that fails too, its
  // EInOutError reaches the caller.
  void SetActive(bool active) override;

  const std::string& LogFileName() const { return FLogFileName; }
  void SetLogFileName(std::string fileName) override { FLogFileName = std::move(fileName); }

  // Appends `text` (or, with `error`, the error-marked line made of it) when
  // active and named; false when nothing was written. Throws EInOutError when
  // the file cannot be written.
  bool WriteLine(const std::string& text, bool error) override;
  using IHistoryLog::WriteLine;

  // Cuts the history file to its last `keep` lines (ended by CR LF, LF or
  // CR; the kept ones are written back ended by CR LF), replacing it
  // atomically; nothing when it does not exist or has no more lines. Reads
  // backwards from the end in blocks, so memory stays bounded whatever the
  // file's size, and yields to messages between blocks; gives up once
  // `abandon` is set. Throws EInOutError when it cannot be read or replaced.
  void TrimHistory(std::size_t keep, const std::atomic<bool>& abandon) override;
  void TrimHistory() {
    const std::atomic<bool> never{false};
    TrimHistory(1000, never);
  }

 private:
  void WriteStart();
  void WriteEnd();
  void Append(const std::string& lines);

  std::string FProgramFileName;
  std::string FLogFileName;
  bool FActive = false;
};

}  // namespace tavelune
