// The saver window's life and exit rules, on the fake host.

#include "app/Saver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "app/Program.h"
#include "app/RunGuards.h"
#include "helpers/FakeMedia.h"
#include "helpers/FakeSaverHost.h"
#include "helpers/SaverSeam.h"
#include "helpers/TestFiles.h"
#include "imaging/Canvas.h"
#include "settings/SettingsStore.h"

namespace tavelune {
namespace {

class Saver : public ::testing::Test {
 protected:
  Saver() {
    Host.OnClose = [this] { ++Closes; };
  }

  std::vector<std::string> Events() const { return Log.Events(); }
  // The event loop until `window`'s play loop has ended, the window closing
  // when asked as the front ends' windows do.
  void RunThePlayLoop(TSaver& window) {
    Host.OnClose = [&] {
      ++Closes;
      bool canClose = true;
      window.FormCloseQuery(canClose);
      if (canClose) {
        window.FormClose();
      }
    };
    Host.RunUntil([&] { return !window.PlayLoopRunning(); });
  }
  // How the window's program was started; a test may make it a preview.
  TProgramRun& Run() { return test::TSaverSeam::Run(Window); }
  void StoreString(const std::string& name, const std::string& text) {
    Host.Store->CreateKey(kSettingsKey)->WriteString(name, text);
  }
  void StoreInteger(const std::string& name, std::int32_t value) {
    Host.Store->CreateKey(kSettingsKey)->WriteInteger(name, value);
  }
  // The main block up to the history's name, which the reader reaches
  // only after every value before it.
  void StoreSettings(const std::string& logFile, TColor backColor = 0) {
    StoreInteger("Draw Posision", 0);
    StoreInteger("Graphics Size", 0);
    StoreInteger("Screen Clear", 0);
    StoreString("Point Cast", "");
    StoreInteger("Random Sort", 0);
    StoreInteger("Rotate", 0);
    StoreInteger("Capture", 0);
    StoreInteger("DispFileName", 0);
    StoreInteger("BackColor", static_cast<std::int32_t>(backColor));
    StoreInteger("Draw Wait", 1);
    StoreString("LogFile", logFile);
  }

