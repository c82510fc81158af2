// Still composition: the frame grabbed for a segment becomes a still on the
// screen picture, sized, perhaps turned, placed, drawn over the background
// or the earlier stills, and perhaps labelled. UI thread.

#include "playback/StillComposer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/FileNames.h"
#include "base/ProcessUtils.h"
#include "imaging/BmpFile.h"
#include "imaging/Canvas.h"
#include "imaging/Colors.h"
#include "imaging/Resample.h"
#include "platform/ByteFile.h"
#include "platform/FileSystem.h"

namespace tavelune {

namespace {

constexpr TColor kBlack = 0x000000;
constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kPositionColor = 0x0077FF;  // red 255, green 119, blue 0

int CeilToInt(long double value) {
  return static_cast<int>(std::ceil(value));
}

int TruncToInt(long double value) {
  return static_cast<int>(value);
}

}  // namespace

TStillSize StillSize(std::int32_t graphicsSize, int pictureWidth, int pictureHeight,
                     int screenWidth, int screenHeight, double r1, double r2) {
  // Sizes are computed in the extended type, which decides how they round;
  // products of sizes are 32-bit integers before they are divided.
  using TReal = long double;
  const int pw = pictureWidth;
  const int ph = pictureHeight;
  const int sw = screenWidth;
  const int sh = screenHeight;
  if (graphicsSize == 1) {
    if (pw > sw && ph <= sh) {
      return {CeilToInt(TReal(sw * pw) / pw), CeilToInt(TReal(sw * ph) / pw)};
    }
    if (pw <= sw && ph > sh) {
      return {CeilToInt(TReal(sh * pw) / ph), CeilToInt(TReal(sh * ph) / ph)};
    }
    if (pw > sw && ph > sh) {
      if (TReal(sw) / pw >= TReal(sh) / ph) {
        return {CeilToInt(TReal(sh * pw) / ph), sh};
      }
      return {sw, CeilToInt(TReal(sw * ph) / pw)};
    }
    // The picture fits and is enlarged to touch the screen's sides.
    if (TReal(sh) / ph >= TReal(sw) / pw) {
      return {sw, TruncToInt(TReal(sw) / pw * ph)};
    }
    return {TruncToInt(TReal(sh) / ph * pw), sh};
  }
  if (graphicsSize == 2) {
    const TReal scale = ph < pw ? (TReal(r1) + r2) / 3 * sw / pw + TReal(0.3)
                                : (TReal(r1) + r2) / 3 * sh / ph + TReal(0.3);
    return {CeilToInt(pw * scale), CeilToInt(ph * scale)};
  }
  return {pw, ph};
}

TStillSize TurnedStillSize(int width, int height) {
  return {TruncToInt(3.0L * width / 5) + 1, TruncToInt(3.0L * height / 5) + 1};
}

std::string PositionText(TRefTime position) {
  // The time of day of the position's day count, to the millisecond, as the
  // h":"nn":"ss pattern shows it: hours wrap at 24.
  const double days = RefTimeToDays(position);
  const long double fraction = std::fabs(static_cast<long double>(days) - std::trunc(days));
  const long long millis = std::llround(fraction * 86'400'000) % 86'400'000;
  char text[16];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", millis / 3'600'000, millis / 60'000 % 60,
                millis / 1000 % 60);
  return text;
}

TStillComposer::TStillComposer(IPlayHost& host, TPlayWindow window) : FHost(host), FWindow(window) {
  // The turning control as still composition uses it: the turned picture
  // at the top-left of its square, the rest in the back colour.
  FRotator.SetAutoSize(true);
  FRotator.SetCenter(true);
  FRotator.SetStretch(true);
  FRotator.SetTransparent(true);
  FRotator.SetUniqueSize(true);
}

std::string TStillComposer::TempPictureFileName() {
  return GetPrivateTempDir() + "tavelune.bmp";
}

void TStillComposer::Compose(const TBitmap24& picture, const TStillLabel& label) {
  ComposeOn(FWindow.Screen, FWindow.Background, picture, label);
  for (TOtherScreen& other : FWindow.OtherScreens) {
    ComposeOn(other.Screen, other.Background, picture, label);
  }
  FHost.ScreenChanged();
}

void TStillComposer::ComposeOn(TBitmap24& screen, const TBitmap24& background,
                               const TBitmap24& picture, const TStillLabel& label) {
  const int screenWidth = screen.Width();
  const int screenHeight = screen.Height();
  double r1 = 0;
  double r2 = 0;
  if (FWindow.Settings.GraphicsSize == 2) {
    r1 = FHost.RandomReal();
    r2 = FHost.RandomReal();
  }
  TStillSize size = StillSize(FWindow.Settings.GraphicsSize, picture.Width(), picture.Height(),
                              screenWidth, screenHeight, r1, r2);

  TBitmap24 turned;
  TColor transparent = 0;
  if (FWindow.Settings.Rotate) {
    turned = TurnStill(picture, size);
    transparent = PixelColor(turned, 0, turned.Height() - 1);
    size = {turned.Width(), turned.Height()};
  }

  int top = 0;
  int left = 0;
  if (FWindow.Settings.DrawPosition == 1) {
    top = TruncToInt(FHost.RandomReal() * static_cast<long double>(screenHeight - size.Height));
    left = TruncToInt(FHost.RandomReal() * static_cast<long double>(screenWidth - size.Width));
  } else {
    top = TruncToInt(static_cast<long double>(screenHeight - size.Height) / 2);
    left = TruncToInt(static_cast<long double>(screenWidth - size.Width) / 2);
  }
  top = std::max(top, 0);
  left = std::max(left, 0);

  try {
    if (FWindow.Settings.ScreenClear) {
      StretchDrawWhole(screen, background);
    }
    if (FWindow.Settings.Rotate) {
      DrawBitmapTransparent(screen, turned, left, top, transparent);
    } else if (FWindow.Settings.GraphicsSize != 0) {
      DrawBitmap(screen, ResampleBitmap(picture, size.Width, size.Height), left, top);
    } else {
      DrawBitmap(screen, picture, left, top);
    }
  } catch (...) {
    // A still that cannot be drawn is left out (or half drawn); the
    // composition goes on.
  }

  if (FWindow.Settings.DispFileName) {
    DrawOverlay(screen, label, left, top);
  }
}

TBitmap24 TStillComposer::TurnStill(const TBitmap24& picture, TStillSize size) {
  const TStillSize reduced = TurnedStillSize(size.Width, size.Height);
  FRotator.SetColor(ColorToRgb(FWindow.Settings.BackColor));
  FRotator.SetPicture(ResampleBitmap(picture, reduced.Width, reduced.Height));
  const int a = FHost.RandomBelow(180);
  const int b = FHost.RandomBelow(180);
  FRotator.SetAngle(static_cast<long double>(a + b) / 2 - 90);
  // The turned picture goes through the temporary file, which is also
  // where a user finds the last turned still.
  const std::string fileName = TempPictureFileName();
  platform::WriteFileNoFollow(fileName, EncodeBmp(FRotator.TurnedBitmap()));
  return ReadBmpFile(fileName);
}

void TStillComposer::DrawOverlay(TBitmap24& screen, const TStillLabel& label, int left, int top) {
  const std::string title =
      platform::FileExists(label.MovieFile) ? ExtractFileName(label.Title) : label.Title;
  FHost.DrawText(screen, left + 48, top + 4, title, kWhite, kBlack);
  FHost.DrawText(screen, left + 4, top + 4, PositionText(label.Position), kPositionColor, kBlack);
}

}  // namespace tavelune
