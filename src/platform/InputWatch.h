#pragma once

#include <functional>
#include <memory>

namespace tavelune::platform {

// The desktop's input as it happens, wherever it goes and grabbed or not
// (X: XInput2's raw events on a connection of its own; Windows: low-level
// keyboard and mouse hooks): it tells the input watchdog that the user has
// touched something even when the UI thread is too stuck to see it. The
// watcher waits on a thread of its own, which wakes only for input.
class IInputWatch {
 public:
  // Stops watching and joins the thread.
  virtual ~IInputWatch() = default;
};

// Calls `onInput` on the watcher's thread for each key or button pressed
// and each pointer move, and for each NoteInputSignal; nullptr when the
// desktop cannot tell (no display, or one without the extension).
// `onInput` must return quickly.
std::unique_ptr<IInputWatch> WatchDesktopInput(std::function<void()> onInput);

// A signal asking the program to end counts as input for every watcher of
// the process. Async-signal-safe.
void NoteInputSignal();

}  // namespace tavelune::platform
