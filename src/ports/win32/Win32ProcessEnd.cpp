#include <windows.h>

#include <cstdlib>

#include "platform/ProcessEnd.h"

namespace tavelune::platform {

void EndProcessNow() {
  ::TerminateProcess(::GetCurrentProcess(), 0);
  std::abort();  // not reached
}

}  // namespace tavelune::platform
