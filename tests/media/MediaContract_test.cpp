// The media layer's contract, on the movies make_movies.sh made: every
// container and codec opens with its length and delivers its key frames as
// ffmpeg decodes them, in the formats asked for; HDR is tone mapped; files
// that are not movies are refused with the framework's codes, and broken
// ones never crash; closing with a seek in flight lets go at once.

#include "media/MediaContract.h"

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/Synchronize.h"
#include "helpers/MediaHarness.h"
#include "imaging/BmpFile.h"

namespace tavelune::test {
namespace {

constexpr TRefTime kSecond = kRefTimePerSecond;

// The 8-bit movies whose key frames ffmpeg decoded as references. (ASF's
// index lands a seek on a key frame exactly at the position one key frame
// early, so the WMV movie has none.)
const std::vector<std::string> kReferencedMovies = {"mpeg4.avi", "h264.mp4",    "h264.mov",
                                                    "hd.mp4",    "vp9.webm",    "av1.mkv",
                                                    "rv20.rm",   "sorenson.flv"};

bool IsProgramStream(const std::string& name) {
  return name.ends_with(".mpg") || name.ends_with(".m2p");
}

TEST_P(MediaLayerContract, EveryContainerAndCodecOpensWithItsLengthAndDeliversEachKeyFrame) {
  // Every playable movie make_movies.sh made, names in UTF-8.
  std::ifstream list(Movie("movies.txt"));
  std::vector<std::string> names;
  for (std::string name; std::getline(list, name);) {
    names.push_back(name);
  }
  ASSERT_GE(names.size(), 15u);
  for (const std::string& name : names) {
    TPausedMovie paused(Movie(name), TMediaSubtype::RGB32, Create());
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

TEST_P(MediaLayerContract, SeeksToKeyFramesDeliverThemAsFfmpegDecodesThem) {
  for (const std::string& name : kReferencedMovies) {
    TPausedMovie paused(Movie(name), TMediaSubtype::RGB32, Create());
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

TEST_P(MediaLayerContract, ASeekBetweenKeyFramesDeliversTheKeyFrameBeforeIt) {
  TPausedMovie paused(Movie("h264.mp4"), TMediaSubtype::RGB32, Create());
  paused.Seek(3 * kSecond + kSecond / 2, 4 * kSecond);
  ASSERT_EQ(paused.Frames.Pictures.size(), 1u);
  EXPECT_NEAR(paused.Frames.SampleTimes[0], 3.0, 0.02);
}

TEST_P(MediaLayerContract, DeliversBottomUpDibsOfTheAskedDepthThatConvertAlike) {
  const TBitmap24 picture =
      ExpectBothDepthsAlike(Movie("h264.mov"), 2 * kSecond, 320, 240, GetParam().Create);
  // The top row of testsrc2 is not its bottom row: the DIB is not flipped.
  EXPECT_GE(Psnr(picture, ReadBmpFile(Movie("ref-h264.mov-2.bmp"))), 40.0);
}

// HDR movies are tone mapped: their still is near the SDR picture of the
// same scene, not the grey, washed-out picture their signal shown as SDR is.
TEST_P(MediaLayerContract, HdrStillsOfHevcTenBitAreToneMapped) {
  const TBitmap24 sdr = ReadBmpFile(Movie("ref-h264.mp4-2.bmp"));
  for (const std::string name : {"hevc-pq.mkv", "hevc-hlg.mp4"}) {
    TPausedMovie paused(Movie(name), TMediaSubtype::RGB32, Create());
    paused.Seek(2 * kSecond, 2 * kSecond);
    ASSERT_EQ(paused.Frames.Pictures.size(), 1u) << name;
    const double asSdr = MeanDifference(ReadBmpFile(Movie("ref-" + name + "-2-as-sdr.bmp")), sdr);
    const double mapped = MeanDifference(paused.Frames.Pictures[0], sdr);
    EXPECT_GT(asSdr, 60.0) << name;
    EXPECT_LT(mapped, asSdr / 3) << name;
  }
}

// --- what broken files get ---

TEST_P(MediaLayerContract, FilesThatAreNotMoviesAreRefusedWithTheFrameworksCode) {
  for (const std::string name : {"text.avi", "empty.mp4"}) {
    EXPECT_EQ(RenderCode(*Create(), Movie(name)), kVfwEUnsupportedStream) << name;
  }
  EXPECT_EQ(RenderCode(*Create(), Movie("deleted.avi")), static_cast<THResult>(0x80070002));
}

TEST_P(MediaLayerContract, SoundWithoutPicturesRendersOnlyInPartAndSeeksSayNoFrame) {
  TPausedMovie paused(Movie("sound.mp4"), TMediaSubtype::RGB32, Create());
  EXPECT_EQ(paused.Rendered, kVfwSVideoNotRendered);
  paused.Seek(1 * kSecond, 2 * kSecond);
  RunSynchronizeRequests();
  EXPECT_TRUE(paused.Frames.Pictures.empty());
  EXPECT_EQ(paused.Frames.NoFrames, 1);
}

TEST_P(MediaLayerContract, DamagedAndTruncatedMoviesNeverCrash) {
  for (const std::string name : {"flipped.avi", "truncated.mp4"}) {
    try {
      TPausedMovie paused(Movie(name), TMediaSubtype::RGB32, Create());
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

TEST_P(MediaLayerContract, ClosingWithASeekInFlightLetsGoAtOnce) {
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    auto media = Create();
    IFilterGraph& graph = media->FilterGraph();
    graph.SetActive(true);
    graph.RenderFile(Movie("hd.mp4"));
    graph.Run();
    graph.Pause();
    graph.QueryMediaSeeking()->SetPositions((round + 1) * kSecond / 2, kSegmentSeekFlags,
                                            5 * kSecond, kSegmentSeekFlags);
    std::this_thread::sleep_for(std::chrono::milliseconds(round * 7));
    graph.SetActive(false);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << round;
  }
}

}  // namespace
}  // namespace tavelune::test
