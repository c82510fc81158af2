#pragma once

namespace tavelune::platform {

// Dispatches the window messages that wait on the UI thread. The front end
// installs one once its application object exists; until then (and in
// console programs) there is nothing to dispatch.
class IMessagePump {
 public:
  virtual ~IMessagePump() = default;
  // Handles every event waiting now and returns; never blocks. UI thread only.
  virtual void DispatchPending() = 0;
};

// Installs the pump (not owned; it must outlive its installation) or removes
// it with nullptr. UI thread only.
void SetMessagePump(IMessagePump* pump);
IMessagePump* CurrentMessagePump();

}  // namespace tavelune::platform
