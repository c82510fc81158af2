#pragma once

// Turning pictures by any angle: the free routine RotateBitmap, and
// TRotateImage, the picture control that keeps a turned copy of its picture
// (still composition uses a hidden one only to compute turned pictures).

#include "imaging/Bitmap.h"

namespace tavelune {

// Stops a RotateBitmap in progress after its current row. Safe from any
// thread; the next turn clears it again.
void AbortRotation();

// The picture turned counter-clockwise (as seen on the screen) by `angle`
// degrees into its bounding box, every target pixel the nearest source pixel
// and the corners `backColor` (RGB, 0x00BBGGRR). The arithmetic is that of
// the 80-bit extended type with the 64-bit-mantissa pi, whose tiny excess
// decides the exact pictures at 90, 180 and 270 degrees. Throws
// std::invalid_argument for an angle that is not a finite number.
TBitmap24 RotateBitmap(const TBitmap24& source, TColor backColor, double angle);

// The picture control's state: the picture, the angle, the display flags and
// the turned bitmap computed from them. Painting belongs to the front end,
// which draws TurnedBitmap() as PaintRect() says.
class TRotateImage {
 public:
  struct TRect {
    int Left, Top, Width, Height;
  };

  TRotateImage();

  long double Angle() const { return FAngle; }
  bool AutoSize() const { return FAutoSize; }
  bool Center() const { return FCenter; }
  bool Stretch() const { return FStretch; }
  bool Transparent() const { return FTransparent; }
  bool UniqueSize() const { return FUniqueSize; }
  TColor Color() const { return FColor; }
  const TBitmap24& Picture() const { return FPicture; }

  // Each setter that changes a value rebuilds the turned bitmap at once.
  void SetAngle(long double angle);
  void SetAutoSize(bool value);
  void SetCenter(bool value);
  void SetStretch(bool value);
  void SetTransparent(bool value);
  void SetUniqueSize(bool value);
  // The control's colour (RGB): background of the turn and of the square.
  void SetColor(TColor rgb);
  // Copies the picture.
  void SetPicture(const TBitmap24& picture);

  // While loading from a stored form nothing is rebuilt; EndLoading rebuilds once.
  void BeginLoading() { FLoading = true; }
  void EndLoading();

  const TBitmap24& TurnedBitmap() const { return FTurned; }
  // Whether the turned bitmap is to be drawn transparently.
  bool TurnedTransparent() const { return FTurnedTransparent; }

  // The control's size; AutoSize makes it the turned bitmap's.
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetBounds(int width, int height);
  // Where the turned bitmap is drawn in the control.
  TRect PaintRect() const;

 private:
  void SetFlag(bool& flag, bool value);
  void PictureChanged();
  void Rebuild();

  TBitmap24 FPicture;
  TBitmap24 FTurned;
  long double FAngle = 0;
  bool FAutoSize = false;
  bool FCenter = false;
  bool FStretch = false;
  bool FTransparent = false;
  bool FUniqueSize = true;
  bool FTurnedTransparent = false;
  bool FLoading = false;
  TColor FColor = 0xFFFFFF;
  int FWidth = 105;
  int FHeight = 105;
};

}  // namespace tavelune
