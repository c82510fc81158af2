// The media framework on FFmpeg: libavformat reads the movie (through the
// project's own read-only file access, never through FFmpeg's protocols),
// libavcodec decodes only the key frame each seek asks for, libswscale turns
// it into the DIB the grabber delivers. The graph around it is the common
// still graph (playback/StillGraph.h); this file is its backend.
//
// Containers without an index (MPEG program streams, raw elementary
// streams) are sought by byte position and may deliver the next key frame
// instead.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "imaging/ToneMap.h"
#include "platform/ByteFile.h"
#include "playback/MediaFramework.h"
#include "playback/StillGraph.h"

namespace tavelune::platform {

namespace {

// Packets read after a seek while looking for a key frame, and key frames
// tried when one does not decode.
constexpr int kMaxPacketsToKeyFrame = 20000;
constexpr int kMaxKeyFramesTried = 3;
constexpr THResult kVfwENoDecompressor = static_cast<THResult>(0x80040269);
constexpr THResult kVfwECannotRender = static_cast<THResult>(0x80040218);

std::string AvErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return text;
}

// The libswscale matrix of a frame's own colour tag. An untagged frame is
// taken as what such a frame usually is: BT.709 from 720 lines up (HD),
// BT.601 below. A tag libswscale has no matrix for is read as untagged.
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

// Whether a frame's luma and chroma use the full 0..255 range (JPEG-style)
// rather than the limited 16..235 of video.
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

// The HDR transfer a frame is tagged with; anything else is SDR.
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

// The brightest a PQ frame gets, in cd/m²: its content light level, else
// its mastering display's peak, else the usual 1000. HLG is relative to the
// display and always takes its nominal 1000.
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

struct TFormatCloser {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct TCodecCloser {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct TPacketFreer {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct TFrameFreer {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct TSwsFreer {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct TIoFreer {
  void operator()(AVIOContext* io) const {
    if (io != nullptr) {
      av_freep(&io->buffer);
    }
    avio_context_free(&io);
  }
};

// The movie's bytes for libavformat: our own read-only, share-everything
// file, so FFmpeg never opens a file or an address by itself.
class TMovieInput {
 public:
  TMovieInput(const std::string& fileName, const TInterruption& interruption)
      : FInterruption(interruption) {
    if (!FFile.Open(fileName, platform::TShareMode::DenyNone)) {
      throw EDirectShowException(static_cast<THResult>(0x80070002), fileName);
    }
    FSize = FFile.Size();
    constexpr int kBufferSize = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer == nullptr) {
      throw EDirectShowException(kEOutOfMemory);
    }
    FIo.reset(avio_alloc_context(buffer, kBufferSize, 0, this, &Read, nullptr, &Seek));
    if (!FIo) {
      av_free(buffer);
      throw EDirectShowException(kEOutOfMemory);
    }
  }
  AVIOContext* Io() const { return FIo.get(); }

 private:
  static int Read(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<TMovieInput*>(opaque);
    if (self->FInterruption.Interrupted()) {
      return AVERROR_EXIT;
    }
    const std::size_t got = self->FFile.Read(buffer, static_cast<std::size_t>(size));
    return got == 0 ? AVERROR_EOF : static_cast<int>(got);
  }
  static std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<TMovieInput*>(opaque);
    std::int64_t target = 0;
    switch (whence & ~AVSEEK_FORCE) {
      case AVSEEK_SIZE:
        return static_cast<std::int64_t>(self->FSize);
      case SEEK_SET:
        target = offset;
        break;
      case SEEK_END:
        target = static_cast<std::int64_t>(self->FSize) + offset;
        break;
      default:
        return AVERROR(EINVAL);
    }
    if (target < 0 || !self->FFile.Seek(static_cast<std::uint64_t>(target))) {
      return AVERROR(EINVAL);
    }
    return target;
  }

