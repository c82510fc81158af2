#pragma once

#include <string>

namespace tavelune::platform {

// The cross-process half of the single-instance guard. One per process.
// Windows: a named mutex. Linux: an advisory lock on a file in the user's
// runtime folder, so it spans all processes of the same user and vanishes
// with its holder.

// True when no other process holds `name`; the name then stays taken by this
// process until it ends.
bool TryTakeInstanceName(const std::string& name);

// The platform's release of the guard. Like the mutex release it mirrors, it
// does not give the name up: only the end of the process does.
void ReleaseInstanceName();

}  // namespace tavelune::platform
