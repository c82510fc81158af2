#pragma once

// The saver window's private state, for the saver's own tests: they set the
// state a real window reaches only through a whole run.

#include <atomic>
#include <cstdint>

#include "app/Saver.h"

namespace tavelune::test {

struct TSaverSeam {
  static std::atomic<bool>& Closing(TSaver& saver) { return saver.FClosing; }
  static TSaverSettings& Settings(TSaver& saver) { return saver.FSettings; }
  static TProgramRun& Run(TSaver& saver) { return saver.FRun; }
  static bool MouseSeen(const TSaver& saver) { return saver.FMouseSeen; }
  static std::int32_t MouseX(const TSaver& saver) { return saver.FMouseX; }
  // The walk that fills the player's list, or null before creation and in preview.
  static IMovieSearch* Discovery(const TSaver& saver) { return saver.FFinder.get(); }
};

}  // namespace tavelune::test
