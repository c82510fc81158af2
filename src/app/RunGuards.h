#pragma once

// What keeps a saver window's run safe, the same on every front end: each
// handler's errors go to the saver's error report instead of out of the
// event loop; a run whose ending is stuck ends anyway; a full-screen run
// whose UI thread is stuck is ended by the user's input.

#include <functional>
#include <memory>

#include "app/InputWatchdog.h"
#include "catalogue/LogFile.h"

namespace tavelune {

class TSaver;

// Runs one of `saver`'s handlers on the UI thread; an exception that
// escapes it is shown by the saver's error report and the run goes on.
void RunGuarded(TSaver& saver, const std::function<void()>& handler);

// Once a process, from the run's close: should anything keep the ending
// from finishing, the process ends 5 s later (a saver never stays on
// screen after input).
void StartExitWatchdog();

// The input watchdog of a full-screen run, started: `ask` posts its Answer
// to the UI thread's event loop, and the front end tells it of the
// desktop's input (platform::WatchDesktopInput). When it fires, the stalled
// run is ended: a line on the standard error, what can be written of
// `history` within half a second, and the process ends. `history` outlives
// the watchdog.
std::unique_ptr<TInputWatchdog> StartInputWatchdog(std::function<void()> ask, IHistoryLog& history);

}  // namespace tavelune
