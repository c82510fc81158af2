// The installation points of the services that a front end provides.
// Set and read on the UI thread only.

#include "platform/MessagePump.h"
#include "platform/Screen.h"

namespace tavelune::platform {

namespace {
IMessagePump* gMessagePump = nullptr;
IScreenInfo* gScreenInfo = nullptr;
}  // namespace

void SetMessagePump(IMessagePump* pump) {
  gMessagePump = pump;
}
IMessagePump* CurrentMessagePump() {
  return gMessagePump;
}

void SetScreenInfo(IScreenInfo* screen) {
  gScreenInfo = screen;
}
IScreenInfo* CurrentScreenInfo() {
  return gScreenInfo;
}
int ScreenColorDepth() {
  return gScreenInfo != nullptr ? gScreenInfo->ColorDepth() : 0;
}

}  // namespace tavelune::platform
