#pragma once

#include <functional>
#include <string>

namespace tavelune::platform {

// Hands every entry of `folder` (its name only) to `onEntry` in the order
// the platform returns them: files and sub-folders, hidden and system ones,
// "." and ".." included. Stops early when `onEntry` returns false. A folder
// that is missing or unreadable yields nothing. Any thread.
void ListDirectory(const std::string& folder,
                   const std::function<bool(const std::string&)>& onEntry);

}  // namespace tavelune::platform
