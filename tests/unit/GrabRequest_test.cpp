// The grab request: armed by the play loop, answered by the streaming
// thread, expired by time-outs, waited for with a limit.

#include "playback/GrabRequest.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace tavelune {
namespace {

TEST(GrabRequest, OnlyAnArmedRequestTakesAFrameAndTakingOneEndsIt) {
  TGrabRequest grab;
  grab.Deliver([](TBitmap24& picture) {
    picture = TBitmap24(2, 2);
    return true;
  });
  EXPECT_FALSE(grab.Delivered());
  EXPECT_TRUE(grab.Picture()->Empty());

  grab.Arm();
  grab.Deliver([](TBitmap24& picture) {
    picture = TBitmap24(3, 1);
    return true;
  });
  EXPECT_FALSE(grab.Wanted());
  EXPECT_TRUE(grab.Delivered());
  EXPECT_EQ(grab.Picture()->Width(), 3);

  // A new movie forgets the delivery but keeps the picture for the
  // snapshot to replace.
  grab.Reset();
  EXPECT_FALSE(grab.Delivered());
}

TEST(GrabRequest, AFailedConversionEndsTheRequestAndKeepsTheEarlierPicture) {
  TGrabRequest grab;
  grab.Arm();
  grab.Deliver([](TBitmap24& picture) {
    picture = TBitmap24(4, 4);
    return true;
  });
  grab.Arm();
  grab.Deliver([](TBitmap24&) { return false; });
  EXPECT_FALSE(grab.Wanted());
  grab.Arm();
  grab.Deliver([](TBitmap24&) -> bool { throw std::runtime_error("bad sample"); });
  EXPECT_FALSE(grab.Wanted());
  EXPECT_EQ(grab.Picture()->Width(), 4);
}

TEST(GrabRequest, TheWaitEndsWithTheFrameTheClosingOrItsLimit) {
  TGrabRequest grab;
  std::atomic<bool> closing{false};
  int rounds = 0;
  const auto countRounds = [&](int milliseconds) {
    EXPECT_EQ(milliseconds, TGrabRequest::kWaitRoundMilliseconds);
    ++rounds;
  };
  grab.Arm();
  grab.Wait(countRounds, closing);
  EXPECT_EQ(rounds, TGrabRequest::kWaitRounds);
  EXPECT_TRUE(grab.Wanted());  // the limit does not expire the request

  rounds = 0;
  grab.Wait([&](int) { closing = ++rounds == 3; }, closing);
  EXPECT_EQ(rounds, 3);

  // A frame from the streaming thread ends the wait at the next round.
  closing = false;
  rounds = 0;
  std::thread streaming;
  grab.Wait(
      [&](int) {
        if (++rounds == 2) {
          streaming = std::thread([&] {
            grab.Deliver([](TBitmap24& picture) {
              picture = TBitmap24(1, 1);
              return true;
            });
          });
          streaming.join();
        }
      },
      closing);
  EXPECT_EQ(rounds, 2);
  EXPECT_TRUE(grab.Delivered());
}

}  // namespace
}  // namespace tavelune