  test::TTempDir Dir;
  test::TFakeSaverHost Host;
  test::TFakeMedia Media{Host};
  test::TRecordingLog Log;
  TSaver Window{Host, Media, Log, TProgramRun{"S"}};
  int Closes = 0;
};

TEST_F(Saver, MouseStepsOfTwentyPixelsNeverEndTheRunOneOfTwentyOneDoes) {
  Window.FormMouseMove(500, 500);  // the first event only records
  for (int step = 1; step <= 10; ++step) {
    Window.FormMouseMove(500 + 20 * step, 500 - 20 * step);
  }
  EXPECT_FALSE(Window.Closing());
  EXPECT_TRUE(Log.Lines.empty());
  Window.FormMouseMove(700 + 21, 300);
  EXPECT_TRUE(Window.Closing());
  EXPECT_EQ(Events(), std::vector<std::string>{"Mouse Move"});
  EXPECT_EQ(Closes, 1);
  EXPECT_FALSE(test::TSaverSeam::MouseSeen(Window));
}

TEST_F(Saver, AJumpOnTheOtherAxisEndsItToo) {
  Window.FormMouseMove(10, 10);
  Window.FormMouseMove(10, 31);
  EXPECT_TRUE(Window.Closing());
}

TEST_F(Saver, AnyButtonAndAnyCharacterKeyEndTheRun) {
  Window.FormMouseDown();
  EXPECT_TRUE(Window.Closing());
  EXPECT_EQ(Events(), std::vector<std::string>{"Mouse Push"});

  test::TSaverSeam::Closing(Window) = false;
  Log.Lines.clear();
  char key = 'q';
  Window.FormKeyPress(key);
  EXPECT_TRUE(Window.Closing());
  EXPECT_EQ(Events(), std::vector<std::string>{"Key Push"});
}

TEST_F(Saver, TheBlankKeyOnlyMarksTheHistoryWhileOneIsKept) {
  test::TSaverSeam::Settings(Window).LogFile = "  history.log ";
  char blank = ' ';
  Window.FormKeyPress(blank);
  EXPECT_FALSE(Window.Closing());
  EXPECT_EQ(Events(), std::vector<std::string>{"Press Key!!"});
  // Without a history the blank is a key like any other.
  test::TSaverSeam::Settings(Window).LogFile = " ";
  Window.FormKeyPress(blank);
  EXPECT_TRUE(Window.Closing());
}

TEST_F(Saver, InputDuringThePauseBeforePlayingEndsTheRunWithinATenthOfASecond) {
  StoreSettings("/tmp/history.log");
  Window.FormCreate();
  Host.Draws = {2499};  // the longest pause, 3999 ms
  Host.At(500, [&] { Window.FormMouseDown(); });
  Window.FormActivate();
  RunThePlayLoop(Window);
  EXPECT_EQ(Host.NowMs, 500);
  // Nothing was played.
  EXPECT_EQ(Events(), (std::vector<std::string>{"Mouse Push", "Close"}));
}

TEST_F(Saver, InPreviewNoInputEndsAnything) {
  Run().PreviewHandle = 1234;
  Window.FormMouseMove(0, 0);
  Window.FormMouseMove(300, 300);
  Window.FormMouseDown();
  char key = 'x';
  Window.FormKeyPress(key);
  EXPECT_FALSE(Window.Closing());
  EXPECT_EQ(Closes, 0);
  EXPECT_EQ(test::TSaverSeam::MouseX(Window), 300);  // still recorded
}

TEST_F(Saver, CreatingARunLoadsTheSettingsHidesTheCursorAndStartsDiscovery) {
  StoreSettings("  " + Dir.Name("history.log") + "  ");
  Host.CursorCount = 2;  // shown more than once before
  Window.FormCreate();
  EXPECT_EQ(Host.CursorCount, -1);
  EXPECT_EQ(Log.FileName, Dir.Name("history.log"));
  EXPECT_TRUE(Log.Active());
  ASSERT_NE(test::TSaverSeam::Discovery(Window), nullptr);
  EXPECT_EQ(Window.ScreenPicture().Width(), 320);
  EXPECT_EQ(Window.ScreenPicture().Height(), 240);
  EXPECT_EQ(PixelColor(Window.Background(), 5, 5), Host.DesktopColor);
  EXPECT_TRUE(Host.ScreenSaverRunning.empty());  // only the older family is told
}

TEST_F(Saver, ARunCoversEveryOtherMonitorWithItsOwnDesktopOrTheBackColour) {
  StoreSettings("", 0x0000FF);
  StoreInteger("Capture", 1);
  Host.Monitors = {{320, 0, 200, 150}, {-160, 0, 160, 120}, {0, 240, 0, 100}};
  Window.FormCreate();
  // The monitor without pixels is left out.
  const std::vector<TOtherScreen>& others = Window.OtherScreens();
  ASSERT_EQ(others.size(), 2u);
  EXPECT_EQ(others[0].Screen.Width(), 200);
  EXPECT_EQ(others[1].Screen.Height(), 120);
  EXPECT_EQ(PixelColor(others[0].Background, 5, 5), Host.DesktopColor + 1);
  EXPECT_EQ(PixelColor(others[1].Background, 5, 5), Host.DesktopColor + 2);
  EXPECT_EQ(Window.ScreenPicture().Width(), 320);  // the primary's as before

  // Without "Capture", each gets the outlined back colour at activation.
  TSaver other{Host, Media, Log, TProgramRun{"S"}};
  StoreInteger("Capture", 0);
  other.FormCreate();
  other.FormActivate();
  for (const TOtherScreen& screen : other.OtherScreens()) {
    EXPECT_EQ(PixelColor(screen.Screen, 0, 0), 0u);
    EXPECT_EQ(PixelColor(screen.Screen, 1, 1), 0x0000FFu);
  }
}

TEST_F(Saver, APreviewCoversNoOtherMonitor) {
  Run().PreviewHandle = 1;
  Host.Monitors = {{320, 0, 200, 150}};
  Window.FormCreate();
  EXPECT_TRUE(Window.OtherScreens().empty());
}

TEST_F(Saver, AHistoryThatCannotBeOpenedLeavesTheRunWithoutOneAndTheScreenSaysNothing) {
  StoreSettings("/nowhere/history.log");
  Log.FailActivation = true;
  Window.FormCreate();
  EXPECT_EQ(Host.ErrorText, "");
  EXPECT_NE(test::TSaverSeam::Discovery(Window), nullptr);
  EXPECT_EQ(Window.ScreenPicture().Width(), 320);
}

TEST_F(Saver, TheFirstActivationPreparesTheBackgroundPausesAndStartsThePlayLoop) {
  StoreSettings("", 0x0000FF);
  Window.FormCreate();
  Host.Draws = {700};  // the pause before playing: 1500 + 700 ms
  Window.FormActivate();
  EXPECT_EQ(PixelColor(Window.ScreenPicture(), 0, 0), 0u);  // the black outline
  EXPECT_EQ(PixelColor(Window.ScreenPicture(), 1, 1), 0x0000FFu);
  EXPECT_EQ(PixelColor(Window.ScreenPicture(), 319, 239), 0u);
  EXPECT_EQ(Log.TrimmedTo, 1000);
  // The activation only starts the loop, which the event loop runs until
  // input: here, some time after the pause, which is one wait of 2200 ms.
  EXPECT_TRUE(Window.PlayLoopRunning());
  EXPECT_TRUE(Host.Sleeps.empty());
  Host.At(10'000, [&] { Window.FormMouseDown(); });
  RunThePlayLoop(Window);
  ASSERT_FALSE(Host.Sleeps.empty());
  EXPECT_EQ(Host.Sleeps.front(), 2200);
  EXPECT_TRUE(Window.Closing());
  const std::vector<std::string> events = Events();
  EXPECT_NE(std::find(events.begin(), events.end(), "Mouse Push"), events.end());
  // A second activation does nothing.
  Window.FormActivate();
  EXPECT_FALSE(Window.PlayLoopRunning());
}

// A history that cannot be cut or written (a file that cannot be replaced,
// a full disk) never shows on the screen, and the run plays all the same;
// one that is not kept is not cut at all.
TEST_F(Saver, AHistoryThatCannotBeCutOrWrittenNeverKeepsTheRunFromPlaying) {
  for (const bool kept : {true, false}) {
    SCOPED_TRACE(kept);
    test::TRecordingLog log;
    TSaver window{Host, Media, log, TProgramRun{"S"}};
    StoreSettings("/var/full/history.log");
    log.FailActivation = !kept;
    log.FailTrim = true;
    log.FailWrites = true;
    Host.ErrorText.clear();
    Host.Sleeps.clear();
    Host.Draws = {700};  // the pause before playing: 1500 + 700 ms
    window.FormCreate();
    Host.At(Host.NowMs + 10'000, [&] { window.FormMouseDown(); });
    window.FormActivate();
    RunThePlayLoop(window);
    EXPECT_EQ(Host.ErrorText, "");
    EXPECT_EQ(log.TrimmedTo, -1);
    EXPECT_TRUE(window.Closing());  // input still ended the run
    // The pause before the first movie was waited: the play loop ran.
    ASSERT_FALSE(Host.Sleeps.empty());
    EXPECT_EQ(Host.Sleeps.front(), 2200);
  }
}

TEST_F(Saver, ClosingStopsTheGraphAndShowsTheCursor) {
  Window.FormCreate();
  Media.SetActive(true);
  Window.FormClose();
  EXPECT_TRUE(Window.Closing());
  EXPECT_EQ(Events(), std::vector<std::string>{"Close"});
  EXPECT_EQ(Media.CallsNamed("Stop"), std::vector<std::string>{"Stop"});
  EXPECT_EQ(Host.CursorCount, 0);
  // Discovery ends its walk at once.
  test::TSaverSeam::Discovery(Window)->Resume();
}

TEST_F(Saver, ARunClosesOnceHoweverOftenItsCloseIsAskedFor) {
  Host.Platform = 1;
  Host.PasswordInUse = true;
  Host.PasswordAnswers = {true, false};  // asked a second time, it would refuse
  Window.FormCreate();
  Media.SetActive(true);
  for (int request = 0; request < 3; ++request) {
    bool canClose = false;
    Window.FormCloseQuery(canClose);
    EXPECT_TRUE(canClose);
    Window.FormClose();
  }
  EXPECT_EQ(Events(), std::vector<std::string>{"Close"});
  EXPECT_EQ(Host.PasswordAnswers.size(), 1u);  // the password was asked for once
  EXPECT_EQ(Media.CallsNamed("Stop"), std::vector<std::string>{"Stop"});
  EXPECT_EQ(Host.ScreenSaverRunning, (std::vector<bool>{true, false}));
}

TEST_F(Saver, TheOlderFamilyAsksForItsPasswordAndARefusalKeepsTheRunGoing) {
  Host.Platform = 1;
  Host.PasswordInUse = true;
  Host.PasswordAnswers = {false, true};
  Window.FormCreate();
  EXPECT_EQ(Host.ScreenSaverRunning, std::vector<bool>{true});
  test::TSaverSeam::Closing(Window) = true;
  bool canClose = true;
  Window.FormCloseQuery(canClose);
  EXPECT_FALSE(canClose);
  EXPECT_FALSE(Window.Closing());
  EXPECT_EQ(Host.CursorCount, -1);  // hidden again
  Window.FormCloseQuery(canClose);
  EXPECT_TRUE(canClose);
  Window.FormClose();
  EXPECT_EQ(Host.ScreenSaverRunning, (std::vector<bool>{true, false}));
}

TEST_F(Saver, NoPasswordIsAskedOnTheNewerFamilyOrWithTheLetterP) {
  Host.PasswordInUse = true;
  Host.PasswordAnswers = {false};
  Window.FormCreate();  // platform 2
  bool canClose = false;
  Window.FormCloseQuery(canClose);
  EXPECT_TRUE(canClose);
  Host.Platform = 1;
  Window.FormCreate();
  Run().ModeLetter = "P";
  Window.FormCloseQuery(canClose);
  EXPECT_TRUE(canClose);
}

TEST_F(Saver, APreviewShowsTheIconInTheMiddleOfThePane) {
  Run().PreviewHandle = 77;
  Window.FormCreate();
  EXPECT_EQ(Host.CursorCount, 0);                           // nothing hidden
  EXPECT_EQ(test::TSaverSeam::Discovery(Window), nullptr);  // no discovery
  Window.SetClientSize(152, 112);
  Window.FormPaint();
  // The fake icon's mark sits at (8..23) of the 32 × 32 icon, which is
  // placed at ((152 - 32) / 2, (112 - 32) / 2) = (60, 40).
  EXPECT_EQ(PixelColor(Window.ScreenPicture(), 68, 48), 0x00FFFFu);
  EXPECT_EQ(PixelColor(Window.ScreenPicture(), 67, 48), PixelColor(Window.ScreenPicture(), 0, 0));
  Window.FormActivate();
  EXPECT_FALSE(Window.PlayLoopRunning());  // a preview plays nothing
}

TEST_F(Saver, WhatAWindowHandlerThrowsBecomesTheRedLineAndTheRunGoesOn) {
  bool ran = false;
  RunGuarded(Window, [&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(Host.ErrorText, "");
  RunGuarded(Window, [] { throw std::runtime_error("Cannot open file \"x\"."); });
  EXPECT_EQ(Host.ErrorText, "Cannot open file \"x\".");
  RunGuarded(Window, [] { throw 42; });
  EXPECT_EQ(Host.ErrorText, "An unknown error occurred.");
}

}  // namespace
}  // namespace tavelune
