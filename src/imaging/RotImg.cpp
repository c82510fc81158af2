#include "imaging/RotImg.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/CpuDispatch.h"
#include "imaging/Rounding.h"

namespace tavelune {

namespace {

std::atomic<bool> gAbortRotation{false};

// Pi with a 64-bit mantissa, just above the true value.
constexpr long double kPi = 3.14159265358979323851L;

long long RoundHalfEven(long double value) {
  return std::llrint(value);
}

// Bring the angle into [0, 360) by whole turns. Huge angles, where
// subtracting one turn at a time would never end, are reduced with fmod,
// which is exact as well.
double NormalisedAngle(double angle) {
  if (!std::isfinite(angle)) {
    throw std::invalid_argument("RotateBitmap: the angle is not a finite number");
  }
  if (std::fabs(angle) > 360.0 * 1e6) {
    angle = std::fmod(angle, 360.0);
  }
  while (angle >= 360) {
    angle -= 360;
  }
  while (angle < 0) {
    angle += 360;
  }
  return angle;
}

// The source offsets (before centring) of one target row, in doubles, and
// which of them lie too close to a rounding edge to be trusted; true when
// there is any.
TAVELUNE_VECTOR_CLONES bool MapRow(int width, int tx, double cd, double sd, double uRow,
                                   double vRow, std::int32_t* __restrict us,
                                   std::int32_t* __restrict vs, std::uint8_t* __restrict nearEdge) {
  std::uint8_t any = 0;
  for (int x = 0; x < width; ++x) {
    const double dx = x - tx;
    const double ud = dx * cd + uRow;
    const double vd = dx * sd + vRow;
    const double ur = RoundHalfEvenFast(ud);
    const double vr = RoundHalfEvenFast(vd);
    nearEdge[x] = static_cast<std::uint8_t>(static_cast<int>(NearRoundingEdge(ud, ur)) |
                                            static_cast<int>(NearRoundingEdge(vd, vr)));
    any |= nearEdge[x];
    us[x] = static_cast<std::int32_t>(ur);
    vs[x] = static_cast<std::int32_t>(vr);
  }
  return any != 0;
}

// Narrows [first, last] to the columns x whose mapped coordinate
// slope·(x − tx) + offset can round into [0, limit): a superset by two
// columns, so the exact test in the copy loop still decides every pixel.
void NarrowColumns(double slope, double offset, int limit, int tx, int& first, int& last) {
  if (std::fabs(slope) < 1e-9) {  // constant along the row, to far below a pixel
    if (offset < -1 || offset > limit) {
      last = first - 1;
    }
    return;
  }
  double from = (-0.5 - offset) / slope + tx;
  double to = (limit - 0.5 - offset) / slope + tx;
  if (from > to) {
    std::swap(from, to);
  }
  first = static_cast<int>(std::max<double>(first, std::floor(from) - 2));
  last = static_cast<int>(std::min<double>(last, std::ceil(to) + 2));
}

}  // namespace

void AbortRotation() {
  gAbortRotation = true;
}

TBitmap24 RotateBitmap(const TBitmap24& source, TColor backColor, double angle) {
  const long double theta = NormalisedAngle(angle) * kPi / 180;
  const long double c = std::cos(theta);
  const long double s = std::sin(theta);
  const int w = source.Width();
  const int h = source.Height();
  long long targetWidth = 0;
  long long targetHeight = 0;
  if (c * s >= 0) {
    targetWidth = RoundHalfEven(std::fabs(w * c + h * s));
    targetHeight = RoundHalfEven(std::fabs(w * s + h * c));
  } else {
    targetWidth = RoundHalfEven(std::fabs(w * c - h * s));
    targetHeight = RoundHalfEven(std::fabs(w * s - h * c));
  }
  TBitmap24 target(static_cast<int>(targetWidth), static_cast<int>(targetHeight));
  target.Fill(backColor);
  const int tx = target.Width() / 2;
  const int ty = target.Height() / 2;
  const int sx0 = w / 2 - (c < 0 ? 1 : 0);
  const int sy0 = h / 2 - (s < 0 ? 1 : 0);

  // Exactly as defined: extended products, rounded half to even.
  auto exactU = [&](int dx, int dy) { return RoundHalfEven(dx * c - dy * s); };
  auto exactV = [&](int dx, int dy) { return RoundHalfEven(dx * s + dy * c); };

  const auto cd = static_cast<double>(c);
  const auto sd = static_cast<double>(s);
  const int width = target.Width();
  std::vector<std::int32_t> us(static_cast<std::size_t>(width));
  std::vector<std::int32_t> vs(static_cast<std::size_t>(width));
  std::vector<std::uint8_t> nearEdge(static_cast<std::size_t>(width));
  gAbortRotation = false;
  // Rows bottom-up, so an aborted turn leaves the top rows in the background.
  for (int y = target.Height() - 1; y >= 0 && !gAbortRotation; --y) {
    const int dy = y - ty;
    const double uRow = -dy * sd;
    const double vRow = dy * cd;
    // Only the columns that can land inside the source need work; the rest
    // keep the background.
    int first = 0;
    int last = width - 1;
    NarrowColumns(cd, uRow + sx0, w, tx, first, last);
    NarrowColumns(sd, vRow + sy0, h, tx, first, last);
    if (first > last) {
      continue;
    }
    const auto offset = static_cast<std::size_t>(first);
    if (MapRow(last - first + 1, tx - first, cd, sd, uRow, vRow, us.data() + offset,
               vs.data() + offset, nearEdge.data() + offset)) {
      for (int x = first; x <= last; ++x) {
        if (nearEdge[static_cast<std::size_t>(x)] != 0) {
          us[static_cast<std::size_t>(x)] = static_cast<std::int32_t>(exactU(x - tx, dy));
          vs[static_cast<std::size_t>(x)] = static_cast<std::int32_t>(exactV(x - tx, dy));
        }
      }
    }
    std::uint8_t* out = target.Row(y);
    for (int x = first; x <= last; ++x) {
      const auto u = static_cast<unsigned>(us[static_cast<std::size_t>(x)] + sx0);
      const auto v = static_cast<unsigned>(vs[static_cast<std::size_t>(x)] + sy0);
      if (u < static_cast<unsigned>(w) && v < static_cast<unsigned>(h)) {
        std::memcpy(out + 3 * static_cast<std::size_t>(x),
                    source.Pixel(static_cast<int>(u), static_cast<int>(v)), 3);
      }
    }
  }
  return target;
}

TRotateImage::TRotateImage() = default;

void TRotateImage::SetAngle(long double angle) {
  if (angle != FAngle) {
    FAngle = angle;
    PictureChanged();
  }
}

void TRotateImage::SetFlag(bool& flag, bool value) {
  if (value != flag) {
    flag = value;
    PictureChanged();
  }
}

void TRotateImage::SetCenter(bool value) {
  SetFlag(FCenter, value);
}
void TRotateImage::SetStretch(bool value) {
  SetFlag(FStretch, value);
}
void TRotateImage::SetTransparent(bool value) {
  SetFlag(FTransparent, value);
}
void TRotateImage::SetUniqueSize(bool value) {
  SetFlag(FUniqueSize, value);
}

void TRotateImage::SetAutoSize(bool value) {
  if (value != FAutoSize) {
    FAutoSize = value;
    if (FAutoSize && !FTurned.Empty()) {
      SetBounds(FTurned.Width(), FTurned.Height());
    }
  }
}

void TRotateImage::SetColor(TColor rgb) {
  if (rgb != FColor) {
    FColor = rgb;
    if (!FLoading) {
      Rebuild();
    }
  }
}

void TRotateImage::SetPicture(const TBitmap24& picture) {
  FPicture = picture;
  PictureChanged();
}

void TRotateImage::EndLoading() {
  FLoading = false;
  PictureChanged();
}

void TRotateImage::SetBounds(int width, int height) {
  FWidth = width;
  FHeight = height;
}

void TRotateImage::PictureChanged() {
  if (FLoading) {
    return;
  }
  Rebuild();
  if (FAutoSize && FPicture.Width() > 0 && FPicture.Height() > 0) {
    SetBounds(FTurned.Width(), FTurned.Height());
  }
}

void TRotateImage::Rebuild() {
  if (FPicture.Width() < 1 || FPicture.Height() < 1) {
    FTurned = TBitmap24();
    return;
  }
  // The picture is opaque, so the work copy drawn over the control's
  // colour is the picture itself.
  TBitmap24 turned = RotateBitmap(FPicture, FColor, static_cast<double>(FAngle));
  if (!FUniqueSize) {
    FTurned = std::move(turned);
    FTurnedTransparent = FTransparent;
    return;
  }
  // A square whose side is the diagonal of the picture enlarged by one pixel
  // on every side: any turn fits, so the size never depends on the angle.
  const long double diagonal =
      std::sqrt(static_cast<long double>(FPicture.Width() + 2) * (FPicture.Width() + 2) +
                static_cast<long double>(FPicture.Height() + 2) * (FPicture.Height() + 2));
  const int side = static_cast<int>(RoundHalfEven(diagonal));
  TBitmap24 square(side, side);
  square.Fill(FColor);
  int left = 0;
  int top = 0;
  if (FCenter && !FStretch) {
    left = (side - turned.Width()) / 2;
    top = (side - turned.Height()) / 2;
  }
  for (int y = 0; y < turned.Height() && top + y < side; ++y) {
    int count = std::min(turned.Width(), side - left);
    std::memcpy(square.Pixel(left, top + y), turned.Row(y), 3 * static_cast<std::size_t>(count));
  }
  FTurned = std::move(square);
  FTurnedTransparent = FTransparent;
}

TRotateImage::TRect TRotateImage::PaintRect() const {
  if (FStretch) {
    return {0, 0, FWidth, FHeight};
  }
  if (FCenter) {
    return {(FWidth - FTurned.Width()) / 2, (FHeight - FTurned.Height()) / 2, FTurned.Width(),
            FTurned.Height()};
  }
  return {0, 0, FTurned.Width(), FTurned.Height()};
}

}  // namespace tavelune
