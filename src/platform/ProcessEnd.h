#pragma once

namespace tavelune::platform {

// Ends the process at once with exit status 0: no destructors, no handlers,
// no flushing of streams. For a run that must give the screen back when its
// own ending is stuck; the system releases the screen, the grabs and the
// cursor of a process that ends. Any thread.
[[noreturn]] void EndProcessNow();

}  // namespace tavelune::platform
