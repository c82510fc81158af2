#include "ports/ffmpeg/FrameConverter.h"

#include <cstring>
#include <functional>
#include <system_error>
#include <thread>

extern "C" {
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
}

namespace tavelune {

int ColorMatrixOf(const AVFrame& frame) {
  switch (frame.colorspace) {
    case AVCOL_SPC_BT709:
      return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
      return SWS_CS_ITU601;
    case AVCOL_SPC_FCC:
      return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
      return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return SWS_CS_BT2020;
    default:
      return frame.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
  }
}

bool IsFullRange(const AVFrame& frame) {
  switch (static_cast<AVPixelFormat>(frame.format)) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
      return true;
    default:
      return frame.color_range == AVCOL_RANGE_JPEG;
  }
}

THdrTransfer HdrTransferOf(const AVFrame& frame) {
  switch (frame.color_trc) {
    case AVCOL_TRC_SMPTE2084:
      return THdrTransfer::Pq;
    case AVCOL_TRC_ARIB_STD_B67:
      return THdrTransfer::Hlg;
    default:
      return THdrTransfer::None;
  }
}

double PeakNitsOf(const AVFrame& frame) {
  if (HdrTransferOf(frame) != THdrTransfer::Pq) {
    return kDefaultPeakNits;
  }
  if (const AVFrameSideData* side =
          av_frame_get_side_data(&frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL)) {
    const auto* light = reinterpret_cast<const AVContentLightMetadata*>(side->data);
    if (side->size >= sizeof *light && light->MaxCLL > 0) {
      return light->MaxCLL;
    }
  }
  if (const AVFrameSideData* side =
          av_frame_get_side_data(&frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA)) {
    const auto* display = reinterpret_cast<const AVMasteringDisplayMetadata*>(side->data);
    if (side->size >= sizeof *display && display->has_luminance &&
        display->max_luminance.den != 0 && av_q2d(display->max_luminance) > 0) {
      return av_q2d(display->max_luminance);
    }
  }
  return kDefaultPeakNits;
}

bool TFrameConverter::ToDib(const AVFrame& frame, const TDibFormat& format,
                            std::vector<std::uint8_t>& image) {
  const THdrTransfer transfer = HdrTransferOf(frame);
  return transfer == THdrTransfer::None ? ConvertToDib(frame, format, image)
                                        : ToneMapToDib(frame, transfer, format, image);
}

// The scaler from the frame's format to `target`, converting with the
// frame's own matrix and range (RGB frames need no matrix): libswscale's
// default would be BT.601, limited range, whatever the stream says. A
// scaler that refuses the details keeps its default: a still in slightly
// wrong colours beats no still. `matrix`: the libswscale matrix.
SwsContext* TFrameConverter::ScalerFor(std::unique_ptr<SwsContext, TSwsFreer>& scaler,
                                       const AVFrame& frame, AVPixelFormat target, int matrix) {
  scaler.reset(sws_getCachedContext(scaler.release(), frame.width, frame.height,
                                    static_cast<AVPixelFormat>(frame.format), frame.width,
                                    frame.height, target, SWS_BILINEAR, nullptr, nullptr, nullptr));
  const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  if (scaler && format != nullptr && (format->flags & AV_PIX_FMT_FLAG_RGB) == 0) {
    // Brightness 0, contrast and saturation 1.0 (16.16 fixed point); the
    // pictures are full-range RGB.
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(matrix), IsFullRange(frame) ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  }
  return scaler.get();
}

namespace {

// The luma weights of red and blue for a frame's matrix; HDR frames that do
// not say are BT.2020, as HDR always is.
void YuvWeightsOf(const AVFrame& frame, TYuvCoding& coding) {
  switch (frame.colorspace) {
    case AVCOL_SPC_BT709:
      coding.Kr = 0.2126, coding.Kb = 0.0722;
      break;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
      coding.Kr = 0.299, coding.Kb = 0.114;
      break;
    case AVCOL_SPC_FCC:
      coding.Kr = 0.30, coding.Kb = 0.11;
      break;
    case AVCOL_SPC_SMPTE240M:
      coding.Kr = 0.212, coding.Kb = 0.087;
      break;
    default:
      coding.Kr = 0.2627, coding.Kb = 0.0593;
      break;
  }
}

// What HDR movies decode to in software: three planes of native 16-bit
// samples (9 to 16 bits of them), chroma at full or half width. Those are
// mapped straight from their planes; anything else goes through
// libswscale first.
bool IsPlanarHighDepthYuv(const AVPixFmtDescriptor& format) {
  constexpr std::uint64_t kRefused = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_BE |
                                     AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                                     AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_ALPHA;
  if (format.nb_components != 3 || (format.flags & kRefused) != 0 ||
      (format.flags & AV_PIX_FMT_FLAG_PLANAR) == 0 || format.log2_chroma_w > 1) {
    return false;
  }
  for (int c = 0; c < 3; ++c) {
    const AVComponentDescriptor& component = format.comp[c];
    if (component.plane != c || component.step != 2 || component.shift != 0 ||
        component.offset != 0 || component.depth < 9 || component.depth > 16 ||
        component.depth != format.comp[0].depth) {
      return false;
    }
  }
  return true;
}

template <typename T>
const T* RowOf(const AVFrame& frame, int plane, int row) {
  return reinterpret_cast<const T*>(frame.data[plane] +
                                    static_cast<std::ptrdiff_t>(row) * frame.linesize[plane]);
}

// Runs `map` over rows [0, rows): a large picture's first half on a
// thread of its own, the rest here. UI and streaming threads both call this;
// `map` must be safe on two threads at once.
void MapRowsInHalves(int rows, std::size_t pixels, const std::function<void(int, int)>& map) {
  constexpr std::size_t kWorthAThread = 1u << 20;
  if (pixels >= kWorthAThread && std::thread::hardware_concurrency() > 1) {
    try {
      std::thread firstHalf(map, 0, rows / 2);
      map(rows / 2, rows);
      firstHalf.join();
      return;
    } catch (const std::system_error&) {
      // No thread to be had: all of it here.
    }
  }
  map(0, rows);
}

}  // namespace

