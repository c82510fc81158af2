// Still composition: sizing, turning, placing, drawing, the overlay and
// the hold, on a fake clock and a scripted grabber.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "helpers/PlayerRig.h"
#include "imaging/BmpFile.h"
#include "imaging/Canvas.h"
#include "platform/ByteFile.h"
#include "playback/PlayController.h"

namespace tavelune {
namespace {

TEST(StillSize, FitsToTheScreen) {
  // Both ratios 3.2: enlarged to the whole screen.
  EXPECT_EQ(StillSize(1, 320, 240, 1024, 768, 0, 0).Width, 1024);
  EXPECT_EQ(StillSize(1, 320, 240, 1024, 768, 0, 0).Height, 768);
  // Both sides larger, the width decides.
  const TStillSize hd = StillSize(1, 1920, 1080, 1024, 768, 0, 0);
  EXPECT_EQ(hd.Width, 1024);
  EXPECT_EQ(hd.Height, 576);
  // Exactly the screen: the enlarging case gives the screen's size.
  const TStillSize same = StillSize(1, 1024, 768, 1024, 768, 0, 0);
  EXPECT_EQ(same.Width, 1024);
  EXPECT_EQ(same.Height, 768);
  // Only one side larger.
  const TStillSize wide = StillSize(1, 2000, 500, 1000, 800, 0, 0);
  EXPECT_EQ(wide.Width, 1000);
  EXPECT_EQ(wide.Height, 250);
  const TStillSize tall = StillSize(1, 300, 1000, 1000, 800, 0, 0);
  EXPECT_EQ(tall.Width, 240);
  EXPECT_EQ(tall.Height, 800);
}

TEST(StillSize, RandomSizesScaleTheLongerSideFromAThirdOfItsOwn) {
  EXPECT_EQ(StillSize(2, 320, 240, 1024, 768, 0, 0).Width, 96);
  const TStillSize largest = StillSize(2, 320, 240, 1024, 768, 0.9999999, 0.9999999);
  EXPECT_LE(largest.Width, 779);
  EXPECT_GE(largest.Width, 778);
  // A square picture scales by the screen's height.
  // s = 0.75 / 3 · 600 / 100 + 0.3 = 1.8
  EXPECT_EQ(StillSize(2, 100, 100, 1000, 600, 0.5, 0.25).Width, 180);
}

TEST(StillSize, FullSizeAndUnknownModesKeepTheFramesSize) {
  EXPECT_EQ(StillSize(0, 1920, 1080, 1024, 768, 0, 0).Width, 1920);
  EXPECT_EQ(StillSize(-1, 1920, 1080, 1024, 768, 0, 0).Height, 1080);
  EXPECT_EQ(StillSize(7, 33, 44, 1024, 768, 0, 0).Width, 33);
}

TEST(StillSize, TurnedStillsAreReducedToSixtyPercentRoundedUp) {
  EXPECT_EQ(TurnedStillSize(360, 321).Width, 217);
  EXPECT_EQ(TurnedStillSize(360, 321).Height, 193);
  EXPECT_EQ(TurnedStillSize(1, 1).Width, 1);
}

TEST(PositionText, ShowsHoursMinutesAndSecondsWrappingAtADay) {
  EXPECT_EQ(PositionText(307 * kRefTimePerSecond), "0:05:07");
  EXPECT_EQ(PositionText(2 * kRefTimePerSecond), "0:00:02");
  EXPECT_EQ(PositionText((10 * 3600 + 59) * kRefTimePerSecond), "10:00:59");
  EXPECT_EQ(PositionText((25 * 3600 + 61) * kRefTimePerSecond), "1:01:01");
}

class StillComposer : public ::testing::Test, protected test::TPlayerRig {
 protected:
  StillComposer() {
    Settings.GraphicsSize = 0;
    Settings.DrawPosition = 0;
    Settings.DrawWait = 0;
    Settings.ScreenClear = false;
    Settings.Rotate = false;
    Settings.DispFileName = false;
    Screen = TBitmap24(200, 100);
    Background = TBitmap24(200, 100);
    Background.Fill(0x00AA00);
    Media.FrameWidth = 40;
    Media.FrameHeight = 20;
#ifndef _WIN32
    // The temporary picture goes to this test's own private folder.
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) {
      FOldRuntimeDir = old;
    }
    setenv("XDG_RUNTIME_DIR", Dir.Name("").c_str(), 1);
    std::filesystem::permissions(Dir.Name(""), std::filesystem::perms::owner_all);
#endif
  }
  ~StillComposer() override {
#ifndef _WIN32
    if (FOldRuntimeDir.empty()) {
      unsetenv("XDG_RUNTIME_DIR");
    } else {
      setenv("XDG_RUNTIME_DIR", FOldRuntimeDir.c_str(), 1);
    }
#endif
  }

