#pragma once

#include "platform/Screen.h"

namespace tavelune {

// Bits per pixel of the screen device context.
class TWin32ScreenInfo final : public platform::IScreenInfo {
 public:
  int ColorDepth() override;
};

}  // namespace tavelune
