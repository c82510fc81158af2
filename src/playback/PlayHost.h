#pragma once

// What playback needs of the saver window and the world around it: time,
// chance, timers (on which the play loop's waits suspend), the close
// request, the error notice and text drawing; and the window's own state it
// plays on. The front end implements the host on real time and real
// windows, its event loop firing the timers; tests on a fake clock that
// jumps to the next timer, so whole movies play in milliseconds. Everything
// here is called on the UI thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "imaging/Bitmap.h"
#include "platform/LocalTime.h"
#include "settings/SettingsStore.h"

namespace tavelune {

// A window timer: fires on the UI thread, from the event loop, every
// interval while enabled; enabling it again starts the interval anew. An
// interval of 0 fires at the event loop's next pass.
class ITimer {
 public:
  virtual ~ITimer() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  // In milliseconds; a running timer starts the new interval anew.
  virtual void SetInterval(int milliseconds) = 0;
};

class IPlayHost {
 public:
  virtual ~IPlayHost() = default;

  // The local date and time, as a date-time value and broken down.
  virtual TDateTime Now() = 0;
  virtual platform::TLocalTime LocalNow() = 0;
  // A uniform whole number in 0..bound-1 (0 for a bound below 1), and a
  // uniform real in [0, 1).
  virtual std::int32_t RandomBelow(std::int32_t bound) = 0;
  virtual double RandomReal() = 0;

  // Asks the saver window to close; its close query and close handlers
  // decide what happens, possibly before this returns.
  virtual void RequestClose() = 0;
  // The play loop the saver started has ended (a closed run may now end
  // its event loop).
  virtual void PlayLoopEnded() {}
  // A timer of `intervalMilliseconds`, created disabled, that calls `onTimer`.
  virtual std::unique_ptr<ITimer> CreateTimer(int intervalMilliseconds,
                                              std::function<void()> onTimer) = 0;

  // The error notice (one at a time): shows it for the movie unless one is
  // up already; whether one is still up and visible.
  virtual void ShowErrorNotice(const std::string& movieFile) = 0;
  virtual bool ErrorNoticeShowing() = 0;

  // The screen picture (and the other monitors' pictures) have a new still: the
  // windows show it now (the hold follows).
  virtual void ScreenChanged() = 0;

  // Draws `text` (system code page) in the saver window's font with its
  // top-left corner at (x, y), opaque: the text's box is filled with
  // `brushColor` first. Colours are RGB (0x00BBGGRR).
  virtual void DrawText(TBitmap24& surface, int x, int y, const std::string& text, TColor fontColor,
                        TColor brushColor) = 0;
};

// A rectangle of the virtual screen, in pixels; the primary monitor's
// top-left corner is (0, 0).
struct TScreenArea {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

// A monitor besides the primary one: its own collage, over its own captured
// desktop or the back colour.
struct TOtherScreen {
  TScreenArea Area;
  TBitmap24 Screen;      // what its window shows, of the monitor's size
  TBitmap24 Background;  // what "Screen Clear" restores there
};

// The saver window's state that playback reads and draws on. The window
// owns all of it and outlives its playback.
struct TPlayWindow {
  const TSaverSettings& Settings;
  // The screen picture, the one the window shows, of the screen's size.
  TBitmap24& Screen;
  // The background that "Screen Clear" restores.
  const TBitmap24& Background;
  // The other monitors of a full-screen run (none otherwise), each of which
  // gets every still too.
  std::vector<TOtherScreen>& OtherScreens;
  // FClosing: set (on the UI thread) when the run is to end. Playback
  // tests it after every wait and ends what it is doing.
  const std::atomic<bool>& Closing;
  // Whether the window has had its first activation.
  const bool& Activated;
};

// The same state owned, for playback without a saver window: the
// command-line companion, the benchmarks and the tests.
struct TWindowlessPlayState {
  TSaverSettings Settings;
  TBitmap24 Screen;
  TBitmap24 Background;
  std::vector<TOtherScreen> OtherScreens;
  std::atomic<bool> Closing{false};
  bool Activated = true;

  TPlayWindow View() { return {Settings, Screen, Background, OtherScreens, Closing, Activated}; }
};

}  // namespace tavelune
