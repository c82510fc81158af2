#pragma once

// A scripted media graph for the controller's rules: it records every call,
// reports a scripted length, fails where told, and delivers a frame after
// each seek on a paused graph at the host's next message pass (as the real
// streaming thread would, a little after the seek). A frame's colour tells
// the position it was sought to.

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <functional>

#include "helpers/FakeSaverHost.h"
#include "imaging/BmpFile.h"
#include "playback/MediaGraph.h"

namespace tavelune::test {

// The colour of the frame the fake delivers for a seek to `position`.
inline TColor FrameColorFor(TRefTime position) {
  return static_cast<TColor>((position / kRefTimePerSecond) * 2654435761u) & 0xFFFFFF;
}

class TFakeMedia : public IMediaFramework,
                   public IFilterGraph,
                   public ISampleGrabber,
                   public IFrameSource,
                   public IMediaSeeking {
 public:
  explicit TFakeMedia(TFakeSaverHost& host) : FHost(host) {}

  // --- script ---
  TRefTime Length = 600 * kRefTimePerSecond;
  bool ReportsLength = true;
  THResult RenderResult = kSOk;
  std::set<std::string> FailingCalls;  // "RenderFile", "Run", "Pause", "EmptyGraph", ...
  bool DeliversFrames = true;
  // Without frames: whether a seek says at once that none is coming.
  bool TellsNoFrame = false;
  bool HasSnapshot = true;  // CurrentImageToStream works once a frame came
  int FrameWidth = 64;
  int FrameHeight = 48;
  // Frames with detail (their top quarter a grey ramp) instead of flat
  // ones, except black ones where BlackAt says so.
  bool DetailedFrames = false;
  std::function<bool(TRefTime position)> BlackAt;

  // --- record ---
  std::vector<std::string> Calls;
  std::vector<std::string> CallsNamed(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& call : Calls) {
      if (call.rfind(prefix, 0) == 0) {
        found.push_back(call);
      }
    }
    return found;
  }
  IGraphListener* Listener = nullptr;

  IFilterGraph& FilterGraph() override { return *this; }
  ISampleGrabber& SampleGrabber() override { return *this; }
  IFrameSource& FrameSource() override { return *this; }

  void SetListener(IGraphListener* listener) override { Listener = listener; }
  bool Active() const override { return FActive; }
  void SetActive(bool active) override {
    if (active != FActive) {
      Record(active ? "SetActive(true)" : "SetActive(false)");
    }
    FActive = active;
    if (!active) {
      FRendered = false;
    }
  }
  void EmptyGraph() override {
    if (FActive) {
      Record("EmptyGraph");
      FRendered = false;
    }
  }
  THResult RenderFile(const std::string& fileName) override {
    Record("RenderFile(" + fileName + ")");
    FRendered = true;
    FState = 'S';
    return RenderResult;
  }
  void Run() override {
    Record("Run");
    FState = 'R';
    FRunStartMs = FHost.NowMs;
  }
  void Pause() override {
    Record("Pause");
    FState = 'P';
  }
  void Stop() override {
    if (FActive) {
      Record("Stop");
      FState = 'S';
    }
  }
  void SetVolume(int volume) override { Record("SetVolume(" + std::to_string(volume) + ")"); }
  IMediaSeeking* QueryMediaSeeking() override {
    return FailingCalls.count("Query") ? nullptr : this;
  }

  bool GetPositions(TRefTime& current, TRefTime& stop) override {
    Record("GetPositions");
    if (!FRendered) {
      return false;
    }
    current = FState == 'R' ? (FHost.NowMs - FRunStartMs) * 10'000 : 0;
    if (ReportsLength) {
      stop = Length;
    }
    return true;
  }
  bool SetPositions(TRefTime current, std::uint32_t currentFlags, TRefTime stop,
                    std::uint32_t stopFlags) override {
    Record("SetPositions(" + std::to_string(current / 10'000) + "ms," +
           std::to_string(stop / 10'000) + "ms," + std::to_string(currentFlags) + "," +
           std::to_string(stopFlags) + ")");
    if (FState == 'P' && DeliversFrames) {
      FHost.Messages.push_back([this, current] { Deliver(current); });
    } else if (FState == 'P' && TellsNoFrame) {
      FHost.Messages.push_back([this] { Listener->OnNoFrame(); });
    }
    return true;
  }

  void SetMediaSubtype(TMediaSubtype subtype) override { FSubtype = subtype; }
  TMediaSubtype MediaSubtype() const override { return FSubtype; }
  void ApplyGrabberType() override {
    Record(FSubtype == TMediaSubtype::RGB24 ? "ApplyGrabberType(RGB24)"
                                            : "ApplyGrabberType(RGB32)");
  }
  bool SampleToBitmap(TBitmap24& picture, const std::uint8_t* buffer,
                      std::size_t length) const override {
    if (FailingCalls.count("SampleToBitmap")) {
      throw std::runtime_error("cannot convert");
    }
    if (length < 4) {
      return false;
    }
    picture = TBitmap24(FrameWidth, FrameHeight);
    picture.Fill(static_cast<TColor>(buffer[2]) | static_cast<TColor>(buffer[1]) << 8 |
                 static_cast<TColor>(buffer[0]) << 16);
    if (buffer[3] == kDetailed) {
      for (int y = 0; y < FrameHeight / 4; ++y) {
        for (int x = 0; x < FrameWidth; ++x) {
          std::uint8_t* pixel = picture.Pixel(x, y);
          pixel[0] = pixel[1] = pixel[2] = static_cast<std::uint8_t>(x * 255 / FrameWidth);
        }
      }
    }
    return true;
  }
  bool CurrentImageToStream(std::string& stream) override {
    Record("CurrentImageToStream");
    if (!HasSnapshot || !FLastFrame) {
      return false;
    }
    TBitmap24 picture(FrameWidth, FrameHeight);
    picture.Fill(*FLastFrame);
    stream = EncodeBmp(picture);
    return true;
  }
  // Makes the video window hold a frame without the grabber seeing it.
  void SetSnapshot(TColor color) { FLastFrame = color; }

 private:
  void Record(const std::string& call) {
    Calls.push_back(call);
    if (FailingCalls.count(call.substr(0, call.find('(')))) {
      throw EMediaError(kVfwEUnsupportedStream, "scripted failure");
    }
  }
  static constexpr std::uint8_t kDetailed = 1;  // the sample's fourth byte

  void Deliver(TRefTime position) {
    const bool black = BlackAt && BlackAt(position);
    const TColor color = black ? 0 : FrameColorFor(position);
    FLastFrame = color;
    const std::uint8_t sample[4] = {
        static_cast<std::uint8_t>(color >> 16), static_cast<std::uint8_t>(color >> 8),
        static_cast<std::uint8_t>(color), DetailedFrames && !black ? kDetailed : std::uint8_t{0}};
    if (Listener != nullptr) {
      Listener->OnSample(static_cast<double>(position) / kRefTimePerSecond, sample, sizeof sample);
    }
  }

  TFakeSaverHost& FHost;
  bool FActive = false;
  bool FRendered = false;
  char FState = 'S';
  std::int64_t FRunStartMs = 0;
  TMediaSubtype FSubtype = TMediaSubtype::RGB32;
  std::optional<TColor> FLastFrame;
};

}  // namespace tavelune::test
