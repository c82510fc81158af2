#include "base/ProcessUtils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "base/Synchronize.h"
#include "helpers/TestFiles.h"
#include "platform/LocalTime.h"
#include "platform/MessagePump.h"
#include "platform/PathStyle.h"

namespace tavelune {
namespace {

TEST(OpenTextForReading, FailsAtOnceOnAMissingFileWithoutRetries) {
  test::TTempDir dir;
  TTextFile missing(dir.Name("missing.txt"));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(OpenTextForReading(missing, 0));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  TTextFile present(dir.Write("present.txt", "line\n"));
  EXPECT_TRUE(OpenTextForReading(present, 0));
}

class TCountingPump : public platform::IMessagePump {
 public:
  void DispatchPending() override { ++Calls; }
  int Calls = 0;
};

TEST(YieldToMessages, DispatchesThroughTheInstalledPumpOnly) {
  YieldToMessages();  // nothing installed: nothing to dispatch, no failure
  TCountingPump pump;
  platform::SetMessagePump(&pump);
  YieldToMessages();
  WaitMinutes(0.25 / 60);  // a quarter second: about two steps of 100 ms
  platform::SetMessagePump(nullptr);
  EXPECT_GE(pump.Calls, 3);
  EXPECT_LE(pump.Calls, 5);
}

TEST(Synchronize, TellsWhetherAHandOverStepIsRunning) {
  std::vector<bool> seen;
  Queue([&] {
    seen.push_back(InSynchronizeStep());
    Queue([&] { seen.push_back(InSynchronizeStep()); });
    RunSynchronizeRequests();  // a step's own message pass runs the next one nested
    seen.push_back(InSynchronizeStep());
  });
  EXPECT_FALSE(InSynchronizeStep());
  EXPECT_EQ(RunSynchronizeRequests(), 1);
  EXPECT_EQ(seen, (std::vector<bool>{true, true, true}));
  EXPECT_FALSE(InSynchronizeStep());
}

TEST(SystemDirs, EndWithTheDelimiter) {
  for (const std::string& folder : {GetTempDir(), GetSystemDir()}) {
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), platform::kPathDelimiter);
    EXPECT_NE(folder.front(), ' ');
  }
}

TEST(InstanceGuard, RefusesTheNameWhileThisProcessHoldsIt) {
  std::string name = "TaveluneTestGuard" + std::to_string(std::random_device{}());
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(AcquireInstanceGuard(name));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  ReleaseInstanceGuard();
  // The name stays taken until the process ends.
  EXPECT_FALSE(AcquireInstanceGuard(name));
}

}  // namespace
}  // namespace tavelune
