#pragma once

// What the saver window's logic needs of the world around it: time, sleep,
// chance, the message loop, timers, the close request, the error notice and
// text drawing. The front end implements it on real time and real windows;
// tests implement it on a fake clock that moves only when the saver sleeps,
// so whole movies play in milliseconds. Everything here is called on the UI
// thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "app/DateTime.h"
#include "imaging/Bitmap.h"
#include "platform/LocalTime.h"
#include "settings/KeyStore.h"

namespace tavelune {

// A window timer: fires on the UI thread (inside message handling) every
// interval while enabled; enabling it again starts the interval anew.
class ITimer {
 public:
  virtual ~ITimer() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

class ISaverHost {
 public:
  virtual ~ISaverHost() = default;

  // The local date and time, as a date-time value and broken down.
  virtual TDateTime Now() = 0;
  virtual TLocalTime LocalNow() = 0;
  // Blocks for `milliseconds` without handling messages.
  virtual void Sleep(int milliseconds) = 0;
  // One slice of a hold that lasts `milliseconds` more: blocks until window
  // messages wait or the time has passed. A host that cannot wait for
  // messages sleeps 100 ms, so that they are looked at ten times a second.
  virtual void SleepUntilMessages(int /*milliseconds*/) { Sleep(100); }
  // A zero-length sleep, the worker threads' hand-overs and the waiting
  // window messages (YieldToMessages).
  virtual void YieldToMessages() = 0;
  // The waiting window messages once.
  virtual void ProcessMessages() = 0;
  // A uniform whole number in 0..bound-1 (0 for a bound below 1), and a
  // uniform real in [0, 1).
  virtual std::int32_t RandomBelow(std::int32_t bound) = 0;
  virtual double RandomReal() = 0;

  // Asks the saver window to close; its close query and close handlers
  // decide what happens, possibly before this returns.
  virtual void RequestClose() = 0;
  // A timer of `intervalMilliseconds`, created disabled, that calls `onTimer`.
  virtual std::unique_ptr<ITimer> CreateTimer(int intervalMilliseconds,
                                              std::function<void()> onTimer) = 0;

  // The error notice (one at a time): shows it for the movie unless one is
  // up already; whether one is still up and visible.
  virtual void ShowErrorNotice(const std::string& movieFile) = 0;
  virtual bool ErrorNoticeShowing() = 0;

  // ImageMain has a new still: the window shows it now (the hold follows).
  virtual void ScreenChanged() = 0;

  // --- the saver window's platform ---
  // The primary screen's size in pixels.
  virtual int ScreenWidth() = 0;
  virtual int ScreenHeight() = 0;
  // The whole screen as it looks now, of the screen's size.
  virtual TBitmap24 CaptureScreen() = 0;
  // The cursor's display count after raising (true) or lowering it by one;
  // the cursor is hidden while the count is below 0.
  virtual int ShowCursor(bool show) = 0;
  // The red error line at the bottom of the saver window.
  virtual void SetErrorText(const std::string& text) = 0;
  // The program's icon, 32 × 32, drawn over `background` (RGB).
  virtual TBitmap24 ProgramIcon(TColor background) = 0;
  // The user's settings (the registry, or the settings file).
  virtual std::unique_ptr<IKeyStore> OpenUserKeyStore() = 0;
  // 1 for the older platform family (screen-saver passwords of its own),
  // 2 for the family whose host locks the screen, 0 when unknown.
  virtual std::uint32_t PlatformId() = 0;
  // The older family only: tells it a saver runs, and asks for its password.
  virtual void SetScreenSaverRunning(bool running) = 0;
  virtual bool ScreenSaverPasswordInUse() = 0;
  virtual bool VerifyScreenSaverPassword() = 0;
  // A temporary switch of the display to 16 bits per pixel, where the
  // platform can.
  virtual void SetDisplay16Bit() = 0;

  // Draws `text` (system code page) in the saver window's font with its
  // top-left corner at (x, y), opaque: the text's box is filled with
  // `brushColor` first. Colours are RGB (0x00BBGGRR).
  virtual void DrawText(TBitmap24& surface, int x, int y, const std::string& text, TColor fontColor,
                        TColor brushColor) = 0;
};

// What every host on real time shares: the wall clock, plain sleeps and a
// generator seeded from the clock.
class TRealTimeHost : public ISaverHost {
 public:
  TDateTime Now() override;
  TLocalTime LocalNow() override;
  void Sleep(int milliseconds) override;
  std::int32_t RandomBelow(std::int32_t bound) override;
  double RandomReal() override;

 private:
  std::mt19937 FRandom{std::random_device{}()};
};

}  // namespace tavelune