const TToneMapper& TFrameConverter::MapperFor(THdrTransfer transfer, double peakNits) {
  if (!FToneMapper || FToneMapTransfer != transfer || FToneMapPeak != peakNits) {
    FToneMapper = std::make_unique<TToneMapper>(transfer, peakNits);
    FToneMapTransfer = transfer;
    FToneMapPeak = peakNits;
  }
  return *FToneMapper;
}

// An HDR frame as a bottom-up DIB of `format`, tone mapped row by row:
// straight from the planes of the usual high-depth YUV, or from the 16-bit
// R'G'B' that libswscale makes of anything else.
bool TFrameConverter::ToneMapToDib(const AVFrame& frame, THdrTransfer transfer,
                                   const TDibFormat& format, std::vector<std::uint8_t>& image) {
  const TToneMapper& mapper = MapperFor(transfer, PeakNitsOf(frame));
  const AVPixFmtDescriptor* pixels = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  if (pixels == nullptr) {
    return false;
  }
  const std::size_t stride = format.Stride();
  const int bytesPerPixel = format.BitCount / 8;
  const auto dibRow = [&](int row) {
    return image.data() + static_cast<std::size_t>(frame.height - 1 - row) * stride;
  };
  std::function<void(int, int)> map;
  TYuvCoding coding;
  std::size_t rowValues = 0;
  if (IsPlanarHighDepthYuv(*pixels)) {
    YuvWeightsOf(frame, coding);
    coding.Bits = pixels->comp[0].depth;
    coding.FullRange = IsFullRange(frame);
    map = [&](int first, int last) {
      for (int row = first; row < last; ++row) {
        const int chromaRow = row >> pixels->log2_chroma_h;
        mapper.MapYuvRow(RowOf<std::uint16_t>(frame, 0, row),
                         RowOf<std::uint16_t>(frame, 1, chromaRow),
                         RowOf<std::uint16_t>(frame, 2, chromaRow), pixels->log2_chroma_w,
                         frame.width, coding, dibRow(row), bytesPerPixel);
      }
    };
  } else {
    const int matrix =
        frame.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_BT2020 : ColorMatrixOf(frame);
    SwsContext* scaler = ScalerFor(FHdrScaler, frame, AV_PIX_FMT_RGB48, matrix);
    if (scaler == nullptr) {
      return false;
    }
    // Rows padded to 64 bytes, with slack for the scaler's blocks.
    rowValues = (static_cast<std::size_t>(frame.width) * 3 + 31) & ~std::size_t{31};
    FRgb48.resize(rowValues * frame.height + 32);
    std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(FRgb48.data()), nullptr, nullptr,
                               nullptr};
    int strides[4] = {static_cast<int>(rowValues * 2), 0, 0, 0};
    if (sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, planes, strides) !=
        frame.height) {
      return false;
    }
    map = [&](int first, int last) {
      for (int row = first; row < last; ++row) {
        mapper.MapRow(FRgb48.data() + row * rowValues, frame.width, dibRow(row), bytesPerPixel);
      }
    };
  }
  image.resize(format.ImageSize());
  MapRowsInHalves(frame.height, static_cast<std::size_t>(frame.width) * frame.height, map);
  return true;
}

// The frame as a bottom-up DIB of `format`. libswscale may write a little
// past the end of a row, up to its block of pixels: rows whose width is a
// whole number of blocks are written straight into the DIB (bottom-up,
// through a negative stride, with slack after the buffer's end), other
// widths go through padded rows and are copied.
bool TFrameConverter::ConvertToDib(const AVFrame& frame, const TDibFormat& format,
                                   std::vector<std::uint8_t>& image) {
  const AVPixelFormat pixels = format.BitCount == 24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
  if (ScalerFor(FScaler, frame, pixels, ColorMatrixOf(frame)) == nullptr) {
    return false;
  }
  constexpr std::size_t kSlack = 64;
  const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * (format.BitCount / 8);
  const std::size_t stride = format.Stride();
  const bool direct = frame.width % 32 == 0;
  const std::size_t paddedStride = direct ? stride : (rowBytes + kSlack + 63) & ~std::size_t{63};
  std::vector<std::uint8_t>& target = direct ? image : FConverted;
  target.resize((direct ? format.ImageSize() : paddedStride * frame.height) + kSlack);
  std::uint8_t* planes[4] = {target.data(), nullptr, nullptr, nullptr};
  int strides[4] = {static_cast<int>(paddedStride), 0, 0, 0};
  if (direct) {
    planes[0] = target.data() + static_cast<std::size_t>(frame.height - 1) * stride;
    strides[0] = -static_cast<int>(stride);
  }
  if (sws_scale(FScaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) !=
      frame.height) {
    return false;
  }
  if (!direct) {
    image.resize(format.ImageSize());
    for (int row = 0; row < frame.height; ++row) {
      std::memcpy(image.data() + static_cast<std::size_t>(frame.height - 1 - row) * stride,
                  FConverted.data() + static_cast<std::size_t>(row) * paddedStride, rowBytes);
    }
  }
  image.resize(format.ImageSize());  // the slack is not part of the sample
  return true;
}

}  // namespace tavelune
