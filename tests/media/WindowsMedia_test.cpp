// The FFmpeg media layer as the Windows saver links it, under Wine: the
// media layer's contract on the movies make_movies.sh made before these
// tests run (under Wine they cannot call the ffmpeg program), and what is
// Windows' own: pipes and devices given as movies, and a movie deleted
// while it plays.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "base/Synchronize.h"
#include "helpers/MediaHarness.h"
#include "media/MediaContract.h"
#include "playback/MediaFramework.h"

namespace tavelune {
namespace {

using test::MediaLayerContract;
using test::RenderCode;
using test::TPausedMovie;
constexpr TRefTime kSecond = kRefTimePerSecond;

// The movie's name as Wine sees the build machine's folder.
std::string Movie(const std::string& name) {
  std::string path = std::string("Z:") + TAVELUNE_TEST_MOVIES + "/" + name;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

TEST(WindowsMedia, PipesAndDevicesAreRefusedAtOnceNotWaitedOn) {
  const HANDLE pipe = ::CreateNamedPipeA("\\\\.\\pipe\\movie.mp4", PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RenderCode(*CreateMediaFramework(), "\\\\.\\pipe\\movie.mp4"),
            static_cast<THResult>(0x80070002));
  ::CloseHandle(pipe);
  for (const std::string device : {"NUL", "CON", "\\\\.\\NUL"}) {
    EXPECT_EQ(RenderCode(*CreateMediaFramework(), device), static_cast<THResult>(0x80070002))
        << device;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
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

INSTANTIATE_TEST_SUITE_P(Ffmpeg, MediaLayerContract,
                         ::testing::Values(test::TMediaLayerUnderTest{"Ffmpeg",
                                                                      CreateMediaFramework, Movie}),
                         test::MediaLayerName);

}  // namespace
}  // namespace tavelune
