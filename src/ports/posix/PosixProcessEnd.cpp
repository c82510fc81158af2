#include <cstdlib>

#include "platform/ProcessEnd.h"

namespace tavelune::platform {

void EndProcessNow() {
  std::_Exit(0);
}

}  // namespace tavelune::platform
