#pragma once

// The history as a run keeps it: a history that cannot be kept (a folder,
// a read-only or immutable file, a full disk) never stops the run. Every
// line that can be written is; what cannot be is left out, and the first
// failure is told once on standard error, never on the screen. UI thread
// only, like the log it wraps.

#include <string>

#include "catalogue/LogFile.h"

namespace tavelune {

class TBestEffortHistory : public IHistoryLog {
 public:
  // `log` must outlive this object.
  explicit TBestEffortHistory(IHistoryLog& log) : FLog(log) {}

  bool Active() const override { return FLog.Active(); }
  void SetActive(bool active) override;
  void SetLogFileName(std::string fileName) override { FLog.SetLogFileName(std::move(fileName)); }
  bool WriteLine(const std::string& text, bool error) override;
  using IHistoryLog::WriteLine;
  void TrimHistory(std::size_t keep, const std::atomic<bool>& abandon) override;

 private:
  void Absorb(const EInOutError& error);

  IHistoryLog& FLog;
  bool FTold = false;
};

}  // namespace tavelune
