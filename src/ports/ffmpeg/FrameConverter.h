#pragma once

// Decoded FFmpeg frames turned into the bottom-up DIB rows the grabber
// delivers: through libswscale with the frame's own colour matrix and range,
// and HDR frames (PQ, HLG) tone mapped to SDR on the way. One converter per
// source; it keeps its scalers and buffers from frame to frame. Not
// thread-safe.

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "imaging/ToneMap.h"
#include "playback/StillGraph.h"

namespace tavelune {

// The libswscale matrix of a frame's own colour tag. An untagged frame is
// taken as what such a frame usually is: BT.709 from 720 lines up (HD),
// BT.601 below. A tag libswscale has no matrix for is read as untagged.
int ColorMatrixOf(const AVFrame& frame);
// Whether a frame's luma and chroma use the full 0..255 range (JPEG-style)
// rather than the limited 16..235 of video.
bool IsFullRange(const AVFrame& frame);
// The HDR transfer a frame is tagged with; anything else is SDR.
THdrTransfer HdrTransferOf(const AVFrame& frame);
// The brightest a PQ frame gets, in cd/m²: its content light level, else
// its mastering display's peak, else the usual 1000. HLG is relative to the
// display and always takes its nominal 1000.
double PeakNitsOf(const AVFrame& frame);

struct TSwsFreer {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};

class TFrameConverter {
 public:
  // Writes `frame` into `image` as a bottom-up DIB of `format` (the frame's
  // size, 24 or 32 bits); false when the scaler refuses the frame.
  bool ToDib(const AVFrame& frame, const TDibFormat& format, std::vector<std::uint8_t>& image);

 private:
  static SwsContext* ScalerFor(std::unique_ptr<SwsContext, TSwsFreer>& scaler, const AVFrame& frame,
                               AVPixelFormat target, int matrix);
  // The mapper for the transfer and peak, made anew when they change.
  const TToneMapper& MapperFor(THdrTransfer transfer, double peakNits);
  bool ToneMapToDib(const AVFrame& frame, THdrTransfer transfer, const TDibFormat& format,
                    std::vector<std::uint8_t>& image);
  bool ConvertToDib(const AVFrame& frame, const TDibFormat& format,
                    std::vector<std::uint8_t>& image);

  std::unique_ptr<SwsContext, TSwsFreer> FScaler;
  // HDR frames: their own scaler, the 16-bit R'G'B' rows it makes, and the
  // mapper for the transfer and peak of the last such frame.
  std::unique_ptr<SwsContext, TSwsFreer> FHdrScaler;
  std::vector<std::uint16_t> FRgb48;
  std::unique_ptr<TToneMapper> FToneMapper;
  THdrTransfer FToneMapTransfer = THdrTransfer::None;
  double FToneMapPeak = 0;
  std::vector<std::uint8_t> FConverted;  // the scaler's padded output rows
};

}  // namespace tavelune
