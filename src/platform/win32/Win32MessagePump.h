#pragma once

#include "platform/MessagePump.h"
#include "platform/Screen.h"

namespace tavelune {

// Dispatches the thread's waiting window messages (PeekMessage loop).
class TWin32MessagePump final : public IMessagePump {
 public:
  void DispatchPending() override;
};

// Bits per pixel of the screen device context.
class TWin32ScreenInfo final : public IScreenInfo {
 public:
  int ColorDepth() override;
};

}  // namespace tavelune
