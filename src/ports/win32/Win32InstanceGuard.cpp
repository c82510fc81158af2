#include <windows.h>

#include "platform/InstanceGuard.h"

namespace tavelune::platform {

namespace {
// Kept open for the life of the process: the name is taken as long as a
// handle to the mutex exists.
HANDLE gGuard = nullptr;
}  // namespace

bool TryTakeInstanceName(const std::string& name) {
  HANDLE existing = ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
  if (existing != nullptr) {
    gGuard = existing;
    return false;
  }
  // Whether the creation found a mutex created in the meantime is not
  // examined: two instances that both got here both run.
  gGuard = ::CreateMutexA(nullptr, FALSE, name.c_str());
  return gGuard != nullptr;
}

void ReleaseInstanceName() {
  if (gGuard != nullptr) {
    ::ReleaseMutex(gGuard);
  }
}

}  // namespace tavelune::platform
