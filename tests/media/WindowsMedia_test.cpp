// The FFmpeg media layer as the Windows saver links it, under Wine, on
// movies of every kind the saver meets (made by make_movies.sh before these
// tests run, since under Wine they cannot call the ffmpeg program): every
// container and codec opens and delivers its key frames, matching ffmpeg's
// own decode of them; lengths; the delivered formats; HDR tone mapped; a
// name in Japanese; and what broken files and special files get.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/Synchronize.h"
#include "helpers/MediaHarness.h"
#include "imaging/BmpFile.h"
#include "playback/MediaFramework.h"

namespace tavelune {
namespace {

using test::MeanDifference;
using test::TPausedMovie;
constexpr TRefTime kSecond = kRefTimePerSecond;

// The movie's name as Wine sees the build machine's folder.
std::string Movie(const std::string& name) {
  std::string path = std::string("Z:") + TAVELUNE_TEST_MOVIES + "/" + name;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Peak signal-to-noise ratio of two pictures of one size, in dB.
double Psnr(const TBitmap24& a, const TBitmap24& b) {
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

// Every playable movie make_movies.sh made (movies.txt), names in UTF-8.
std::vector<std::string> PlayableMovies() {
  std::ifstream list(std::string("Z:") + TAVELUNE_TEST_MOVIES + "/movies.txt");
  std::vector<std::string> names;
  for (std::string name; std::getline(list, name);) {
    names.push_back(name);
  }
  return names;
}

// The 8-bit movies whose key frames ffmpeg decoded as references. (ASF's
// index lands a seek on a key frame exactly at the position one key frame
// early, on Linux alike, so the WMV movie has none.)
const std::vector<std::string> kReferencedMovies = {"mpeg4.avi", "h264.mp4",    "h264.mov",
                                                    "hd.mp4",    "vp9.webm",    "av1.mkv",
                                                    "rv20.rm",   "sorenson.flv"};

bool IsProgramStream(const std::string& name) {
  return name.ends_with(".mpg") || name.ends_with(".m2p");
}

TEST(WindowsMedia, EveryContainerAndCodecOpensWithItsLengthAndDeliversEachKeyFrame) {
  const std::vector<std::string> names = PlayableMovies();
  ASSERT_GE(names.size(), 15u);
  for (const std::string& name : names) {
    TPausedMovie paused(Movie(name));
    EXPECT_EQ(paused.Rendered, kSOk) << name;
    EXPECT_NEAR(static_cast<double>(paused.Stop()) / kSecond, 6.0, 0.3) << name;
    const std::vector<int> seconds = {1, 2, 3};
    for (int second : seconds) {
      paused.Seek(second * kSecond, second * kSecond);
    }
    ASSERT_EQ(paused.Frames.SampleTimes.size(), seconds.size()) << name;
    // A key frame at or before the position (one a second), or, where the
    // container has no index and is sought by bytes, the one after it.
    const double after = IsProgramStream(name) ? 1.05 : 0.05;
    for (std::size_t i = 0; i < seconds.size(); ++i) {
      EXPECT_GE(paused.Frames.SampleTimes[i], seconds[i] - 1.05) << name;
      EXPECT_LE(paused.Frames.SampleTimes[i], seconds[i] + after) << name;
      if (i > 0) {
        EXPECT_GT(paused.Frames.SampleTimes[i], paused.Frames.SampleTimes[i - 1]) << name;
      }
    }
    // testsrc2 changes every frame: no seek delivered a stale picture.
    EXPECT_GT(MeanDifference(paused.Frames.Pictures[0], paused.Frames.Pictures[2]), 2.0) << name;
  }
}

TEST(WindowsMedia, SeeksToKeyFramesDeliverThemAsFfmpegDecodesThem) {
  for (const std::string& name : kReferencedMovies) {
    TPausedMovie paused(Movie(name));
    const std::vector<int> seconds = {1, 2, 4};
    for (int second : seconds) {
      paused.Seek(second * kSecond, second * kSecond + kSecond / 2);
    }
    ASSERT_EQ(paused.Frames.Pictures.size(), seconds.size()) << name;
    for (std::size_t i = 0; i < seconds.size(); ++i) {
      EXPECT_NEAR(paused.Frames.SampleTimes[i], seconds[i], 0.02) << name;
      const TBitmap24 reference =
          ReadBmpFile(Movie("ref-" + name + "-" + std::to_string(seconds[i]) + ".bmp"));
      EXPECT_GE(Psnr(paused.Frames.Pictures[i], reference), 40.0)
          << name << " at " << seconds[i] << " s";
    }
    // testsrc2 changes every frame.
    EXPECT_GT(MeanDifference(paused.Frames.Pictures[0], paused.Frames.Pictures[2]), 5.0) << name;
    RunSynchronizeRequests();
    EXPECT_EQ(paused.Frames.NoFrames, 0) << name;
    EXPECT_EQ(paused.Frames.EndsOfSegment, 0) << name;
  }
}

TEST(WindowsMedia, ASeekBetweenKeyFramesDeliversTheKeyFrameBeforeIt) {
  TPausedMovie paused(Movie("h264.mp4"));
  paused.Seek(3 * kSecond + kSecond / 2, 4 * kSecond);
  ASSERT_EQ(paused.Frames.Pictures.size(), 1u);
  EXPECT_NEAR(paused.Frames.SampleTimes[0], 3.0, 0.02);
}

TEST(WindowsMedia, DeliversBottomUpDibsOfTheAskedDepthThatConvertAlike) {
  const TBitmap24 picture = test::ExpectBothDepthsAlike(Movie("h264.mov"), 2 * kSecond, 320, 240);
  // The top row of testsrc2 is not its bottom row: the DIB is not flipped.
  EXPECT_GE(Psnr(picture, ReadBmpFile(Movie("ref-h264.mov-2.bmp"))), 40.0);
}

// HDR movies are tone mapped: their still is near the SDR picture of the
// same scene, not the grey, washed-out picture their signal shown as SDR is.
TEST(WindowsMedia, HdrStillsOfHevcTenBitAreToneMapped) {
  const TBitmap24 sdr = ReadBmpFile(Movie("ref-h264.mp4-2.bmp"));
  for (const std::string name : {"hevc-pq.mkv", "hevc-hlg.mp4"}) {
    TPausedMovie paused(Movie(name));
    paused.Seek(2 * kSecond, 2 * kSecond);
    ASSERT_EQ(paused.Frames.Pictures.size(), 1u) << name;
    const double asSdr = MeanDifference(ReadBmpFile(Movie("ref-" + name + "-2-as-sdr.bmp")), sdr);
    const double mapped = MeanDifference(paused.Frames.Pictures[0], sdr);
    EXPECT_GT(asSdr, 60.0) << name;
    EXPECT_LT(mapped, asSdr / 3) << name;
  }
}

// --- what broken files get ---

THResult RenderCode(const std::string& file) {
  auto media = CreateMediaFramework();
  media->FilterGraph().SetActive(true);
  try {
    media->FilterGraph().RenderFile(file);
  } catch (const EMediaError& error) {
    EXPECT_NE(std::string(error.what()).find("($"), std::string::npos) << error.what();
    return error.Code();
  }
  return kSOk;
}

TEST(WindowsMedia, FilesThatAreNotMoviesAreRefusedWithTheFrameworksCode) {
  for (const std::string name : {"text.avi", "empty.mp4"}) {
    EXPECT_EQ(RenderCode(Movie(name)), kVfwEUnsupportedStream) << name;
  }
  EXPECT_EQ(RenderCode(Movie("deleted.avi")), static_cast<THResult>(0x80070002));
}

TEST(WindowsMedia, PipesAndDevicesAreRefusedAtOnceNotWaitedOn) {
  const HANDLE pipe = ::CreateNamedPipeA("\\\\.\\pipe\\movie.mp4", PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RenderCode("\\\\.\\pipe\\movie.mp4"), static_cast<THResult>(0x80070002));
  ::CloseHandle(pipe);
  for (const std::string device : {"NUL", "CON", "\\\\.\\NUL"}) {
    EXPECT_EQ(RenderCode(device), static_cast<THResult>(0x80070002)) << device;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(WindowsMedia, SoundWithoutPicturesRendersOnlyInPartAndSeeksSayNoFrame) {
  TPausedMovie paused(Movie("sound.mp4"));
  EXPECT_EQ(paused.Rendered, kVfwSVideoNotRendered);
  paused.Seek(1 * kSecond, 2 * kSecond);
  RunSynchronizeRequests();
  EXPECT_TRUE(paused.Frames.Pictures.empty());
  EXPECT_EQ(paused.Frames.NoFrames, 1);
}

TEST(WindowsMedia, DamagedAndTruncatedMoviesNeverCrash) {
  for (const std::string name : {"flipped.avi", "truncated.mp4"}) {
    try {
      TPausedMovie paused(Movie(name));
      for (int second = 0; second < 6; ++second) {
        paused.Seek(second * kSecond, second * kSecond + kSecond);
      }
      RunSynchronizeRequests();
      // Each seek ends one way or the other, and the pictures are whole.
      EXPECT_EQ(paused.Frames.Pictures.size() + paused.Frames.NoFrames, 6u) << name;
      for (const TBitmap24& picture : paused.Frames.Pictures) {
        EXPECT_EQ(picture.Width(), 320) << name;
        EXPECT_EQ(picture.Height(), 240) << name;
      }
    } catch (const EMediaError& error) {
      EXPECT_LT(error.Code(), 0) << name;  // refused at opening: the play loop's error path
    }
  }
}

TEST(WindowsMedia, AMovieDeletedWhilePlayingEndsNothingButItsOwnFrames) {
  const std::string copy = Movie("deleted while playing.mp4");
  ASSERT_TRUE(::CopyFileA(Movie("h264.mp4").c_str(), copy.c_str(), FALSE));
  {
    TPausedMovie paused(copy);
    paused.Seek(1 * kSecond, 2 * kSecond);
    // Whether the system lets it go while it is open or not, the graph
    // goes on: a frame, or a no-frame notice, for every later seek.
    ::DeleteFileA(copy.c_str());
    paused.Seek(4 * kSecond, 5 * kSecond);
    RunSynchronizeRequests();
    EXPECT_GE(paused.Frames.Pictures.size(), 1u);
    EXPECT_EQ(paused.Frames.Pictures.size() + paused.Frames.NoFrames, 2u);
  }
  ::DeleteFileA(copy.c_str());
}

TEST(WindowsMedia, ClosingWithASeekInFlightLetsGoAtOnce) {
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    auto media = CreateMediaFramework();
    IFilterGraph& graph = media->FilterGraph();
    graph.SetActive(true);
    graph.RenderFile(Movie("hd.mp4"));
    graph.Run();
    graph.Pause();
    graph.QueryMediaSeeking()->SetPositions((round + 1) * kSecond / 2, kSegmentSeekFlags,
                                            5 * kSecond, kSegmentSeekFlags);
    ::Sleep(round * 7);
    graph.SetActive(false);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << round;
  }
}

}  // namespace
}  // namespace tavelune
