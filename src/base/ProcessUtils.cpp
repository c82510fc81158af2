#include "base/ProcessUtils.h"

#include <chrono>
#include <random>
#include <string_view>
#include <thread>
#include <vector>

#include "base/FileNames.h"
#include "base/Synchronize.h"
#include "base/TextUtils.h"
#include "platform/InstanceGuard.h"
#include "platform/LocalTime.h"
#include "platform/MessagePump.h"
#include "platform/Shell.h"
#include "platform/SystemDirs.h"

namespace tavelune {

bool AcquireInstanceGuard(const std::string& name) {
  std::mt19937 random(static_cast<std::mt19937::result_type>(
      std::chrono::system_clock::now().time_since_epoch().count()));
  std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1000));
  return platform::TryTakeInstanceName(name);
}

void ReleaseInstanceGuard() {
  platform::ReleaseInstanceName();
}

namespace {
std::string NormaliseDir(const std::string& text) {
  return IncludeTrailingDelimiter(TrimControl(text));
}
}  // namespace

std::string GetTempDir() {
  return NormaliseDir(platform::TempDirText());
}
std::string GetPrivateTempDir() {
  return NormaliseDir(platform::PrivateTempDirText());
}
std::string GetSystemDir() {
  return NormaliseDir(platform::SystemDirText());
}

TDateTime NowDateTime() {
  const platform::TLocalTime time = platform::LocalNow();
  return EncodeDate(time.Year, time.Month, time.Day).value_or(0) +
         (time.Hour * 3'600'000.0 + time.Minute * 60'000.0 + time.Second * 1000.0 +
          time.Millisecond) /
             86'400'000.0;
}

void YieldToMessages() {
  std::this_thread::yield();
  RunSynchronizeRequests();
  if (platform::IMessagePump* pump = platform::CurrentMessagePump()) {
    pump->DispatchPending();
  }
}

void YieldToMessagesIfDue() {
  using TClock = std::chrono::steady_clock;
  static TClock::time_point last;
  TClock::time_point now = TClock::now();
  if (now - last >= std::chrono::milliseconds(2)) {
    last = now;
    YieldToMessages();
  }
}

bool OpenTextForReading(TTextFile& file, int retries) {
  for (int attempt = 0; attempt <= retries; ++attempt) {
    if (file.Open()) {
      return true;
    }
    if (attempt < retries) {
      WaitMinutes(1);
    }
  }
  return false;
}

void WaitMinutes(double minutes) {
  auto deadline = std::chrono::system_clock::now() +
                  std::chrono::duration_cast<std::chrono::system_clock::duration>(
                      std::chrono::duration<double, std::ratio<60>>(minutes));
  while (std::chrono::system_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    RunSynchronizeRequests();
    if (platform::IMessagePump* pump = platform::CurrentMessagePump()) {
      pump->DispatchPending();
    }
  }
}

void ShellOpen(const std::string& target, const std::string& parameters) {
  platform::ShellOpenTarget(target, parameters, ExtractFilePath(target));
}

}  // namespace tavelune
