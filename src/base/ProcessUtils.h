#pragma once

// Process-level utilities that the rest of the system shares. Everything
// here runs on the UI thread.

#include <cstdint>
#include <limits>
#include <string>

#include "base/DateTime.h"
#include "base/TextFile.h"

namespace tavelune {

// The single-instance guard. Waits a random 0..999 ms first, so instances
// that the host starts at the same moment are spread apart, then takes the
// name; false when another process holds it (or it cannot be taken).
bool AcquireInstanceGuard(const std::string& name);
void ReleaseInstanceGuard();

// The user's temporary folder and the system folder, each ending with the
// platform's path delimiter ("\" alone when the platform tells nothing).
std::string GetTempDir();
// The folder for the saver's own temporary files, which only the user can
// write (see platform::PrivateTempDirText), with the trailing delimiter.
std::string GetPrivateTempDir();
std::string GetSystemDir();

// The local date and time as a date-time value, to the millisecond.
TDateTime NowDateTime();

// Gives up the rest of the time slice, then runs the steps worker threads
// wait to have run (Synchronize) and dispatches every waiting window message
// if a message pump is installed. Callers' state may change inside, so they
// test their flags again afterwards.
void YieldToMessages();

// YieldToMessages at most every 2 ms: for loops that yield per item over
// hundreds of thousands of items, where a yield each time would cost more
// than the work, while input is still seen within milliseconds.
void YieldToMessagesIfDue();

// Opens `file` for reading, trying `retries` + 1 times with a minute's wait
// (WaitMinutes) between attempts. Never throws for a missing or locked file.
bool OpenTextForReading(TTextFile& file, int retries);

// Sleeps in 100 ms steps, dispatching window messages after each, until
// `minutes` of wall-clock time have passed.
void WaitMinutes(double minutes);

// Opens a file or an address through the desktop, with the target's folder
// as working folder. The outcome is not reported.
void ShellOpen(const std::string& target, const std::string& parameters);

}  // namespace tavelune