  platform::TByteFile FFile;
  std::uint64_t FSize = 0;
  const TInterruption& FInterruption;  // the graph's; outlives the movie
  std::unique_ptr<AVIOContext, TIoFreer> FIo;
};

// Demuxers that follow references (playlists, concatenation lists, movie
// data references) would open other files; none may.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

int InterruptCallback(void* opaque) {
  return static_cast<const TInterruption*>(opaque)->Interrupted() ? 1 : 0;
}

TRefTime DurationOf(const AVFormatContext& format, int videoStream) {
  if (format.duration != AV_NOPTS_VALUE && format.duration > 0) {
    return av_rescale(format.duration, kRefTimePerSecond, AV_TIME_BASE);
  }
  if (videoStream >= 0) {
    const AVStream* stream = format.streams[videoStream];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
      return av_rescale_q(stream->duration, stream->time_base, AVRational{1, kRefTimePerSecond});
    }
  }
  return 0;
}

// One opened movie: demuxer, decoder and scaler.
class TFfmpegSource final : public IStillSource {
 public:
  ~TFfmpegSource() override {
    // The format context reads through Input's I/O context while closing.
    Format.reset();
    Input.reset();
  }

  bool DecodeStill(TRefTime position, int bitCount, const TInterruption& interruption,
                   TStill& still) override {
    const AVFrame* frame = DecodeKeyFrameAt(position, interruption);
    return frame != nullptr && !interruption.Interrupted() && Convert(*frame, bitCount, still);
  }

  std::unique_ptr<TMovieInput> Input;  // destroyed after Format
  std::unique_ptr<AVFormatContext, TFormatCloser> Format;
  std::unique_ptr<AVCodecContext, TCodecCloser> Decoder;
  int VideoStream = -1;

 private:
  const AVFrame* DecodeKeyFrameAt(TRefTime position, const TInterruption& interruption) {
    if (VideoStream < 0 || !FPacket || !FFrame) {
      return nullptr;
    }
    AVFormatContext* format = Format.get();
    const AVStream* stream = format->streams[VideoStream];
    std::int64_t timestamp =
        av_rescale_q(position, AVRational{1, kRefTimePerSecond}, stream->time_base);
    if (stream->start_time != AV_NOPTS_VALUE) {
      timestamp += stream->start_time;
    }
    if (av_seek_frame(format, VideoStream, timestamp, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(format, VideoStream, INT64_MIN, timestamp, INT64_MAX, 0) < 0) {
      return nullptr;
    }
    avcodec_flush_buffers(Decoder.get());
    AVPacket* packet = FPacket.get();
    int keyFramesTried = 0;
    for (int read = 0; read < kMaxPacketsToKeyFrame && keyFramesTried < kMaxKeyFramesTried;
         ++read) {
      if (interruption.Interrupted() || av_read_frame(format, packet) < 0) {
        return nullptr;
      }
      const bool wanted = packet->stream_index == VideoStream &&
                          (packet->flags & AV_PKT_FLAG_KEY) != 0 &&
                          (packet->flags & AV_PKT_FLAG_CORRUPT) == 0;
      if (!wanted) {
        av_packet_unref(packet);
        continue;
      }
      ++keyFramesTried;
      // The key frame's packet alone, then a drain: one frame decoded.
      const int sent = avcodec_send_packet(Decoder.get(), packet);
      av_packet_unref(packet);
      if (sent >= 0 && avcodec_send_packet(Decoder.get(), nullptr) >= 0 &&
          avcodec_receive_frame(Decoder.get(), FFrame.get()) >= 0) {
        return FFrame.get();
      }
      avcodec_flush_buffers(Decoder.get());
    }
    return nullptr;
  }

  bool Convert(const AVFrame& frame, int bitCount, TStill& still) {
    if (frame.width <= 0 || frame.height <= 0 || frame.width > kMaxFrameSide ||
        frame.height > kMaxFrameSide) {
      return false;
    }
    still.Format = {frame.width, frame.height, bitCount};
    const THdrTransfer transfer = HdrTransferOf(frame);
    const bool converted = transfer == THdrTransfer::None
                               ? ConvertToDib(frame, still.Format, still.Image)
                               : ToneMapToDib(frame, transfer, still.Format, still.Image);
    if (!converted) {
      return false;
    }
    const AVStream* stream = Format->streams[VideoStream];
    std::int64_t pts = frame.best_effort_timestamp;
    if (pts != AV_NOPTS_VALUE && stream->start_time != AV_NOPTS_VALUE) {
      pts -= stream->start_time;
    }
    still.SampleTime =
        pts == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(pts) * av_q2d(stream->time_base);
    return true;
  }

  // The scaler from the frame's format to `target`, converting with the
  // frame's own matrix and range (RGB frames need no matrix): libswscale's
  // default would be BT.601, limited range, whatever the stream says. A
  // scaler that refuses the details keeps its default: a still in slightly
  // wrong colours beats no still. `matrix`: the libswscale matrix.
  static SwsContext* ScalerFor(std::unique_ptr<SwsContext, TSwsFreer>& scaler,
                               const AVFrame& frame, AVPixelFormat target, int matrix) {
    scaler.reset(sws_getCachedContext(scaler.release(), frame.width, frame.height,
                                      static_cast<AVPixelFormat>(frame.format), frame.width,
                                      frame.height, target, SWS_BILINEAR, nullptr, nullptr,
                                      nullptr));
    const AVPixFmtDescriptor* format =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (scaler && format != nullptr && (format->flags & AV_PIX_FMT_FLAG_RGB) == 0) {
      // Brightness 0, contrast and saturation 1.0 (16.16 fixed point); the
      // pictures are full-range RGB.
      sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(matrix),
                               IsFullRange(frame) ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                               0, 1 << 16, 1 << 16);
    }
    return scaler.get();
  }

