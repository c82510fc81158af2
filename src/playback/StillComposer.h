#pragma once

// Still composition: a grabbed frame becomes a still on the screen picture,
// sized, perhaps turned, placed, drawn over the background or the earlier
// stills, and perhaps labelled. UI thread.

#include <cstdint>
#include <string>

#include "imaging/Bitmap.h"
#include "imaging/RotImg.h"
#include "playback/MediaGraph.h"
#include "playback/PlayHost.h"

namespace tavelune {

// The size a frame of pictureWidth × pictureHeight is drawn at on a screen
// of screenWidth × screenHeight by "Graphics Size": 0 (and any unknown
// value) its own size, 1 fitted to the screen, 2 a random size from the two
// random reals r1 and r2 in [0, 1).
struct TStillSize {
  int Width;
  int Height;
};
TStillSize StillSize(std::int32_t graphicsSize, int pictureWidth, int pictureHeight,
                     int screenWidth, int screenHeight, double r1, double r2);
// The size a still is reduced to before it is turned: 60 % rounded up, one
// more when 60 % is whole.
TStillSize TurnedStillSize(int width, int height);

// "h:nn:ss" of a position; the hours wrap at 24.
std::string PositionText(TRefTime position);

// What a still is labelled with when "Disp File Name" is on.
struct TStillLabel {
  const std::string& MovieFile;
  // The recorder library's title, or the movie's name.
  const std::string& Title;
  // The segment's start.
  TRefTime Position;
};

class TStillComposer {
 public:
  // The host and the window's state must outlive the composer.
  TStillComposer(IPlayHost& host, TPlayWindow window);

  // Draws `picture` (not empty) as a still on the window's screen picture,
  // then on each other monitor's, each sized, turned and placed within its
  // own screen, and has the host show them. A still that cannot be drawn is
  // left out or half drawn; a turned still's temporary file that cannot be
  // written or read throws (EFCreateError, EBmpError).
  void Compose(const TBitmap24& picture, const TStillLabel& label);

  // The temporary picture file a turned still goes through.
  static std::string TempPictureFileName();

 private:
  // One monitor's still, on `screen` over `background`.
  void ComposeOn(TBitmap24& screen, const TBitmap24& background, const TBitmap24& picture,
                 const TStillLabel& label);
  TBitmap24 TurnStill(const TBitmap24& picture, TStillSize size);
  void DrawOverlay(TBitmap24& screen, const TStillLabel& label, int left, int top);

  IPlayHost& FHost;
  const TPlayWindow FWindow;
  TRotateImage FRotator;
};

}  // namespace tavelune
