#pragma once

#include "platform/MessagePump.h"

namespace tavelune {

// Dispatches the thread's waiting window messages (PeekMessage loop). A
// quit message met here is kept as a flag for the outermost message loop to
// test, rather than posted again: a pending quit is taken before timers and
// paints, so a posted-again quit would keep them from ever arriving in the
// waits that follow it. A thread message (the other threads' wake-up,
// which no window procedure sees) runs the waiting hand-overs instead of
// being lost.
class TWin32MessagePump final : public platform::IMessagePump {
 public:
  void DispatchPending() override;
  bool QuitRequested() const { return FQuitRequested; }

 private:
  bool FQuitRequested = false;
};

}  // namespace tavelune
