// The media framework on Media Foundation, on movies of every kind the
// saver meets (made by make_movies.sh before these tests run, since under
// Wine they cannot call the ffmpeg program): lengths, one frame per seek
// matching ffmpeg's decode of the same key frame, the delivered formats,
// program streams under a name the system does not know, and what broken
// files get.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Synchronize.h"
#include "helpers/MediaHarness.h"
#include "imaging/BmpFile.h"
#include "platform/win32/Win32MediaFoundation.h"
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

const std::vector<std::string> kIndexedMovies = {"mpeg4.avi", "wmv2.wmv", "h264.mp4", "h264.mov",
                                                 "hd.mp4"};

TEST(MfMedia, ReportsTheLengthOfEveryKindOfContainer) {
  for (const std::string name :
       {"mpeg4.avi", "wmv2.wmv", "h264.mp4", "h264.mov", "hd.mp4", "mpeg2.m2p"}) {
    TPausedMovie movie(Movie(name));
    EXPECT_EQ(movie.Rendered, kSOk) << name;
    EXPECT_NEAR(static_cast<double>(movie.Stop()) / kSecond, 6.0, 0.3) << name;
  }
}

TEST(MfMedia, SeeksToKeyFramesDeliverThemAsFfmpegDecodesThem) {
  for (const std::string& name : kIndexedMovies) {
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

// A saver's run seeks segment after segment; the frames the reader read
// ahead after one still must never stand in for the next seek's.
TEST(MfMedia, SeeksInARowEachDeliverTheirOwnKeyFrame) {
  for (const std::string name : {"h264.mp4", "mpeg4.avi"}) {
    for (int pass = 0; pass < 3; ++pass) {
      TPausedMovie paused(Movie(name));
      for (int second = 0; second < 6; ++second) {
        paused.Seek(second * kSecond, second * kSecond + kSecond / 2);
      }
      ASSERT_EQ(paused.Frames.SampleTimes.size(), 6u) << name;
      for (int second = 0; second < 6; ++second) {
        EXPECT_NEAR(paused.Frames.SampleTimes[second], second, 0.02) << name << " pass " << pass;
      }
    }
  }
}

TEST(MfMedia, ASeekBetweenKeyFramesDeliversOneFrameAtOrBeforeThePosition) {
  TPausedMovie paused(Movie("h264.mp4"));
  paused.Seek(3 * kSecond + kSecond / 2, 4 * kSecond);
  ASSERT_EQ(paused.Frames.Pictures.size(), 1u);
  EXPECT_GE(paused.Frames.SampleTimes[0], 3.0 - 0.02);
  EXPECT_LE(paused.Frames.SampleTimes[0], 3.5 + 0.02);
}

TEST(MfMedia, DeliversBottomUpDibsOfTheAskedDepthThatConvertAlike) {
  const TBitmap24 picture = test::ExpectBothDepthsAlike(Movie("h264.mov"), 2 * kSecond, 320, 240);
  // The top row of testsrc2 is not its bottom row: the DIB is not flipped.
  EXPECT_GE(Psnr(picture, ReadBmpFile(Movie("ref-h264.mov-2.bmp"))), 40.0);
}

TEST(MfMedia, ProgramStreamsDeliverDifferentFramesForSegments) {
  TPausedMovie paused(Movie("mpeg2.m2p"));
  paused.Seek(1 * kSecond, 2 * kSecond);
  paused.Seek(4 * kSecond, 5 * kSecond);
  ASSERT_EQ(paused.Frames.Pictures.size(), 2u);
  EXPECT_EQ(paused.Frames.Pictures[0].Width(), 720);
  EXPECT_GT(MeanDifference(paused.Frames.Pictures[0], paused.Frames.Pictures[1]), 5.0);
}

TEST(MfMedia, Mpeg1SystemStreamsOpenAndDeliverAFrame) {
  // Wine's demuxer for these (GStreamer's) tells no length and cannot seek
  // in them, so only opening and a first frame are checked here.
  TPausedMovie paused(Movie("mpeg1.mpg"));
  EXPECT_EQ(paused.Rendered, kSOk);
  paused.Seek(1 * kSecond, 2 * kSecond);
  ASSERT_EQ(paused.Frames.Pictures.size(), 1u);
  EXPECT_EQ(paused.Frames.Pictures[0].Width(), 352);
}

// --- what broken files get ---

THResult RenderCode(const std::string& file) {
  auto media = platform::CreateMediaFramework();
  media->FilterGraph().SetActive(true);
  try {
    media->FilterGraph().RenderFile(file);
  } catch (const EDirectShowException& error) {
    EXPECT_NE(std::string(error.what()).find("($"), std::string::npos) << error.what();
    return error.Code();
  }
  return kSOk;
}

TEST(MfMedia, FilesThatAreNotMoviesAreRefusedWithTheSystemsCode) {
  for (const std::string name : {"text.avi", "empty.mp4", "truncated.mp4"}) {
    const THResult code = RenderCode(Movie(name));
    EXPECT_LT(code, 0) << name;
  }
  EXPECT_EQ(RenderCode(Movie("deleted.avi")), static_cast<THResult>(0x80070002));
}

TEST(MfMedia, APipeIsRefusedAtOnceNotWaitedOn) {
  const HANDLE pipe = ::CreateNamedPipeA("\\\\.\\pipe\\movie.mp4", PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RenderCode("\\\\.\\pipe\\movie.mp4"), static_cast<THResult>(0x80070002));
  ::CloseHandle(pipe);
}

TEST(MfMedia, SoundWithoutPicturesRendersOnlyInPartAndSeeksSayNoFrame) {
  TPausedMovie paused(Movie("sound.mp4"));
  EXPECT_EQ(paused.Rendered, kVfwSVideoNotRendered);
  paused.Seek(1 * kSecond, 2 * kSecond);
  RunSynchronizeRequests();
  EXPECT_TRUE(paused.Frames.Pictures.empty());
  EXPECT_EQ(paused.Frames.NoFrames, 1);
}

TEST(MfMedia, DamagedMoviesNeverCrash) {
  TPausedMovie* paused = nullptr;
  try {
    paused = new TPausedMovie(Movie("flipped.avi"));
  } catch (const EDirectShowException&) {
    SUCCEED() << "refused";
    return;
  }
  for (int second = 0; second < 6; ++second) {
    paused->Seek(second * kSecond, second * kSecond + kSecond);
  }
  RunSynchronizeRequests();
  // Each seek ends one way or the other, and the pictures are whole.
  EXPECT_EQ(paused->Frames.Pictures.size() + paused->Frames.NoFrames, 6u);
  for (const TBitmap24& picture : paused->Frames.Pictures) {
    EXPECT_EQ(picture.Width(), 320);
    EXPECT_EQ(picture.Height(), 240);
  }
  delete paused;
}

TEST(MfMedia, AMovieDeletedWhilePlayingEndsNothingButItsOwnFrames) {
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

TEST(MfMedia, ClosingWithASeekInFlightLetsGoAtOnce) {
  for (int round = 0; round < 5; ++round) {
    auto media = platform::CreateMediaFramework();
    IFilterGraph& graph = media->FilterGraph();
    graph.SetActive(true);
    graph.RenderFile(Movie("hd.mp4"));
    graph.Run();
    graph.Pause();
    graph.QueryMediaSeeking()->SetPositions((round + 1) * kSecond / 2, kSegmentSeekFlags,
                                            5 * kSecond, kSegmentSeekFlags);
    ::Sleep(round * 7);
    graph.SetActive(false);
  }
  // The readers whose read was still out are let go once it is over.
  for (int wait = 0; wait < 200 && platform::MediaReadersBeingReleased(); ++wait) {
    ::Sleep(50);
  }
  EXPECT_FALSE(platform::MediaReadersBeingReleased());
}

}  // namespace
}  // namespace tavelune
