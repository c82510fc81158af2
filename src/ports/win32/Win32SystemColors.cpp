#include <windows.h>

#include "platform/SystemColors.h"

namespace tavelune::platform {

std::uint32_t SystemColorRgb(int index) {
  return ::GetSysColor(index);
}

}  // namespace tavelune::platform
