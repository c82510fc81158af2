#pragma once

// The saver's host for runs without a window (the command-line companion
// and the benchmarks): real time, an event loop of its own (Run) that
// fires the timers and runs the hand-overs of other threads, text drawn
// with the platform's painter, no error notice (the failure is in the
// history, and the notice counts as gone at once). UI thread only.

#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "app/DesktopSaverHost.h"
#include "playback/PlayHost.h"
#include "playback/PlayTask.h"

namespace tavelune::tool {

class TConsoleHost : public TDesktopSaverHost {
 public:
  // What the hosted playback plays on: a close request sets its closing
  // flag, as closing a saver window would.
  TWindowlessPlayState Window;
  // Called with each new still on Window.Screen.
  std::function<void()> OnScreenChanged;

  // The event loop, until `task` (started here) has ended: its value, or
  // what it let out.
  template <class T>
  T Run(TPlayTask<T> task) {
    task.Start();
    RunUntil([&] { return task.Done(); });
    return task.Result();
  }
  // Fires due timers and runs hand-overs, sleeping between them until the
  // next timer or hand-over, until `done` says so.
  void RunUntil(const std::function<bool()>& done);

  void ProcessMessages() override;
  void RequestClose() override;
  std::unique_ptr<ITimer> CreateTimer(int intervalMilliseconds,
                                      std::function<void()> onTimer) override;
  void ShowErrorNotice(const std::string&) override {}
  bool ErrorNoticeShowing() override { return false; }
  void ScreenChanged() override;
  // No screen of its own: the window's picture is the screen.
  int ScreenWidth() override { return Window.Screen.Width(); }
  int ScreenHeight() override { return Window.Screen.Height(); }
  TBitmap24 CaptureScreen() override;
  int ShowCursor(bool show) override { return FCursorCount += show ? 1 : -1; }
  void SetErrorText(const std::string& text) override;
  std::uint32_t PlatformId() override { return 2; }
  void SetScreenSaverRunning(bool) override {}
  bool ScreenSaverPasswordInUse() override { return false; }
  bool VerifyScreenSaverPassword() override { return true; }
  void SetDisplay16Bit() override {}

 private:
  class TPolledTimer;
  void RunTimers();
  // Until the earliest enabled timer is due; an hour when none is.
  std::chrono::milliseconds UntilNextTimer() const;

  std::vector<TPolledTimer*> FTimers;  // owned by their creators
  int FCursorCount = 0;
};

}  // namespace tavelune::tool
