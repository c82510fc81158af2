#include "app/SaverHost.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/ProcessUtils.h"

namespace tavelune {

TDateTime TRealTimeHost::Now() {
  return NowDateTime();
}

platform::TLocalTime TRealTimeHost::LocalNow() {
  return tavelune::platform::LocalNow();
}

void TRealTimeHost::Sleep(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(std::max(milliseconds, 0)));
}

std::int32_t TRealTimeHost::RandomBelow(std::int32_t bound) {
  return bound < 1 ? 0 : static_cast<std::int32_t>(FRandom() % static_cast<unsigned>(bound));
}

double TRealTimeHost::RandomReal() {
  return std::uniform_real_distribution<double>(0, 1)(FRandom);
}

}  // namespace tavelune
