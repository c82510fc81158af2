#pragma once

// Runs a clean-up step when a scope ends, however it ends (returned from or
// left by an exception), in place of a catch that cleans up and rethrows.

#include <utility>

namespace tavelune {

template <typename Action>
class TScopeExit {
 public:
  explicit TScopeExit(Action action) : FAction(std::move(action)) {}
  ~TScopeExit() { FAction(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  Action FAction;
};

}  // namespace tavelune
