// Playback benchmarks.
//
//   playback_bench segments MOVIE
//     The cost of one segment (seek, one frame, conversion into the grab
//     picture) through the media framework, against the reference loop on
//     plain FFmpeg in this process: seek back to the key frame, feed only
//     its packet, drain the decoder. Prints both medians and ours / anchor.
//
//   playback_bench convert MOVIE
//     The conversion of a decoded key frame into a 32-bit picture with the
//     frame's own colour matrix and range, as the FFmpeg layer converts it,
//     against the plain conversion with libswscale's defaults (BT.601,
//     limited range), on the same frames. Prints both medians and the ratio,
//     then the blank test on the same frames against their conversion.
//
//   playback_bench tonemap MOVIE
//     The conversion of an HDR (PQ or HLG) key frame into a 32-bit picture,
//     tone mapped as the FFmpeg layer does it, against the plain conversion
//     of the same frame with libswscale's defaults. Prints both medians and
//     the ratio.
//
//   playback_bench hold MOVIE SECONDS
//     The CPU time of the whole process while the saver holds a still for
//     SECONDS with a movie open and paused, as a share of one core.

#ifdef _WIN32
#include <windows.h>
#undef DrawText  // the core's painter has a DrawText of its own (Win32SaverWindow.h)
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "ConsoleHost.h"
#include "imaging/BlankPicture.h"
#include "playback/MediaFramework.h"
#include "playback/PlayController.h"
#include "ports/ffmpeg/FrameConverter.h"

