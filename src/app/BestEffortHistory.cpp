#include "app/BestEffortHistory.h"

#include <cstdio>

namespace tavelune {

void TBestEffortHistory::Absorb(const EInOutError& error) {
  if (!FTold) {
    FTold = true;
    std::fprintf(stderr, "tavelune: the history is not kept in full: %s\n", error.what());
  }
}

void TBestEffortHistory::SetActive(bool active) {
  try {
    FLog.SetActive(active);
  } catch (const EInOutError& error) {
    Absorb(error);
  }
}

bool TBestEffortHistory::WriteLine(const std::string& text, bool error) {
  try {
    return FLog.WriteLine(text, error);
  } catch (const EInOutError& failure) {
    Absorb(failure);
    return false;
  }
}

void TBestEffortHistory::TrimHistory(std::size_t keep, const std::atomic<bool>& abandon) {
  try {
    FLog.TrimHistory(keep, abandon);
  } catch (const EInOutError& error) {
    Absorb(error);
  }
}

}  // namespace tavelune
