// The media framework on FFmpeg: libavformat reads the movie (through the
// project's own read-only file access, never through FFmpeg's protocols),
// libavcodec decodes only the key frame each seek asks for, and the frame
// converter (ports/ffmpeg/FrameConverter.h) turns it into the DIB the
// grabber delivers. The graph around it is the common
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
#include <libavutil/opt.h>
}

#include "platform/ByteFile.h"
#include "playback/MediaFramework.h"
#include "playback/StillGraph.h"
#include "ports/ffmpeg/FrameConverter.h"

namespace tavelune {

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
      throw EMediaError(static_cast<THResult>(0x80070002), fileName);
    }
    FSize = FFile.Size();
    constexpr int kBufferSize = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer == nullptr) {
      throw EMediaError(kEOutOfMemory);
    }
    FIo.reset(avio_alloc_context(buffer, kBufferSize, 0, this, &Read, nullptr, &Seek));
    if (!FIo) {
      av_free(buffer);
      throw EMediaError(kEOutOfMemory);
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
    if (!FConverter.ToDib(frame, still.Format, still.Image)) {
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

  std::unique_ptr<AVPacket, TPacketFreer> FPacket{av_packet_alloc()};
  std::unique_ptr<AVFrame, TFrameFreer> FFrame{av_frame_alloc()};
  TFrameConverter FConverter;
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
      throw EMediaError(kEOutOfMemory);
    }
    format->pb = movie.Input->Io();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->io_open = &RefuseNestedOpen;
    format->interrupt_callback.callback = &InterruptCallback;
    format->interrupt_callback.opaque = const_cast<TInterruption*>(&interruption);
    int error = avformat_open_input(&format, fileName.c_str(), nullptr, nullptr);
    if (error < 0) {  // the context is freed on failure
      throw EMediaError(error == AVERROR_EXIT ? kVfwETimeout : kVfwEUnsupportedStream,
                        AvErrorText(error));
    }
    movie.Format.reset(format);
    // Some files decode well without all stream details; go on regardless.
    avformat_find_stream_info(format, nullptr);
    if (interruption.Interrupted()) {
      throw EMediaError(kVfwETimeout, "opening the movie took too long");
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
        throw EMediaError(kVfwECannotRender, "the file holds no video and no sound");
      }
      return kVfwSVideoNotRendered;
    }
    const AVCodecParameters* parameters = format->streams[movie.VideoStream]->codecpar;
    if (parameters->width > kMaxFrameSide || parameters->height > kMaxFrameSide) {
      throw EMediaError(kVfwEUnsupportedStream, "frame size " + std::to_string(parameters->width) +
                                                    "x" + std::to_string(parameters->height) +
                                                    " is too large");
    }
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) {
      if (hasAudio) {
        movie.VideoStream = -1;
        return kVfwSPartialRender;
      }
      throw EMediaError(kVfwENoDecompressor, avcodec_get_name(parameters->codec_id));
    }
    movie.Decoder.reset(avcodec_alloc_context3(codec));
    if (!movie.Decoder || avcodec_parameters_to_context(movie.Decoder.get(), parameters) < 0) {
      throw EMediaError(kEOutOfMemory);
    }
    // Slice threads only: one frame is decoded per seek, and frame threads
    // would hold a frame per thread for nothing.
    movie.Decoder->thread_type = FF_THREAD_SLICE;
    movie.Decoder->thread_count = 0;
    av_opt_set_int(movie.Decoder.get(), "max_pixels",
                   static_cast<std::int64_t>(kMaxFrameSide) * kMaxFrameSide, 0);
    error = avcodec_open2(movie.Decoder.get(), codec, nullptr);
    if (error < 0) {
      throw EMediaError(kVfwENoDecompressor, AvErrorText(error));
    }
    return kSOk;
  }
};

}  // namespace

std::unique_ptr<IMediaFramework> CreateMediaFramework() {
  av_log_set_level(AV_LOG_QUIET);
  return CreateStillGraph(std::make_unique<TFfmpegBackend>());
}

}  // namespace tavelune