namespace tavelune {
namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The reference: the least any player can do for a key frame.
class TReferenceLoop {
 public:
  explicit TReferenceLoop(const std::string& movie) {
    if (avformat_open_input(&FFormat, movie.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(FFormat, nullptr) < 0) {
      throw std::runtime_error("cannot open " + movie);
    }
    const AVCodec* codec = nullptr;
    FStream = av_find_best_stream(FFormat, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    FDecoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(FDecoder, FFormat->streams[FStream]->codecpar);
    FDecoder->thread_type = FF_THREAD_SLICE;
    avcodec_open2(FDecoder, codec, nullptr);
    FPacket = av_packet_alloc();
    FFrame = av_frame_alloc();
  }
  ~TReferenceLoop() {
    av_frame_free(&FFrame);
    av_packet_free(&FPacket);
    avcodec_free_context(&FDecoder);
    avformat_close_input(&FFormat);
  }
  bool KeyFrameAt(TRefTime position) {
    const AVStream* stream = FFormat->streams[FStream];
    av_seek_frame(FFormat, FStream,
                  av_rescale_q(position, AVRational{1, kRefTimePerSecond}, stream->time_base),
                  AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(FDecoder);
    while (av_read_frame(FFormat, FPacket) >= 0) {
      const bool key = FPacket->stream_index == FStream && (FPacket->flags & AV_PKT_FLAG_KEY);
      if (key) {
        avcodec_send_packet(FDecoder, FPacket);
        av_packet_unref(FPacket);
        avcodec_send_packet(FDecoder, nullptr);
        return avcodec_receive_frame(FDecoder, FFrame) >= 0;
      }
      av_packet_unref(FPacket);
    }
    return false;
  }
  // The last key frame decoded.
  const AVFrame& Frame() const { return *FFrame; }

 private:
  AVFormatContext* FFormat = nullptr;
  AVCodecContext* FDecoder = nullptr;
  AVPacket* FPacket = nullptr;
  AVFrame* FFrame = nullptr;
  int FStream = -1;
};

// Converts each delivered frame into the grab picture, as the saver does.
class TGrabbed : public IGraphListener {
 public:
  explicit TGrabbed(ISampleGrabber& grabber) : FGrabber(grabber) {}
  void OnGraphEvent(long) override {}
  void OnEndOfSegment() override {}
  void OnSample(double, const std::uint8_t* buffer, std::size_t length) override {
    TBitmap24 picture;
    if (FGrabber.SampleToBitmap(picture, buffer, length)) {
      ++Frames;
    }
  }
  std::atomic<int> Frames{0};

 private:
  ISampleGrabber& FGrabber;
};

int Segments(const std::string& movie) {
  auto media = CreateMediaFramework();
  TGrabbed grabbed(media->SampleGrabber());
  IFilterGraph& graph = media->FilterGraph();
  media->SampleGrabber().SetMediaSubtype(TMediaSubtype::RGB32);
  media->SampleGrabber().ApplyGrabberType();
  graph.SetListener(&grabbed);
  graph.SetActive(true);
  graph.RenderFile(movie);
  graph.Pause();
  IMediaSeeking* seeking = graph.QueryMediaSeeking();
  TRefTime current = 0;
  TRefTime stop = 0;
  seeking->GetPositions(current, stop);
  TReferenceLoop reference(movie);

  // Segment starts spread over the movie, as a plan of 10 would place them.
  std::vector<TRefTime> positions;
  for (int k = 0; k < 10; ++k) {
    positions.push_back(kFirstSegment + k * ((stop - kFirstSegment) / 10));
  }
  std::vector<double> ours;
  std::vector<double> anchor;
  for (int round = 0; round < 5; ++round) {
    for (TRefTime position : positions) {
      Clock::time_point start = Clock::now();
      reference.KeyFrameAt(position);
      anchor.push_back(Milliseconds(Clock::now() - start));

      start = Clock::now();
      seeking->SetPositions(position, kSegmentSeekFlags, position, kSegmentSeekFlags);
      WaitForSeeks(*media, std::chrono::seconds(30));
      ours.push_back(Milliseconds(Clock::now() - start));
    }
  }
  graph.SetActive(false);
  graph.SetListener(nullptr);
  std::printf("segment: ours %.1f ms (%d frames), reference loop %.1f ms, ratio %.2f\n",
              Median(ours), grabbed.Frames.load(), Median(anchor), Median(ours) / Median(anchor));
  return 0;
}

// Converts frames to BGRA through one cached scaler, with the frame's own
// colours or with libswscale's defaults.
class TConversion {
 public:
  explicit TConversion(bool ownColors) : FOwnColors(ownColors) {}
  ~TConversion() { sws_freeContext(FScaler); }
  TConversion(const TConversion&) = delete;
  TConversion& operator=(const TConversion&) = delete;

  double Milliseconds(const AVFrame& frame) {
    FPixels.resize(static_cast<std::size_t>(frame.width) * frame.height * 4 + 64);
    const Clock::time_point start = Clock::now();
    FScaler = sws_getCachedContext(
        FScaler, frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
        frame.height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (FOwnColors) {
      // What the layer does for an untagged HD frame: BT.709, limited range.
      const int matrix = frame.colorspace == AVCOL_SPC_UNSPECIFIED && frame.height >= 720
                             ? SWS_CS_ITU709
                             : static_cast<int>(frame.colorspace);
      sws_setColorspaceDetails(FScaler, sws_getCoefficients(matrix),
                               frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    std::uint8_t* planes[4] = {FPixels.data(), nullptr, nullptr, nullptr};
    int strides[4] = {frame.width * 4, 0, 0, 0};
    sws_scale(FScaler, frame.data, frame.linesize, 0, frame.height, planes, strides);
    FWidth = frame.width;
    FHeight = frame.height;
    return tavelune::Milliseconds(Clock::now() - start);
  }

  // The last converted frame as the core's picture.
  TBitmap24 Picture() const {
    TBitmap24 picture(FWidth, FHeight);
    for (int y = 0; y < FHeight; ++y) {
      const std::uint8_t* from = FPixels.data() + static_cast<std::size_t>(y) * FWidth * 4;
      for (int x = 0; x < FWidth; ++x) {
        std::copy(from + 4 * x, from + 4 * x + 3, picture.Pixel(x, y));
      }
    }
    return picture;
  }

 private:
  bool FOwnColors;
  int FWidth = 0;
  int FHeight = 0;
  SwsContext* FScaler = nullptr;
  std::vector<std::uint8_t> FPixels;
};

int Convert(const std::string& movie) {
  TReferenceLoop reference(movie);
  TConversion ours(true);
  TConversion anchor(false);
  std::vector<double> oursMs;
  std::vector<double> anchorMs;
  std::vector<double> blankMs;
  int blank = 0;
  for (int round = 0; round < 5; ++round) {
    for (int k = 0; k < 10; ++k) {
      if (!reference.KeyFrameAt(kFirstSegment + k * 10 * kRefTimePerSecond)) {
        continue;
      }
      // Alternated, so that both meet the same caches and the same load.
      if (k % 2 == 0) {
        oursMs.push_back(ours.Milliseconds(reference.Frame()));
        anchorMs.push_back(anchor.Milliseconds(reference.Frame()));
      } else {
        anchorMs.push_back(anchor.Milliseconds(reference.Frame()));
        oursMs.push_back(ours.Milliseconds(reference.Frame()));
      }
      const TBitmap24 picture = ours.Picture();
      const Clock::time_point start = Clock::now();
      blank += IsBlankPicture(picture) ? 1 : 0;
      blankMs.push_back(tavelune::Milliseconds(Clock::now() - start));
    }
  }
  if (oursMs.empty()) {
    std::fprintf(stderr, "playback_bench: no key frame decoded from %s\n", movie.c_str());
    return 1;
  }
  std::printf(
      "conversion: own colours %.2f ms, libswscale defaults %.2f ms, ratio %.2f (%zu frames)\n",
      Median(oursMs), Median(anchorMs), Median(oursMs) / Median(anchorMs), oursMs.size());
  std::printf(
      "blank test: %.3f ms (target 1 ms), against the frame's conversion %.2f ms, ratio %.3f "
      "(%d of %zu frames blank)\n",
      Median(blankMs), Median(oursMs), Median(blankMs) / Median(oursMs), blank, blankMs.size());
  return 0;
}

int ToneMap(const std::string& movie) {
  TReferenceLoop reference(movie);
  TFrameConverter ours;
  TConversion anchor(false);
  std::vector<std::uint8_t> image;
  std::vector<double> oursMs;
  std::vector<double> anchorMs;
  int width = 0;
  int height = 0;
  for (int round = 0; round < 3; ++round) {
    for (int k = 0; k < 5; ++k) {
      if (!reference.KeyFrameAt(kFirstSegment + k * 2 * kRefTimePerSecond)) {
        continue;
      }
      const AVFrame& frame = reference.Frame();
      width = frame.width;
      height = frame.height;
      anchorMs.push_back(anchor.Milliseconds(frame));
      const Clock::time_point start = Clock::now();
      if (!ours.ToDib(frame, {frame.width, frame.height, 32}, image)) {
        std::fprintf(stderr, "playback_bench: the frame did not convert\n");
        return 1;
      }
      oursMs.push_back(tavelune::Milliseconds(Clock::now() - start));
    }
  }
  if (oursMs.empty()) {
    std::fprintf(stderr, "playback_bench: no key frame decoded from %s\n", movie.c_str());
    return 1;
  }
  std::printf(
      "tone mapping %dx%d: ours %.1f ms, plain SDR conversion %.1f ms, ratio %.2f (target 2)\n",
      width, height, Median(oursMs), Median(anchorMs), Median(oursMs) / Median(anchorMs));
  return 0;
}

// The CPU time of the whole process, user and system, in seconds.
double CpuSeconds() {
#ifdef _WIN32
  FILETIME creation{};
  FILETIME exit{};
  FILETIME kernel{};
  FILETIME user{};
  ::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user);
  const auto ticks = [](const FILETIME& time) {
    return static_cast<double>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                               time.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) / 1e7;  // 100 ns units
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#endif
}

class TNoHistory : public IHistoryLog {
 public:
  bool Active() const override { return false; }
  void SetActive(bool) override {}
  void SetLogFileName(std::string) override {}
  bool WriteLine(const std::string&, bool) override { return false; }
  void TrimHistory(std::size_t, const std::atomic<bool>&) override {}
};

int Hold(const std::string& movie, int seconds) {
  auto media = CreateMediaFramework();
  tool::TConsoleHost host;
  TNoHistory history;
  TPlayController player(host, *media, history, host.Window.View());
  IFilterGraph& graph = media->FilterGraph();
  graph.SetActive(true);
  graph.RenderFile(movie);
  graph.Pause();
  graph.QueryMediaSeeking()->SetPositions(kFirstSegment, kSegmentSeekFlags, kFirstSegment,
                                          kSegmentSeekFlags);
  WaitForSeeks(*media, std::chrono::seconds(30));
  player.GrabTimer().SetEnabled(true);  // as after a seek

  const double cpuBefore = CpuSeconds();
  const Clock::time_point start = Clock::now();
  host.Run(player.WaitSeconds(static_cast<std::uint16_t>(seconds)));
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuBefore;
  std::printf("hold: %.1f s held, %.1f ms of CPU, %.3f %% of one core (target 0.1 %%)\n", wall,
              cpu * 1000, 100 * cpu / wall);
  return 0;
}

}  // namespace
}  // namespace tavelune

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "segments") {
    return tavelune::Segments(args[1]);
  }
  if (args.size() == 2 && args[0] == "tonemap") {
    return tavelune::ToneMap(args[1]);
  }
  if (args.size() == 2 && args[0] == "convert") {
    return tavelune::Convert(args[1]);
  }
  if (args.size() == 3 && args[0] == "hold") {
    return tavelune::Hold(args[1], std::stoi(args[2]));
  }
  std::fprintf(stderr,
               "usage: playback_bench segments MOVIE | convert MOVIE | tonemap MOVIE | hold MOVIE "
               "SECONDS\n");
  return 2;
}
