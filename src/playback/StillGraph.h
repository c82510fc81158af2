#pragma once

// The media framework's graph as the saver uses it, whatever library
// decodes: a paused graph whose seeks each deliver one still, and a running
// graph whose position only follows the wall clock (the saver runs a graph
// just to learn a movie's length). The decoding library is a backend that
// opens a movie and decodes the still at a position: FFmpeg, on both
// systems; tests use fakes.
//
// Threads: the UI thread calls every interface method of the graph; one
// streaming thread per active graph performs the seeks through the
// backend's source and calls the listener's OnSample. Graph events
// reach the UI thread through Queue.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "playback/MediaGraph.h"

namespace tavelune {

// Frames larger than this on either side are refused before anything is
// allocated for them (8K video is 7680 × 4320).
inline constexpr int kMaxFrameSide = 8192;
// Opening a movie and each seek must finish within these.
inline constexpr auto kOpenDeadline = std::chrono::seconds(8);
inline constexpr auto kSeekDeadline = std::chrono::seconds(5);

// Tells a backend to give up: the movie is being closed, or the deadline
// of the open or seek under way has passed. Any thread.
class TInterruption {
 public:
  bool Aborted() const { return FAbort.load(); }
  bool DeadlinePassed() const;
  bool Interrupted() const { return Aborted() || DeadlinePassed(); }
  // The time left before the deadline (zero when it has passed, an hour
  // when there is none).
  std::chrono::milliseconds Remaining() const;

  void SetAbort(bool abort) { FAbort = abort; }
  void Arm(std::chrono::steady_clock::duration limit);
  void Disarm() { FDeadline = 0; }

 private:
  std::atomic<bool> FAbort{false};
  std::atomic<std::int64_t> FDeadline{0};  // steady clock ticks; 0: none
};

// The layout of a delivered still: a bottom-up DIB whose rows are padded to
// four bytes. BitCount is 24 or 32, or 0 when nothing is connected.
struct TDibFormat {
  int Width = 0;
  int Height = 0;
  int BitCount = 0;
  std::size_t Stride() const {
    return (static_cast<std::size_t>(Width) * (BitCount / 8) + 3) & ~std::size_t{3};
  }
  std::size_t ImageSize() const { return Stride() * static_cast<std::size_t>(Height); }
};

// A decoded still as a backend hands it to the graph.
struct TStill {
  TDibFormat Format;
  std::vector<std::uint8_t> Image;  // Format.ImageSize() bytes
  double SampleTime = 0;            // seconds from the movie's start
};

// One opened movie. Used by one thread at a time: the streaming thread
// while a seek is under way, the UI thread to destroy it.
class IStillSource {
 public:
  virtual ~IStillSource() = default;
  // The key frame at or before `position` (100 ns units) as a still of
  // `bitCount` bits (24 or 32); false when none comes (end of the movie, a
  // damaged frame, no video, or `interruption` said so). `still.Image` may
  // come holding an earlier picture, whose memory is reused.
  virtual bool DecodeStill(TRefTime position, int bitCount, const TInterruption& interruption,
                           TStill& still) = 0;
};

struct TOpenedSource {
  std::unique_ptr<IStillSource> Source;
  TRefTime Duration = 0;   // 100 ns units; 0 when unknown
  THResult Result = kSOk;  // kSOk, or a positive code when only part renders
};

// The decoding library.
class IStillBackend {
 public:
  virtual ~IStillBackend() = default;
  // UI thread: opens `fileName` (system code page). Throws
  // EMediaError when nothing can be rendered; gives up with
  // kVfwETimeout once `interruption` says so.
  virtual TOpenedSource Open(const std::string& fileName, const TInterruption& interruption) = 0;
};

// A graph on `backend`. Created inactive.
std::unique_ptr<IMediaFramework> CreateStillGraph(std::unique_ptr<IStillBackend> backend);

}  // namespace tavelune
