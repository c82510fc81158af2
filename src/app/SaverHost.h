#pragma once

// What the saver window's logic needs of the world around it: what playback
// needs (playback/PlayHost.h), and the window's platform: the screen, the
// cursor, the error line, the icon, the settings store and the older
// platform family's passwords. Everything here is called on the UI thread.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/Bitmap.h"
#include "playback/PlayHost.h"
#include "settings/KeyStore.h"

namespace tavelune {

class ISaverHost : public IPlayHost {
 public:
  // Blocks for `milliseconds` without handling messages.
  virtual void Sleep(int milliseconds) = 0;
  // The waiting window messages once: the window's creation passes them
  // while it hides the cursor, before anything plays.
  virtual void ProcessMessages() = 0;
  // The primary screen's size in pixels.
  virtual int ScreenWidth() = 0;
  virtual int ScreenHeight() = 0;
  // The whole screen as it looks now, of the screen's size.
  virtual TBitmap24 CaptureScreen() = 0;
  // The monitors besides the primary one, in the virtual screen's
  // coordinates; none where the platform knows of one screen only.
  virtual std::vector<TScreenArea> OtherMonitors() { return {}; }
  // A rectangle of the virtual screen as it looks now, of its size (black
  // where the platform cannot tell).
  virtual TBitmap24 CaptureArea(const TScreenArea& area) {
    return {std::max(area.Width, 0), std::max(area.Height, 0)};
  }
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
};

// What every host on real time shares: the wall clock, plain sleeps and a
// generator seeded from the clock.
class TRealTimeHost : public ISaverHost {
 public:
  TDateTime Now() override;
  platform::TLocalTime LocalNow() override;
  void Sleep(int milliseconds) override;
  std::int32_t RandomBelow(std::int32_t bound) override;
  double RandomReal() override;

 private:
  std::mt19937 FRandom{std::random_device{}()};
};

}  // namespace tavelune
