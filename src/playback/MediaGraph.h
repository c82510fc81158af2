#pragma once

// The media layer as the saver uses it: a graph that opens one movie, a
// grabber that hands decoded frames to the saver and a frame source that
// can tell the current frame. Nothing is
// ever shown moving: the graph is run only long enough to learn the movie's
// length, then paused, and each seek on the paused graph delivers one frame.
//
// Positions are 64-bit signed counts of 100 ns (10 000 000 per second).
// Every method is called on the UI thread except where it says otherwise.
// The media layer (ports/ffmpeg/, on both systems) implements the three
// interfaces; tests use a scripted fake.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "imaging/Bitmap.h"

namespace tavelune {

using TRefTime = std::int64_t;
inline constexpr TRefTime kRefTimePerSecond = 10'000'000;

// Days since 1899-12-30 for a count of 100 ns, divided ÷ 10 000 000 ÷ 24
// ÷ 60 ÷ 60 in the extended type and stored as a double; that route
// decides how a whole number of seconds rounds.
double RefTimeToDays(TRefTime value);

// Seeking flags of SetPositions.
inline constexpr std::uint32_t kSeekingAbsolutePositioning = 0x01;
inline constexpr std::uint32_t kSeekingSeekToKeyFrame = 0x04;
inline constexpr std::uint32_t kSeekingSegment = 0x10;
inline constexpr std::uint32_t kSegmentSeekFlags =
    kSeekingAbsolutePositioning | kSeekingSeekToKeyFrame | kSeekingSegment;

// Result codes, with the values of the framework the saver was made for so
// that history and error texts read the same everywhere.
using THResult = std::int32_t;
inline constexpr THResult kSOk = 0;
inline constexpr THResult kVfwSPartialRender = 0x00040242;
inline constexpr THResult kVfwSAudioNotRendered = 0x00040258;
inline constexpr THResult kVfwSVideoNotRendered = 0x00040257;
inline constexpr THResult kVfwEUnsupportedStream = static_cast<THResult>(0x80040265);
inline constexpr THResult kVfwENotFound = static_cast<THResult>(0x80040216);
inline constexpr THResult kVfwETimeout = static_cast<THResult>(0x8004022E);
inline constexpr THResult kVfwEWrongState = static_cast<THResult>(0x80040227);
inline constexpr THResult kEOutOfMemory = static_cast<THResult>(0x8007000E);
inline constexpr THResult kEFail = static_cast<THResult>(0x80004005);

// Graph event codes delivered to the event handlers.
inline constexpr long kEcComplete = 0x01;
inline constexpr long kEcPaused = 0x0E;
inline constexpr long kEcEndOfSegment = 0x1C;

// A failure code of the framework: the message is the framework's text for
// the code followed by " ($<code in hex>)." and the code is kept.
class EMediaError : public std::runtime_error {
 public:
  // `detail`, when not empty, tells what the platform's library said and is
  // put between the code's text and the code.
  EMediaError(THResult code, const std::string& detail = {});
  THResult Code() const { return FCode; }

 private:
  THResult FCode;
};

// The framework's text for a code ("Unspecified error" for one it does not know).
std::string DirectShowErrorText(THResult code);

// The graph's seeking interface: results are true on success; a failed
// query leaves the caller's values alone.
class IMediaSeeking {
 public:
  virtual ~IMediaSeeking() = default;
  virtual bool GetPositions(TRefTime& current, TRefTime& stop) = 0;
  virtual bool SetPositions(TRefTime current, std::uint32_t currentFlags, TRefTime stop,
                            std::uint32_t stopFlags) = 0;
};

// Who hears the graph: events on the UI thread, frames on the streaming
// thread. The saver window implements it; it outlives the graph's run.
class IGraphListener {
 public:
  virtual ~IGraphListener() = default;
  // UI thread: every event the graph reports, and end of segment (which is
  // also reported as an event).
  virtual void OnGraphEvent(long eventCode) = 0;
  virtual void OnEndOfSegment() = 0;
  // UI thread: the latest seek on the paused graph delivers no frame (the
  // demuxer hit the end or an error, the decoder gave nothing for the key
  // frame, or the movie has no video), so nobody need wait for one.
  virtual void OnNoFrame() {}
  // Streaming thread, one call at a time: a sample passing the grabber.
  // `sampleTime` is its time in seconds; the bytes are valid during the call.
  virtual void OnSample(double sampleTime, const std::uint8_t* buffer,
                        std::size_t bufferLength) = 0;
};

enum class TMediaSubtype { RGB24, RGB32 };

// The graph: one movie at a time, muted, rendered into a 1 × 1 window.
class IFilterGraph {
 public:
  virtual ~IFilterGraph() = default;
  virtual void SetListener(IGraphListener* listener) = 0;

  virtual bool Active() const = 0;
  // true builds an empty graph with the grabber and the video window in it;
  // false releases it (and the movie).
  virtual void SetActive(bool active) = 0;
  // Stops, then takes the movie out of the graph. Throws EMediaError.
  virtual void EmptyGraph() = 0;
  // Opens `fileName` (system code page) and connects its video to the
  // grabber. Returns kSOk, or a positive code when only part of the file
  // could be rendered; throws EMediaError when nothing could.
  virtual THResult RenderFile(const std::string& fileName) = 0;
  // Throw EMediaError on a failure code.
  virtual void Run() = 0;
  virtual void Pause() = 0;
  virtual void Stop() = 0;
  // 0 (silence) to 10 000 (full volume).
  virtual void SetVolume(int volume) = 0;
  // The seeking interface of the graph, owned by the graph and valid until
  // it is made inactive; nullptr when the graph has none.
  virtual IMediaSeeking* QueryMediaSeeking() = 0;
};

// The grabber: which frame format it asks for, and the conversion of the
// samples it passes into pictures.
class ISampleGrabber {
 public:
  virtual ~ISampleGrabber() = default;
  // The subtype asked for from the next ApplyGrabberType on.
  virtual void SetMediaSubtype(TMediaSubtype subtype) = 0;
  virtual TMediaSubtype MediaSubtype() const = 0;
  // Takes the subtype into use for the next movie rendered.
  virtual void ApplyGrabberType() = 0;
  // A sample of the connected format (bottom-up DIB rows, 24 or 32 bits) as
  // a picture; at most one image of bytes is taken from the buffer, a short
  // buffer leaves the rest black. False when no format is connected. Any
  // thread.
  virtual bool SampleToBitmap(TBitmap24& picture, const std::uint8_t* buffer,
                              std::size_t bufferLength) const = 0;
};

// The video window: the frame the graph last delivered.
class IFrameSource {
 public:
  virtual ~IFrameSource() = default;
  // The current frame as a complete 24-bit BMP file; false without a movie
  // or before any frame was delivered.
  virtual bool CurrentImageToStream(std::string& stream) = 0;
};

// The three bound components of one graph, made by the platform's factory
// (one object may implement all three). The saver window owns it.
class IMediaFramework {
 public:
  virtual ~IMediaFramework() = default;
  virtual IFilterGraph& FilterGraph() = 0;
  virtual ISampleGrabber& SampleGrabber() = 0;
  virtual IFrameSource& FrameSource() = 0;
};

}  // namespace tavelune