  // A frame of `color` arrives for the pending request.
  void Grab(TColor color) {
    Player.GrabRequest().Arm();
    const std::uint8_t sample[4] = {static_cast<std::uint8_t>(color >> 16),
                                    static_cast<std::uint8_t>(color >> 8),
                                    static_cast<std::uint8_t>(color), 0};
    Player.GrabberBuffer(0, sample, sizeof sample);
  }
  TColor At(int x, int y) const {
    return PixelColor(Screen, x, y);
  }

  std::string FOldRuntimeDir;
};

TEST_F(StillComposer, TheBufferEventConvertsOneSampleOnlyWhenAsked) {
  Player.GrabberBuffer(0, nullptr, 0);  // not wanted: ignored
  EXPECT_FALSE(Player.GrabRequest().Delivered());
  Grab(0x112233);
  EXPECT_TRUE(Player.GrabRequest().Delivered());
  EXPECT_FALSE(Player.GrabRequest().Wanted());
  // A sample that cannot be converted still ends the request; the earlier
  // frame stays.
  Media.FailingCalls = {"SampleToBitmap"};
  Grab(0x445566);
  EXPECT_FALSE(Player.GrabRequest().Wanted());
  Player.ShowStill();
  EXPECT_EQ(At(100, 50), 0x112233u);
}

TEST_F(StillComposer, AFullSizeStillIsCentredAndDrawnOverTheEarlierOnes) {
  Grab(0x112233);
  Player.ShowStill();
  EXPECT_EQ(At(80, 40), 0x112233u);  // (200-40)/2, (100-20)/2
  EXPECT_EQ(At(119, 59), 0x112233u);
  EXPECT_EQ(At(79, 40), 0u);
  EXPECT_EQ(At(120, 59), 0u);
  Media.FrameWidth = 10;
  Grab(0x445566);
  Player.ShowStill();
  EXPECT_EQ(At(95, 45), 0x445566u);
  EXPECT_EQ(At(80, 40), 0x112233u);  // the collage keeps the earlier still
}

TEST_F(StillComposer, ScreenClearRestoresTheBackgroundFirst) {
  Grab(0x112233);
  Player.ShowStill();
  Settings.ScreenClear = true;
  Media.FrameWidth = 10;
  Grab(0x445566);
  Player.ShowStill();
  EXPECT_EQ(At(80, 40), 0x00AA00u);
  EXPECT_EQ(At(95, 45), 0x445566u);
}

TEST_F(StillComposer, APictureLargerThanTheScreenStartsAtTheTopLeft) {
  Media.FrameWidth = 300;
  Media.FrameHeight = 150;
  for (int position : {0, 1}) {
    Settings.DrawPosition = position;
    Screen.Fill(0);
    Grab(0x010101 * static_cast<TColor>(position + 1));
    Player.ShowStill();
    EXPECT_EQ(At(0, 0), 0x010101u * static_cast<TColor>(position + 1));
    EXPECT_EQ(At(199, 99), 0x010101u * static_cast<TColor>(position + 1));
  }
}

TEST_F(StillComposer, RandomPlacesDrawTopThenLeft) {
  Settings.DrawPosition = 1;
  Host.RealDraws = {0.5, 0.25};
  Grab(0x112233);
  Player.ShowStill();
  // top = Trunc(0.5 × 80) = 40, left = Trunc(0.25 × 160) = 40.
  EXPECT_EQ(At(40, 40), 0x112233u);
  EXPECT_EQ(At(39, 40), 0u);
  EXPECT_EQ(At(40, 39), 0u);
}

TEST_F(StillComposer, FittedStillsAreResampledToTheirSize) {
  Settings.GraphicsSize = 1;
  Grab(0x112233);
  Player.ShowStill();
  // 40×20 on 200×100 is enlarged to the whole screen.
  EXPECT_EQ(At(0, 0), 0x112233u);
  EXPECT_EQ(At(199, 99), 0x112233u);
}

TEST_F(StillComposer, TurnedStillsGoThroughTheTemporaryFileAndLeaveTheBackColourOut) {
  Settings.Rotate = true;
  Settings.BackColor = 0x0000FF;  // red
  Host.Draws = {90, 90};          // angle (90 + 90) / 2 - 90 = 0
  Grab(0x112233);
  Screen.Fill(0xABCDEF);
  Player.ShowStill();
  const TBitmap24 turned = ReadBmpFile(TStillComposer::TempPictureFileName());
  // 60 % of 40×20 plus one, turned by 0 into its square.
  EXPECT_EQ(turned.Width(), turned.Height());
  EXPECT_EQ(PixelColor(turned, 0, 0), 0x112233u);
  EXPECT_EQ(PixelColor(turned, 0, turned.Height() - 1), 0x0000FFu);
  // Drawn centred, the red background left out.
  const int left = (200 - turned.Width()) / 2;
  const int top = (100 - turned.Height()) / 2;
  EXPECT_EQ(At(left, top), 0x112233u);
  EXPECT_EQ(At(left, top + turned.Height() - 1), 0xABCDEFu);
}

TEST_F(StillComposer, PicturePixelsOfTheBackColourAreLeftOutToo) {
  Settings.Rotate = true;
  Settings.BackColor = 0x112233;
  Host.Draws = {90, 90};
  Grab(0x112233);
  Screen.Fill(0xABCDEF);
  Player.ShowStill();
  EXPECT_EQ(At(100, 50), 0xABCDEFu);
}

#ifndef _WIN32
TEST_F(StillComposer, ATemporaryFileThatCannotBeWrittenIsTheMoviesError) {
  Settings.Rotate = true;
  // A link planted where the picture goes is not followed.
  std::filesystem::create_symlink(Dir.Name("elsewhere.bmp"), TStillComposer::TempPictureFileName());
  Grab(0x112233);
  Player.GrabRequest().Arm();
  EXPECT_THROW(Player.ShowStill(), platform::EFCreateError);
  EXPECT_FALSE(std::filesystem::exists(Dir.Name("elsewhere.bmp")));
  EXPECT_FALSE(Player.GrabRequest().Wanted());  // the release ran
}
#endif

TEST_F(StillComposer, EveryOtherMonitorGetsTheStillPlacedWithinItsOwnScreen) {
  Settings.DrawPosition = 1;
  TOtherScreen narrow{{200, 0, 50, 30}, TBitmap24(50, 30), TBitmap24(50, 30)};
  TOtherScreen wide{{-300, 0, 300, 100}, TBitmap24(300, 100), TBitmap24(300, 100)};
  State.OtherScreens = {narrow, wide};
  // The primary's place, then each other monitor's: top, then left, each
  // drawn within that monitor's own width and height.
  Host.RealDraws = {0.5, 0.5, 0.999, 0.999, 0.0, 0.999};
  Grab(0x112233);
  ASSERT_TRUE(Player.ShowStill());
  EXPECT_EQ(At(80, 40), 0x112233u);  // the primary: (200 - 40) / 2, (100 - 20) / 2
  const TBitmap24& first = State.OtherScreens[0].Screen;
  EXPECT_EQ(PixelColor(first, 9, 9), 0x112233u);  // 0.999 of its own 10 spare pixels
  EXPECT_EQ(PixelColor(first, 48, 28), 0x112233u);
  EXPECT_EQ(PixelColor(first, 8, 8), 0u);
  const TBitmap24& second = State.OtherScreens[1].Screen;
  EXPECT_EQ(PixelColor(second, 259, 0), 0x112233u);  // at its top, 0.999 of 260 across
  EXPECT_EQ(PixelColor(second, 298, 19), 0x112233u);
  EXPECT_EQ(PixelColor(second, 258, 0), 0u);
  EXPECT_EQ(Host.ScreenChanges, 1);  // shown together
}

TEST_F(StillComposer, TheOverlayShowsTheTitleAndThePosition) {
  Settings.DispFileName = true;
  const std::string movie = Dir.Write("movie.mpg", "x");
  TBitmap24 frame(40, 20);
  frame.Fill(0x112233);
  TStillComposer composer(Host, State.View());
  composer.Compose(frame, {movie, movie, 307 * kRefTimePerSecond});
  ASSERT_EQ(Host.Texts.size(), 2u);
  EXPECT_EQ(Host.Texts[0].Text, "movie.mpg");
  EXPECT_EQ(Host.Texts[0].X, 80 + 48);
  EXPECT_EQ(Host.Texts[0].Y, 40 + 4);
  EXPECT_EQ(Host.Texts[0].Font, 0xFFFFFFu);
  EXPECT_EQ(Host.Texts[0].Brush, 0u);
  EXPECT_EQ(Host.Texts[1].Text, "0:05:07");
  EXPECT_EQ(Host.Texts[1].X, 80 + 4);
  EXPECT_EQ(Host.Texts[1].Font, 0x0077FFu);

  // The movie deleted meanwhile: the title is shown whole.
  std::filesystem::remove(movie);
  Host.Texts.clear();
  composer.Compose(frame, {movie, movie, 307 * kRefTimePerSecond});
  EXPECT_EQ(Host.Texts[0].Text, movie);
}

TEST_F(StillComposer, NoFrameAndNoSnapshotLeavesEverythingAsItWas) {
  Media.HasSnapshot = false;
  Player.GrabRequest().Arm();
  Settings.DrawWait = 10;
  EXPECT_FALSE(Player.ShowStill());
  EXPECT_TRUE(Player.GrabRequest().Wanted());
  EXPECT_EQ(Host.NowMs, 0);
}

TEST_F(StillComposer, AnEmptyFrameIsNotComposedButEndsTheRequest) {
  Media.FrameWidth = 0;
  Settings.DrawWait = 10;
  Grab(0x112233);
  Player.GrabRequest().Arm();
  EXPECT_FALSE(Player.ShowStill());
  EXPECT_FALSE(Player.GrabRequest().Wanted());
  EXPECT_EQ(Host.NowMs, 0);
  EXPECT_EQ(At(100, 50), 0u);
}

TEST_F(StillComposer, ComposingIsNotHolding) {
  Settings.DrawWait = 10;
  Grab(0x112233);
  EXPECT_TRUE(Player.ShowStill());
  EXPECT_EQ(Host.NowMs, 0);
  Host.Run(Player.HoldStill());
  EXPECT_EQ(Host.NowMs, 10'000);
}

TEST_F(StillComposer, TheHoldIsOneWaitToItsEnd) {
  Host.Run(Player.WaitSeconds(3));
  EXPECT_EQ(Host.NowMs, 3000);
  EXPECT_EQ(Host.Sleeps, std::vector<int>{3000});
  // Other events during the hold are handled by the event loop and leave
  // the hold's end where it was.
  Host.Sleeps.clear();
  int otherEvents = 0;
  const std::unique_ptr<ITimer> other = Host.CreateTimer(1200, [&] { ++otherEvents; });
  other->SetEnabled(true);
  Host.Run(Player.WaitSeconds(2));
  EXPECT_EQ(otherEvents, 1);
  EXPECT_EQ(Host.Sleeps, (std::vector<int>{1200, 800}));
  EXPECT_EQ(Host.NowMs, 5000);
}

TEST_F(StillComposer, TheRunsCloseEndsTheHoldAtTheNextPass) {
  const std::unique_ptr<ITimer> key = Host.CreateTimer(1250, [&] {
    Closing = true;
    Player.WakeUp();
  });
  key->SetEnabled(true);
  Host.Run(Player.WaitSeconds(59));
  EXPECT_EQ(Host.NowMs, 1250);
  // A negative wait holds nothing.
  key->SetEnabled(false);
  Closing = false;
  Settings.DrawWait = -5;
  const std::int64_t before = Host.NowMs;
  Host.Run(Player.HoldStill());
  EXPECT_EQ(Host.NowMs, before);
}

}  // namespace
}  // namespace tavelune
