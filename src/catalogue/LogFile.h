#pragma once

// The play history: a text file to which the saver appends one line per
// event of a run (start and end records, movies started, stopped, missing or
// failed, the input that ended the run). Lines are bytes in the system code
// page, each ended by CR LF; the file is opened and closed for every line,
// so each line is on disk when the call returns. UI thread only.

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
  virtual void TrimHistory(std::size_t keep) = 0;
};

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
  // false: writes the end record, then deactivates. A start record that
  // cannot be written deactivates the log, trying the end record on the way;
  // when that fails too, its EInOutError reaches the caller.
  void SetActive(bool active) override;

  const std::string& LogFileName() const { return FLogFileName; }
  void SetLogFileName(std::string fileName) override { FLogFileName = std::move(fileName); }

  // Appends `text` (or, with `error`, the error-marked line made of it) when
  // active and named; false when nothing was written. Throws EInOutError when
  // the file cannot be written.
  bool WriteLine(const std::string& text, bool error) override;
  using IHistoryLog::WriteLine;

  // Cuts the history file to its last `keep` lines, replacing it atomically;
  // nothing when it does not exist. Linear in the file's size. Throws
  // EInOutError when it cannot be read or replaced.
  void TrimHistory(std::size_t keep) override;
  void TrimHistory() { TrimHistory(1000); }

 private:
  void WriteStart();
  void WriteEnd();
  void Append(const std::string& lines);

  std::string FProgramFileName;
  std::string FLogFileName;
  bool FActive = false;
};

}  // namespace tavelune
