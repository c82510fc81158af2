#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/InstanceGuard.h"

namespace tavelune::platform {

namespace {

// The descriptor that holds the lock; kept open until the process ends, when
// the kernel drops the lock however the process ended.
int gGuardFd = -1;

// The user's private runtime folder; a per-user name in /tmp where the
// session has none (a console login without systemd, a container).
std::string LockFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
    return runtime;
  }
  return "/tmp";
}

std::string LockFileName(const std::string& name) {
  return LockFolder() + "/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

}  // namespace

bool TryTakeInstanceName(const std::string& name) {
  int fd = ::open(LockFileName(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    return false;  // cannot tell: behave as if another instance ran
  }
  // flock locks belong to the open file description, so a second open in the
  // same process is refused just as one in another process is.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  if (gGuardFd >= 0) {
    ::close(gGuardFd);
  }
  gGuardFd = fd;
  return true;
}

void ReleaseInstanceName() {
  // Deliberately empty: the name stays taken until the process ends.
}

}  // namespace tavelune::platform
