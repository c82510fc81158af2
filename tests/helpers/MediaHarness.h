#pragma once

// A graph of the platform's media framework with a movie rendered and
// paused, as the play loop leaves it, and the frames it delivers: for the
// tests of each platform's media layer.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "imaging/Bitmap.h"
#include "playback/MediaFramework.h"

namespace tavelune::test {

// Keeps the frames a graph delivers.
class TFrames : public IGraphListener {
 public:
  explicit TFrames(ISampleGrabber& grabber) : FGrabber(grabber) {}
  void OnGraphEvent(long code) override { Events.push_back(code); }
  void OnEndOfSegment() override { ++EndsOfSegment; }
  void OnNoFrame() override { ++NoFrames; }
  void OnSample(double sampleTime, const std::uint8_t* buffer, std::size_t length) override {
    TBitmap24 picture;
    const bool converted = FGrabber.SampleToBitmap(picture, buffer, length);
    std::lock_guard lock(FMutex);
    SampleTimes.push_back(sampleTime);
    Lengths.push_back(length);
    if (converted) {
      Pictures.push_back(std::move(picture));
    }
  }
  std::vector<double> SampleTimes;
  std::vector<std::size_t> Lengths;
  std::vector<TBitmap24> Pictures;
  std::vector<long> Events;
  int EndsOfSegment = 0;
  int NoFrames = 0;  // UI thread: counted at hand-over points

 private:
  ISampleGrabber& FGrabber;
  std::mutex FMutex;
};

// A graph with a movie rendered and paused, as the play loop leaves it.
class TPausedMovie {
 public:
  // On `media`, the program's own media layer unless another is given.
  explicit TPausedMovie(const std::string& movie, TMediaSubtype subtype = TMediaSubtype::RGB32,
                        std::unique_ptr<IMediaFramework> media = CreateMediaFramework())
      : Media(std::move(media)), Frames(Media->SampleGrabber()) {
    Media->SampleGrabber().SetMediaSubtype(subtype);
    Media->SampleGrabber().ApplyGrabberType();
    Graph().SetListener(&Frames);
    Graph().SetActive(true);
    Rendered = Graph().RenderFile(movie);
    Graph().SetVolume(0);
    Graph().Run();
    Graph().Pause();
  }
  ~TPausedMovie() {
    Graph().SetActive(false);
    Graph().SetListener(nullptr);
  }
  IFilterGraph& Graph() { return Media->FilterGraph(); }
  TRefTime Stop() {
    TRefTime current = 0;
    TRefTime stop = 0;
    Graph().QueryMediaSeeking()->GetPositions(current, stop);
    return stop;
  }
  // Seeks as a segment does and waits for the streaming thread.
  void Seek(TRefTime position, TRefTime stop) {
    Graph().QueryMediaSeeking()->SetPositions(position, kSegmentSeekFlags, stop, kSegmentSeekFlags);
    ASSERT_TRUE(WaitForSeeks(*Media, std::chrono::seconds(10)));
  }

  std::unique_ptr<IMediaFramework> Media;
  TFrames Frames;
  THResult Rendered = 0;
};

// Peak signal-to-noise ratio of two pictures of one size, in dB (0 for
// pictures of different sizes, 99 for equal ones).
inline double Psnr(const TBitmap24& a, const TBitmap24& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) {
    return 0;
  }
  double squares = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < 3 * a.Width(); ++x) {
      const double difference = a.Row(y)[x] - b.Row(y)[x];
      squares += difference * difference;
    }
  }
  const double mean = squares / (3.0 * a.Width() * a.Height());
  return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

inline double MeanDifference(const TBitmap24& a, const TBitmap24& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) {
    return 1e9;
  }
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < 3 * a.Width(); ++x) {
      sum += std::abs(a.Row(y)[x] - b.Row(y)[x]);
    }
  }
  return sum / (3.0 * a.Width() * a.Height());
}

// Seeks a graph asking for RGB24 frames and one asking for RGB32 to
// `position`: each delivers one frame of `width` × `height` in its depth,
// both convert to the same picture, and the video window holds it as a
// bitmap file. Returns the picture.
inline TBitmap24 ExpectBothDepthsAlike(
    const std::string& movie, TRefTime position, int width, int height,
    const std::function<std::unique_ptr<IMediaFramework>()>& create = CreateMediaFramework) {
  TPausedMovie rgb24(movie, TMediaSubtype::RGB24, create());
  TPausedMovie rgb32(movie, TMediaSubtype::RGB32, create());
  rgb24.Seek(position, position + kRefTimePerSecond);
  rgb32.Seek(position, position + kRefTimePerSecond);
  if (rgb24.Frames.Pictures.size() != 1 || rgb32.Frames.Pictures.size() != 1) {
    ADD_FAILURE() << "frames: " << rgb24.Frames.Pictures.size() << " and "
                  << rgb32.Frames.Pictures.size();
    return {};
  }
  const auto pixels = static_cast<std::size_t>(width) * height;
  EXPECT_EQ(rgb24.Frames.Lengths[0], pixels * 3);
  EXPECT_EQ(rgb32.Frames.Lengths[0], pixels * 4);
  EXPECT_EQ(rgb24.Frames.Pictures[0], rgb32.Frames.Pictures[0]);
  std::string stream;
  EXPECT_TRUE(rgb24.Media->FrameSource().CurrentImageToStream(stream));
  EXPECT_EQ(stream.substr(0, 2), "BM");
  return rgb24.Frames.Pictures[0];
}

// The code RenderFile refuses `file` with on `media`; S_OK when it takes
// it. A refusal's message ends in the code.
inline THResult RenderCode(IMediaFramework& media, const std::string& file) {
  media.FilterGraph().SetActive(true);
  try {
    media.FilterGraph().RenderFile(file);
  } catch (const EMediaError& error) {
    EXPECT_NE(std::string(error.what()).find("($"), std::string::npos) << error.what();
    return error.Code();
  }
  return kSOk;
}

}  // namespace tavelune::test
