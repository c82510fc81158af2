// The media framework on FFmpeg: libavformat reads the movie (through the
// project's own read-only file access, never through FFmpeg's protocols),
// libavcodec decodes only the key frame each seek asks for, libswscale turns
// it into the DIB the grabber delivers.
//
// Threads: the UI thread calls every interface method; one streaming thread
// per active graph performs the seeks and calls the listener's
// Capture1Buffer. Graph events are handed to the UI thread with Queue.
// FMutex guards everything both threads touch; the demuxer and the decoder
// belong to the streaming thread while FBusy is set and to the UI thread
// otherwise.
//
// What "running" means here: the saver runs a graph only to learn the
// movie's length, never to show it. A running graph's position follows the
// wall clock from where it was, nothing is decoded, and reaching the stop
// position raises the end-of-segment or completion event as the seek's
// flags ask. A seek on a paused graph delivers exactly one frame: the key
// frame at or before the position. Containers without an index (MPEG
// program streams, raw elementary streams) are sought by byte position and
// may deliver the next key frame instead.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "app/Synchronize.h"
#include "imaging/BmpFile.h"
#include "platform/ByteFile.h"
#include "platform/MediaFramework.h"

namespace tavelune::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Frames larger than this on either side are refused before anything is
// allocated for them (8K video is 7680 × 4320).
constexpr int kMaxFrameSide = 8192;
// Opening a movie and each seek must finish within these.
constexpr auto kOpenDeadline = std::chrono::seconds(8);
constexpr auto kSeekDeadline = std::chrono::seconds(5);
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
  TMovieInput(const std::string& fileName, const std::atomic<std::int64_t>& deadline,
              const std::atomic<bool>& abort)
      : FDeadline(deadline), FAbort(abort) {
    if (!FFile.Open(fileName, TShareMode::DenyNone)) {
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
  bool Interrupted() const {
    const std::int64_t deadline = FDeadline.load();
    return FAbort.load() || (deadline != 0 && Clock::now().time_since_epoch().count() > deadline);
  }
  static int Read(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<TMovieInput*>(opaque);
    if (self->Interrupted()) {
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

  TByteFile FFile;
  std::uint64_t FSize = 0;
  const std::atomic<std::int64_t>& FDeadline;
  const std::atomic<bool>& FAbort;
  std::unique_ptr<AVIOContext, TIoFreer> FIo;
};

// Demuxers that follow references (playlists, concatenation lists, movie
// data references) would open other files; none may.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

// One opened movie: demuxer, decoder and scaler. Used by one thread at a
// time (see FBusy).
struct TMovie {
  std::unique_ptr<TMovieInput> Input;  // destroyed after Format
  std::unique_ptr<AVFormatContext, TFormatCloser> Format;
  std::unique_ptr<AVCodecContext, TCodecCloser> Decoder;
  std::unique_ptr<SwsContext, TSwsFreer> Scaler;
  std::unique_ptr<AVPacket, TPacketFreer> Packet{av_packet_alloc()};
  std::unique_ptr<AVFrame, TFrameFreer> Frame{av_frame_alloc()};
  std::vector<std::uint8_t> Converted;  // the scaler's padded output rows
  int VideoStream = -1;
  TRefTime Duration = 0;
  ~TMovie() {
    // The format context reads through Input's I/O context while closing.
    Format.reset();
    Input.reset();
  }
};

// The connected frame format: what SampleToBitmap reads samples as.
struct TConnectedFormat {
  int Width = 0;
  int Height = 0;
  int BitCount = 0;  // 24 or 32; 0 when nothing is connected
  std::size_t Stride() const {
    return (static_cast<std::size_t>(Width) * (BitCount / 8) + 3) & ~std::size_t{3};
  }
  std::size_t ImageSize() const { return Stride() * static_cast<std::size_t>(Height); }
};

// Carries graph events to the UI thread; outlives the graph while events
// are on their way.
struct TEventRelay {
  IGraphListener* Listener = nullptr;  // UI thread only
  // The number of the latest seek on the paused graph (UI thread writes):
  // a no-frame notice of an earlier seek must not end the wait of a later.
  std::atomic<std::uint64_t> LatestSeek{0};
};

class TFfmpegMedia final : public IMediaFramework,
                           public IFilterGraph,
                           public ISampleGrabber,
                           public IVideoWindow,
                           public IMediaSeeking {
 public:
  TFfmpegMedia() : FRelay(std::make_shared<TEventRelay>()) {}
  ~TFfmpegMedia() override {
    FRelay->Listener = nullptr;
    SetActive(false);
  }

  IFilterGraph& FilterGraph() override { return *this; }
  ISampleGrabber& SampleGrabber() override { return *this; }
  IVideoWindow& VideoWindow() override { return *this; }

  // --- IFilterGraph ---
  void SetListener(IGraphListener* listener) override {
    FListener = listener;
    FRelay->Listener = listener;
  }
  bool Active() const override { return FActive; }
  void SetActive(bool active) override {
    if (active == FActive) {
      return;
    }
    if (active) {
      FQuit = false;
      FThread = std::thread([this] { StreamingThread(); });
      FActive = true;
      return;
    }
    CloseMovie();
    {
      std::lock_guard lock(FMutex);
      FQuit = true;
    }
    FWake.notify_all();
    FThread.join();
    FActive = false;
  }
  void EmptyGraph() override {
    if (!FActive) {
      return;
    }
    Stop();
    CloseMovie();
  }
  THResult RenderFile(const std::string& fileName) override {
    if (!FActive) {
      throw EDirectShowException(kVfwEWrongState, "the graph is not active");
    }
    CloseMovie();
    auto movie = std::make_unique<TMovie>();
    FDeadline = (Clock::now() + kOpenDeadline).time_since_epoch().count();
    THResult result = kSOk;
    try {
      result = OpenMovie(*movie, fileName);
    } catch (...) {
      FDeadline = 0;
      throw;
    }
    FDeadline = 0;
    std::lock_guard lock(FMutex);
    FMovie = std::move(movie);
    FState = TState::Stopped;
    FCurrent = 0;
    FStop = FMovie->Duration;
    FSegmentFlag = false;
    return result;
  }
  void Run() override {
    std::lock_guard lock(FMutex);
    if (FMovie && FState != TState::Running) {
      FState = TState::Running;
      FRunBase = FCurrent;
      FRunStart = Clock::now();
      FEndReported = false;
    }
    FWake.notify_all();
  }
  void Pause() override {
    {
      std::lock_guard lock(FMutex);
      if (!FMovie) {
        return;
      }
      FCurrent = PositionNow();
      FState = TState::Paused;
    }
    FWake.notify_all();
    PostEvent(kEcPaused, false);
  }
  void Stop() override {
    std::lock_guard lock(FMutex);
    if (FMovie) {
      FCurrent = PositionNow();
      FState = TState::Stopped;
    }
    FWake.notify_all();
  }
  void SetVolume(int /*volume*/) override {
    // Audio is never decoded: every movie plays muted whatever the volume.
  }
  IMediaSeeking* QueryMediaSeeking() override { return FActive ? this : nullptr; }

  // --- IMediaSeeking ---
  bool GetPositions(TRefTime& current, TRefTime& stop) override {
    std::lock_guard lock(FMutex);
    if (!FMovie) {
      return false;
    }
    current = PositionNow();
    stop = FStop;
    return true;
  }
  bool SetPositions(TRefTime current, std::uint32_t currentFlags, TRefTime stop,
                    std::uint32_t stopFlags) override {
    {
      std::lock_guard lock(FMutex);
      if (!FMovie) {
        return false;
      }
      FCurrent = std::max<TRefTime>(current, 0);
      FStop = stop;
      FSegmentFlag = ((currentFlags | stopFlags) & kSeekingSegment) != 0;
      FRunBase = FCurrent;
      FRunStart = Clock::now();
      FEndReported = false;
      if (FState == TState::Paused) {
        FSeekPending = true;
        FSeekTarget = FCurrent;
        FSeekNumber = ++FRelay->LatestSeek;
      }
    }
    FWake.notify_all();
    return true;
  }

  // --- ISampleGrabber ---
  void SetMediaSubtype(TMediaSubtype subtype) override { FWantedSubtype = subtype; }
  TMediaSubtype MediaSubtype() const override { return FWantedSubtype; }
  void ApplyGrabberType() override {
    std::lock_guard lock(FMutex);
    FAppliedSubtype = FWantedSubtype;
  }
  bool SampleToBitmap(TBitmap24& picture, const std::uint8_t* buffer,
                      std::size_t bufferLength) const override {
    TConnectedFormat format;
    {
      std::lock_guard lock(FMutex);
      format = FFormat;
    }
    if (format.BitCount == 0) {
      return false;
    }
    picture = DibToBitmap(format, buffer, bufferLength);
    return true;
  }

  bool WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(FMutex);
    return FIdle.wait_for(lock, timeout, [this] { return !FSeekPending && !FBusy; });
  }

  // --- IVideoWindow ---
  bool CurrentImageToStream(std::string& stream) override {
    std::lock_guard lock(FMutex);
    if (!FMovie || FCurrentImage.empty() || FCurrentFormat.BitCount == 0) {
      return false;
    }
    stream = EncodeBmp(DibToBitmap(FCurrentFormat, FCurrentImage.data(), FCurrentImage.size()));
    return true;
  }

 private:
  enum class TState { Stopped, Paused, Running };

  static TBitmap24 DibToBitmap(const TConnectedFormat& format, const std::uint8_t* buffer,
                               std::size_t length) {
    TBitmap24 picture(format.Width, format.Height);
    const std::size_t stride = format.Stride();
    const int bytesPerPixel = format.BitCount / 8;
    for (int row = 0; row < format.Height; ++row) {
      const std::size_t start = static_cast<std::size_t>(row) * stride;
      if (start >= length) {
        break;
      }
      const std::size_t available = std::min(length - start, stride) / bytesPerPixel;
      const int pixels = static_cast<int>(std::min<std::size_t>(available, format.Width));
      const std::uint8_t* from = buffer + start;
      std::uint8_t* to = picture.Row(format.Height - 1 - row);  // rows bottom-up
      for (int x = 0; x < pixels; ++x, from += bytesPerPixel, to += 3) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
      }
    }
    return picture;
  }

  // Caller holds FMutex.
  TRefTime PositionNow() const {
    if (FState != TState::Running) {
      return FCurrent;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::duration<TRefTime, std::ratio<1, 10'000'000>>>(
            Clock::now() - FRunStart);
    TRefTime position = FRunBase + elapsed.count();
    return FStop > FRunBase ? std::min(position, FStop) : position;
  }

  THResult OpenMovie(TMovie& movie, const std::string& fileName) {
    movie.Input = std::make_unique<TMovieInput>(fileName, FDeadline, FAbort);
    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr) {
      throw EDirectShowException(kEOutOfMemory);
    }
    format->pb = movie.Input->Io();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->io_open = &RefuseNestedOpen;
    format->interrupt_callback.callback = [](void* opaque) {
      return static_cast<TFfmpegMedia*>(opaque)->Interrupted() ? 1 : 0;
    };
    format->interrupt_callback.opaque = this;
    int error = avformat_open_input(&format, fileName.c_str(), nullptr, nullptr);
    if (error < 0) {  // the context is freed on failure
      throw EDirectShowException(error == AVERROR_EXIT ? kVfwETimeout : kVfwEUnsupportedStream,
                                 AvErrorText(error));
    }
    movie.Format.reset(format);
    // Some files decode well without all stream details; go on regardless.
    avformat_find_stream_info(format, nullptr);
    if (FAbort || DeadlinePassed()) {
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
    movie.Duration = DurationOf(*format, movie.VideoStream);
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
    if (!movie.Packet || !movie.Frame) {
      throw EDirectShowException(kEOutOfMemory);
    }
    return kSOk;
  }

  static TRefTime DurationOf(const AVFormatContext& format, int videoStream) {
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

  bool DeadlinePassed() const {
    const std::int64_t deadline = FDeadline.load();
    return deadline != 0 && Clock::now().time_since_epoch().count() > deadline;
  }
  bool Interrupted() const { return FAbort.load() || DeadlinePassed(); }

  // Makes the streaming thread drop what it does and frees the movie.
  void CloseMovie() {
    std::unique_lock lock(FMutex);
    FAbort = true;
    FSeekPending = false;
    FIdle.wait(lock, [this] { return !FBusy; });
    FMovie.reset();
    FCurrentImage.clear();
    FCurrentImage.shrink_to_fit();
    FFormat = {};
    FCurrentFormat = {};
    FState = TState::Stopped;
    FAbort = false;
  }

  void StreamingThread() {
    std::unique_lock lock(FMutex);
    while (!FQuit) {
      if (FSeekPending && FMovie) {
        FSeekPending = false;
        const TRefTime target = FSeekTarget;
        const TMediaSubtype subtype = FAppliedSubtype;
        const std::uint64_t seek = FSeekNumber;
        FBusy = true;
        lock.unlock();
        DeliverFrameAt(target, subtype, seek);
        lock.lock();
        FBusy = false;
        FIdle.notify_all();
        continue;
      }
      if (FState == TState::Running && FMovie && !FEndReported && FStop > FRunBase) {
        const auto until = FRunStart + std::chrono::duration<TRefTime, std::ratio<1, 10'000'000>>(
                                           FStop - FRunBase);
        if (Clock::now() >= until) {
          FEndReported = true;
          const bool segment = FSegmentFlag;
          lock.unlock();
          PostEvent(segment ? kEcEndOfSegment : kEcComplete, segment);
          lock.lock();
          continue;
        }
        FWake.wait_until(lock, until);
        continue;
      }
      FWake.wait(lock);
    }
  }

  void PostEvent(long code, bool endOfSegment) {
    Queue([relay = FRelay, code, endOfSegment] {
      if (relay->Listener == nullptr) {
        return;
      }
      relay->Listener->FilterG1DSEvent(code);
      if (endOfSegment) {
        relay->Listener->FilterG1GraphEndOfSegment();
      }
    });
  }

  // A seek that delivers nothing says so at once, so that the saver does
  // not wait seconds for a frame of a file that cannot give one.
  void PostNoFrame(std::uint64_t seek) {
    Queue([relay = FRelay, seek] {
      if (relay->Listener != nullptr && relay->LatestSeek == seek) {
        relay->Listener->FilterG1NoFrame();
      }
    });
  }

  // Streaming thread, FBusy set: the movie is this thread's.
  void DeliverFrameAt(TRefTime position, TMediaSubtype subtype, std::uint64_t seek) {
    FDeadline = (Clock::now() + kSeekDeadline).time_since_epoch().count();
    const AVFrame* frame = DecodeKeyFrameAt(*FMovie, position);
    const bool delivered =
        frame != nullptr && !Interrupted() && ConvertAndDeliver(*FMovie, *frame, subtype);
    FDeadline = 0;
    if (!delivered && !FAbort) {  // a movie being closed owes nobody a frame
      PostNoFrame(seek);
    }
  }

  const AVFrame* DecodeKeyFrameAt(TMovie& movie, TRefTime position) {
    if (movie.VideoStream < 0) {
      return nullptr;
    }
    AVFormatContext* format = movie.Format.get();
    const AVStream* stream = format->streams[movie.VideoStream];
    std::int64_t timestamp =
        av_rescale_q(position, AVRational{1, kRefTimePerSecond}, stream->time_base);
    if (stream->start_time != AV_NOPTS_VALUE) {
      timestamp += stream->start_time;
    }
    if (av_seek_frame(format, movie.VideoStream, timestamp, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(format, movie.VideoStream, INT64_MIN, timestamp, INT64_MAX, 0) < 0) {
      return nullptr;
    }
    avcodec_flush_buffers(movie.Decoder.get());
    AVPacket* packet = movie.Packet.get();
    int keyFramesTried = 0;
    for (int read = 0; read < kMaxPacketsToKeyFrame && keyFramesTried < kMaxKeyFramesTried;
         ++read) {
      if (Interrupted() || av_read_frame(format, packet) < 0) {
        return nullptr;
      }
      const bool wanted = packet->stream_index == movie.VideoStream &&
                          (packet->flags & AV_PKT_FLAG_KEY) != 0 &&
                          (packet->flags & AV_PKT_FLAG_CORRUPT) == 0;
      if (!wanted) {
        av_packet_unref(packet);
        continue;
      }
      ++keyFramesTried;
      // The key frame's packet alone, then a drain: one frame decoded.
      const int sent = avcodec_send_packet(movie.Decoder.get(), packet);
      av_packet_unref(packet);
      if (sent >= 0 && avcodec_send_packet(movie.Decoder.get(), nullptr) >= 0 &&
          avcodec_receive_frame(movie.Decoder.get(), movie.Frame.get()) >= 0) {
        return movie.Frame.get();
      }
      avcodec_flush_buffers(movie.Decoder.get());
    }
    return nullptr;
  }

  // True when the frame reached the listener.
  bool ConvertAndDeliver(TMovie& movie, const AVFrame& frame, TMediaSubtype subtype) {
    if (frame.width <= 0 || frame.height <= 0 || frame.width > kMaxFrameSide ||
        frame.height > kMaxFrameSide) {
      return false;
    }
    TConnectedFormat format;
    format.Width = frame.width;
    format.Height = frame.height;
    format.BitCount = subtype == TMediaSubtype::RGB24 ? 24 : 32;
    const AVPixelFormat target =
        subtype == TMediaSubtype::RGB24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
    movie.Scaler.reset(sws_getCachedContext(
        movie.Scaler.release(), frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
        frame.width, frame.height, target, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!movie.Scaler) {
      return false;
    }
    {
      // The last frame is let go first: a 4K frame is tens of megabytes.
      std::lock_guard lock(FMutex);
      FCurrentImage = {};
      FCurrentFormat = {};
    }
    std::vector<std::uint8_t> image;
    if (!ConvertToDib(movie, frame, format, image)) {
      return false;
    }
    const AVStream* stream = movie.Format->streams[movie.VideoStream];
    std::int64_t pts = frame.best_effort_timestamp;
    if (pts != AV_NOPTS_VALUE && stream->start_time != AV_NOPTS_VALUE) {
      pts -= stream->start_time;
    }
    const double sampleTime =
        pts == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(pts) * av_q2d(stream->time_base);
    {
      std::lock_guard lock(FMutex);
      FFormat = format;
    }
    if (IGraphListener* listener = FListener.load()) {
      listener->Capture1Buffer(sampleTime, image.data(), image.size());
    }
    std::lock_guard lock(FMutex);
    FCurrentFormat = format;
    FCurrentImage = std::move(image);
    return true;
  }

  // The frame as a bottom-up DIB of `format`. libswscale may write a little
  // past the end of a row, up to its block of pixels: rows whose width is a
  // whole number of blocks are written straight into the DIB (bottom-up,
  // through a negative stride, with slack after the buffer's end), other
  // widths go through padded rows and are copied.
  static bool ConvertToDib(TMovie& movie, const AVFrame& frame, const TConnectedFormat& format,
                           std::vector<std::uint8_t>& image) {
    constexpr std::size_t kSlack = 64;
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * (format.BitCount / 8);
    const std::size_t stride = format.Stride();
    const bool direct = frame.width % 32 == 0;
    const std::size_t paddedStride = direct ? stride : (rowBytes + kSlack + 63) & ~std::size_t{63};
    std::vector<std::uint8_t>& target = direct ? image : movie.Converted;
    target.resize((direct ? format.ImageSize() : paddedStride * frame.height) + kSlack);
    std::uint8_t* planes[4] = {target.data(), nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(paddedStride), 0, 0, 0};
    if (direct) {
      planes[0] = target.data() + static_cast<std::size_t>(frame.height - 1) * stride;
      strides[0] = -static_cast<int>(stride);
    }
    if (sws_scale(movie.Scaler.get(), frame.data, frame.linesize, 0, frame.height, planes,
                  strides) != frame.height) {
      return false;
    }
    if (!direct) {
      image.resize(format.ImageSize());
      for (int row = 0; row < frame.height; ++row) {
        std::memcpy(image.data() + static_cast<std::size_t>(frame.height - 1 - row) * stride,
                    movie.Converted.data() + static_cast<std::size_t>(row) * paddedStride,
                    rowBytes);
      }
    }
    image.resize(format.ImageSize());  // the slack is not part of the sample
    return true;
  }

  std::shared_ptr<TEventRelay> FRelay;
  // Set on the UI thread, read by the streaming thread.
  std::atomic<IGraphListener*> FListener{nullptr};
  bool FActive = false;
  TMediaSubtype FWantedSubtype = TMediaSubtype::RGB32;

  mutable std::mutex FMutex;
  std::condition_variable FWake;  // work for the streaming thread
  std::condition_variable FIdle;  // the streaming thread let go of the movie
  std::thread FThread;
  bool FQuit = false;
  bool FBusy = false;
  std::unique_ptr<TMovie> FMovie;
  TMediaSubtype FAppliedSubtype = TMediaSubtype::RGB32;
  TState FState = TState::Stopped;
  TRefTime FCurrent = 0;
  TRefTime FStop = 0;
  TRefTime FRunBase = 0;
  Clock::time_point FRunStart;
  bool FSegmentFlag = false;
  bool FEndReported = false;
  bool FSeekPending = false;
  TRefTime FSeekTarget = 0;
  std::uint64_t FSeekNumber = 0;    // of the pending seek
  TConnectedFormat FFormat;         // of the samples delivered
  TConnectedFormat FCurrentFormat;  // of FCurrentImage
  std::vector<std::uint8_t> FCurrentImage;

  std::atomic<bool> FAbort{false};
  std::atomic<std::int64_t> FDeadline{0};  // steady clock ticks; 0: none
};

}  // namespace

bool WaitForSeeks(IMediaFramework& media, std::chrono::milliseconds timeout) {
  auto* ffmpeg = dynamic_cast<TFfmpegMedia*>(&media);
  return ffmpeg == nullptr || ffmpeg->WaitIdle(timeout);
}

std::unique_ptr<IMediaFramework> CreateMediaFramework() {
  av_log_set_level(AV_LOG_QUIET);
  return std::make_unique<TFfmpegMedia>();
}

}  // namespace tavelune::platform