  // An HDR frame as a bottom-up DIB of `format`: converted to 16-bit R'G'B'
  // with its matrix (BT.2020 when untagged, as HDR always is), then tone
  // mapped row by row.
  bool ToneMapToDib(const AVFrame& frame, THdrTransfer transfer, const TDibFormat& format,
                    std::vector<std::uint8_t>& image) {
    const int matrix =
        frame.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_BT2020 : ColorMatrixOf(frame);
    SwsContext* scaler = ScalerFor(FHdrScaler, frame, AV_PIX_FMT_RGB48, matrix);
    if (scaler == nullptr) {
      return false;
    }
    // Rows padded to 64 bytes, with slack for the scaler's blocks.
    const std::size_t rowValues = (static_cast<std::size_t>(frame.width) * 3 + 31) & ~std::size_t{31};
    FRgb48.resize(rowValues * frame.height + 32);
    std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(FRgb48.data()), nullptr, nullptr,
                               nullptr};
    int strides[4] = {static_cast<int>(rowValues * 2), 0, 0, 0};
    if (sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, planes, strides) !=
        frame.height) {
      return false;
    }
    const double peak = PeakNitsOf(frame);
    if (!FToneMapper || FToneMapTransfer != transfer || FToneMapPeak != peak) {
      FToneMapper = std::make_unique<TToneMapper>(transfer, peak);
      FToneMapTransfer = transfer;
      FToneMapPeak = peak;
    }
    image.resize(format.ImageSize());
    const std::size_t stride = format.Stride();
    for (int row = 0; row < frame.height; ++row) {
      FToneMapper->MapRow(FRgb48.data() + row * rowValues, frame.width,
                          image.data() + static_cast<std::size_t>(frame.height - 1 - row) * stride,
                          format.BitCount / 8);
    }
    return true;
  }

  // The frame as a bottom-up DIB of `format`. libswscale may write a little
  // past the end of a row, up to its block of pixels: rows whose width is a
  // whole number of blocks are written straight into the DIB (bottom-up,
  // through a negative stride, with slack after the buffer's end), other
  // widths go through padded rows and are copied.
  bool ConvertToDib(const AVFrame& frame, const TDibFormat& format,
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

  std::unique_ptr<SwsContext, TSwsFreer> FScaler;
  // HDR frames: their own scaler, the 16-bit R'G'B' rows it makes, and the
  // mapper for the transfer and peak of the last such frame.
  std::unique_ptr<SwsContext, TSwsFreer> FHdrScaler;
  std::vector<std::uint16_t> FRgb48;
  std::unique_ptr<TToneMapper> FToneMapper;
  THdrTransfer FToneMapTransfer = THdrTransfer::None;
  double FToneMapPeak = 0;
  std::unique_ptr<AVPacket, TPacketFreer> FPacket{av_packet_alloc()};
  std::unique_ptr<AVFrame, TFrameFreer> FFrame{av_frame_alloc()};
  std::vector<std::uint8_t> FConverted;  // the scaler's padded output rows
};

class TFfmpegBackend final : public IStillBackend {
 public:
  TOpenedSource Open(const std::string& fileName, const TInterruption& interruption) override {
    auto movie = std::make_unique<TFfmpegSource>();
    TOpenedSource opened;
    opened.Result = OpenMovie(*movie, fileName, interruption, opened.Duration);
    opened.Source = std::move(movie);
    return opened;
  }

 private:
  static THResult OpenMovie(TFfmpegSource& movie, const std::string& fileName,
                            const TInterruption& interruption, TRefTime& duration) {
    movie.Input = std::make_unique<TMovieInput>(fileName, interruption);
    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr) {
      throw EDirectShowException(kEOutOfMemory);
    }
    format->pb = movie.Input->Io();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->io_open = &RefuseNestedOpen;
    format->interrupt_callback.callback = &InterruptCallback;
    format->interrupt_callback.opaque = const_cast<TInterruption*>(&interruption);
    int error = avformat_open_input(&format, fileName.c_str(), nullptr, nullptr);
    if (error < 0) {  // the context is freed on failure
      throw EDirectShowException(error == AVERROR_EXIT ? kVfwETimeout : kVfwEUnsupportedStream,
                                 AvErrorText(error));
    }
    movie.Format.reset(format);
    // Some files decode well without all stream details; go on regardless.
    avformat_find_stream_info(format, nullptr);
    if (interruption.Interrupted()) {
      throw EDirectShowException(kVfwETimeout, "opening the movie took too long");
    }

    bool hasAudio = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const AVStream* stream = format->streams[i];
      if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
        hasAudio = true;
      }
      if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
          (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 && movie.VideoStream < 0) {
        movie.VideoStream = static_cast<int>(i);
      }
    }
    duration = DurationOf(*format, movie.VideoStream);
    if (movie.VideoStream < 0) {
      if (!hasAudio) {
        throw EDirectShowException(kVfwECannotRender, "the file holds no video and no sound");
      }
      return kVfwSVideoNotRendered;
    }
    const AVCodecParameters* parameters = format->streams[movie.VideoStream]->codecpar;
    if (parameters->width > kMaxFrameSide || parameters->height > kMaxFrameSide) {
      throw EDirectShowException(kVfwEUnsupportedStream,
                                 "frame size " + std::to_string(parameters->width) + "x" +
                                     std::to_string(parameters->height) + " is too large");
    }
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) {
      if (hasAudio) {
        movie.VideoStream = -1;
        return kVfwSPartialRender;
      }
      throw EDirectShowException(kVfwENoDecompressor, avcodec_get_name(parameters->codec_id));
    }
    movie.Decoder.reset(avcodec_alloc_context3(codec));
    if (!movie.Decoder || avcodec_parameters_to_context(movie.Decoder.get(), parameters) < 0) {
      throw EDirectShowException(kEOutOfMemory);
    }
    // Slice threads only: one frame is decoded per seek, and frame threads
    // would hold a frame per thread for nothing.
    movie.Decoder->thread_type = FF_THREAD_SLICE;
    movie.Decoder->thread_count = 0;
    av_opt_set_int(movie.Decoder.get(), "max_pixels",
                   static_cast<std::int64_t>(kMaxFrameSide) * kMaxFrameSide, 0);
    error = avcodec_open2(movie.Decoder.get(), codec, nullptr);
    if (error < 0) {
      throw EDirectShowException(kVfwENoDecompressor, AvErrorText(error));
    }
    return kSOk;
  }
};

}  // namespace

std::unique_ptr<IMediaFramework> CreateMediaFramework() {
  av_log_set_level(AV_LOG_QUIET);
  return CreateStillGraph(std::make_unique<TFfmpegBackend>());
}

}  // namespace tavelune::platform
