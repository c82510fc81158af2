// The media framework on real FFmpeg, on Linux: the media layer's contract
// on the movies make_movies.sh made before these tests ran, and, with
// movies the ffmpeg program makes at test time, the colours of tagged
// streams, long movies, the containers the play loop tells apart, the
// saver's play loop on real movies, and what broken files get.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "base/Synchronize.h"
#include "helpers/FakeSaverHost.h"
#include "helpers/MediaHarness.h"
#include "helpers/TestFiles.h"
#include "helpers/TestMovies.h"
#include "imaging/Canvas.h"
#include "media/MediaContract.h"
#include "playback/MediaFramework.h"
#include "playback/PlayController.h"
#include "probe/ContainerProbe.h"

namespace tavelune {
namespace {

using test::MeanDifference;
using test::MediaLayerContract;
using test::TFrames;
using test::TPausedMovie;
using test::TTestMovies;
constexpr TRefTime kSecond = kRefTimePerSecond;

// The key frame at or before `seconds` of a looped seed movie (key frames
// on every whole second), as the ffmpeg program decodes and converts it:
// with the stream's own colour tags, or through `filter`.
TBitmap24 ReferenceKeyFrame(const std::string& movie, double seconds, int width, int height,
                            const std::string& filter = "") {
  const std::string raw = test::ShellOutput(
      "ffmpeg -nostdin -v error -ss " + std::to_string(std::floor(seconds)) + " -i '" + movie +
      "' -frames:v 1 " + (filter.empty() ? "" : "-vf " + filter + " ") +
      "-f rawvideo -pix_fmt bgr24 -");
  TBitmap24 picture(width, height);
  if (raw.size() == static_cast<std::size_t>(width) * height * 3) {
    for (int y = 0; y < height; ++y) {
      std::copy_n(raw.data() + static_cast<std::size_t>(y) * width * 3, width * 3, picture.Row(y));
    }
  }
  return picture;
}

// The movies of each kind, made on first use.
std::string TenMinutes() {
  return TTestMovies::Get().Looped("ten minutes.mp4", 86, "-f mp4");  // 602 s
}
std::string MoovFirst() {
  return TTestMovies::Get().Looped("moov first.mov", 3, "-movflags +faststart -f mov");
}
std::string Mpeg1() {
  return TTestMovies::Get().Make(
      "mpeg1.mpg", "-f lavfi -i testsrc2=size=160x120:rate=25 -t 12 -c:v mpeg1video -g 25 -f mpeg");
}
// With its own intra matrix in the sequence header, which is what tells the
// probe an MPEG-2 recording.
std::string Mpeg2() {
  std::string matrix = "16";
  for (int i = 1; i < 64; ++i) {
    matrix += ",16";
  }
  return TTestMovies::Get().Make("mpeg2.mpg",
                                 "-f lavfi -i testsrc2=size=160x120:rate=25 -t 12 -c:v mpeg2video "
                                 "-g 25 -intra_matrix " +
                                     matrix + " -f vob");
}
std::string DvAvi() {
  return TTestMovies::Get().Make("dv.avi",
                                 "-f lavfi -i testsrc2=size=720x480:rate=30000/1001 -t 3 "
                                 "-c:v dvvideo -pix_fmt yuv411p -vtag dvsd -f avi");
}
std::string Asf() {
  return TTestMovies::Get().Make(
      "asf.wmv", "-f lavfi -i testsrc2=size=160x120:rate=25 -t 9 -c:v wmv2 -g 25 -f asf");
}

// One second of the test pattern at `size`, H.264 with `colors` (its pixel
// format and colour tags).
std::string ColorClip(const std::string& name, const std::string& size, const std::string& colors) {
  return TTestMovies::Get().Make(name, "-f lavfi -i testsrc2=size=" + size +
                                           ":rate=25 -t 1 -c:v libx264 -g 25 " + colors +
                                           " -f mp4");
}

TEST(FfmpegMedia, StillsHaveTheColoursTheStreamIsTaggedWith) {
  struct TCase {
    std::string Movie;
    int Width;
    int Height;
    std::string ReferenceFilter;  // none: ffmpeg's own reading of the tags
  };
  const std::vector<TCase> cases = {
      // The tag decides, not the size.
      {ColorClip("bt709 sd.mp4", "320x240", "-pix_fmt yuv420p -colorspace bt709"), 320, 240, ""},
      {ColorClip("bt601 hd.mp4", "1280x720", "-pix_fmt yuv420p -colorspace smpte170m"), 1280, 720,
       ""},
      {ColorClip("full range.mp4", "320x240", "-pix_fmt yuvj420p -color_range pc"), 320, 240, ""},
      // A BT.2020 tag on an 8-bit stream is taken at its word.
      {ColorClip("bt2020 8 bit.mp4", "320x240", "-pix_fmt yuv420p -colorspace bt2020nc"), 320, 240,
       ""},
      // Untagged: BT.709 from 720 lines up, BT.601 below.
      {ColorClip("untagged hd.mp4", "1280x720", "-pix_fmt yuv420p"), 1280, 720,
       "scale=in_color_matrix=bt709"},
      {ColorClip("untagged sd.mp4", "320x240", "-pix_fmt yuv420p"), 320, 240,
       "scale=in_color_matrix=bt601"},
      // A matrix libswscale has none of is read as untagged.
      {ColorClip("ycgco sd.mp4", "320x240", "-pix_fmt yuv420p -colorspace ycgco"), 320, 240,
       "scale=in_color_matrix=bt601"},
  };
  for (const TCase& c : cases) {
    TPausedMovie paused(c.Movie);
    paused.Seek(kSecond / 2, kSecond / 2);
    ASSERT_EQ(paused.Frames.Pictures.size(), 1u) << c.Movie;
    const TBitmap24 reference = ReferenceKeyFrame(c.Movie, 0, c.Width, c.Height, c.ReferenceFilter);
    EXPECT_LT(MeanDifference(paused.Frames.Pictures[0], reference), 2.0) << c.Movie;
  }
}

// One second of `source` (a lavfi graph) as a lossless H.264 clip: SDR
// BT.709, or 10-bit BT.2020 HDR with `transfer` ("smpte2084" or
// "arib-std-b67") and its SDR white at 203 cd/m², as an HDR master of the
// same scene would be.
std::string SceneClip(const std::string& name, const std::string& source,
                      const std::string& transfer = "bt709") {
  const std::string colors =
      transfer == "bt709"
          ? "-pix_fmt yuv420p -colorspace bt709 -color_primaries bt709 -color_trc bt709"
          : "-vf zscale=tin=bt709:pin=bt709:min=bt709:rin=limited:t=" + transfer +
                ":p=bt2020:m=bt2020nc:r=limited:npl=203,format=yuv420p10le -colorspace bt2020nc "
                "-color_primaries bt2020 -color_trc " +
                transfer;
  return TTestMovies::Get().Make(
      name, "-f lavfi -i " + source + " -t 1 -c:v libx264 -qp 0 -g 25 " + colors + " -f mp4");
}

TBitmap24 StillOf(const std::string& movie) {
  TPausedMovie paused(movie);
  paused.Seek(kSecond / 2, kSecond / 2);
  return paused.Frames.Pictures.size() == 1 ? paused.Frames.Pictures[0] : TBitmap24();
}

TEST(FfmpegMedia, HdrStillsAreToneMappedToTheSdrPictureOfTheSameScene) {
  // The test pattern, softened so that its edges do not dominate what 4:2:0
  // chroma does differently in the two signals.
  const std::string pattern = "testsrc2=size=640x360:rate=25,gblur=sigma=2";
  const std::string grey = "color=c=0x808080:size=320x240:rate=25";
  const TBitmap24 sdr = StillOf(SceneClip("sdr pattern.mp4", pattern));
  const TBitmap24 sdrGrey = StillOf(SceneClip("sdr grey.mp4", grey));
  ASSERT_FALSE(sdr.Empty());
  ASSERT_FALSE(sdrGrey.Empty());
  for (const std::string transfer : {"smpte2084", "arib-std-b67"}) {
    const std::string movie = SceneClip(transfer + " pattern.mp4", pattern, transfer);
    const TBitmap24 mapped = StillOf(movie);
    ASSERT_FALSE(mapped.Empty()) << transfer;
    // Shown as SDR, the clip is the grey, washed-out picture HDR users saw.
    const double untouched = MeanDifference(ReferenceKeyFrame(movie, 0, 640, 360), sdr);
    const double difference = MeanDifference(mapped, sdr);
    std::printf("%s: mean difference from the SDR picture %.2f levels, %.2f shown as SDR\n",
                transfer.c_str(), difference, untouched);
    EXPECT_GT(untouched, 40.0) << transfer;
    // What is left is the roll-off of the highlights (SDR white becomes 242)
    // and the 10-bit signal's small errors, which the return to BT.709's
    // smaller gamut makes visible in saturated colours.
    EXPECT_LT(difference, 10.0) << transfer;
    // Below the knee the picture is the SDR one: a mid grey stays that grey.
    const TBitmap24 mappedGrey = StillOf(SceneClip(transfer + " grey.mp4", grey, transfer));
    ASSERT_FALSE(mappedGrey.Empty()) << transfer;
    for (int channel = 0; channel < 3; ++channel) {
      EXPECT_NEAR(mappedGrey.Pixel(160, 120)[channel], sdrGrey.Pixel(160, 120)[channel], 2)
          << transfer;
    }
  }
}

TEST(FfmpegMedia, ReportsTheLengthOfEveryKindOfContainer) {
  struct TCase {
    std::string Movie;
    double Seconds;
  };
  const std::vector<TCase> cases = {{TenMinutes(), 602}, {MoovFirst(), 21}, {Mpeg1(), 12},
                                    {Mpeg2(), 12},       {DvAvi(), 3},      {Asf(), 9}};
  for (const TCase& c : cases) {
    TPausedMovie movie(c.Movie);
    EXPECT_EQ(movie.Rendered, kSOk) << c.Movie;
    EXPECT_NEAR(static_cast<double>(movie.Stop()) / kSecond, c.Seconds, 0.3) << c.Movie;
  }
  // The kinds the play loop tells apart.
  EXPECT_EQ(ProbeContainer(MoovFirst()), ".MOV");  // ffmpeg writes a file-type atom first
  EXPECT_EQ(ProbeContainer(Mpeg1()), "MPG1");
  EXPECT_EQ(ProbeContainer(Mpeg2()), "MPG2");
  EXPECT_EQ(ProbeContainer(DvAvi()), "dvsd");
}

TEST(FfmpegMedia, EachSeekDeliversTheKeyFrameAtOrBeforeThePosition) {
  const std::string movie = TenMinutes();
  TPausedMovie paused(movie);
  const std::vector<double> positions = {2, 62.5, 123.4, 399.99, 542};
  for (double seconds : positions) {
    const auto position = static_cast<TRefTime>(seconds * kSecond);
    paused.Seek(position, position);
  }
  ASSERT_EQ(paused.Frames.Pictures.size(), positions.size());
  for (std::size_t i = 0; i < positions.size(); ++i) {
    // Key frames every whole second.
    EXPECT_NEAR(paused.Frames.SampleTimes[i], std::floor(positions[i]), 1e-3) << positions[i];
    const TBitmap24 reference = ReferenceKeyFrame(movie, positions[i], 320, 240);
    EXPECT_LT(MeanDifference(paused.Frames.Pictures[i], reference), 3.0) << positions[i];
  }
  // The seed repeats every 7 s: 2 s and 123 s show different frames.
  EXPECT_GT(MeanDifference(paused.Frames.Pictures[0], paused.Frames.Pictures[2]), 10.0);
  // A paused graph raises no end of segment, and a seek that delivers says
  // nothing more.
  RunSynchronizeRequests();
  EXPECT_EQ(paused.Frames.EndsOfSegment, 0);
  EXPECT_EQ(paused.Frames.NoFrames, 0);
}

TEST(FfmpegMedia, DeliversBottomUpDibsOfTheAskedDepthThatConvertAlike) {
  test::ExpectBothDepthsAlike(MoovFirst(), 5 * kSecond, 320, 240);
}

TEST(FfmpegMedia, ProgramStreamsAndDvDeliverFramesForSegmentsToTheEnd) {
  for (const std::string& movie : {Mpeg1(), Mpeg2(), DvAvi(), Asf()}) {
    TPausedMovie paused(movie, GrabberSubtypeFor(ProbeContainer(movie), movie));
    const TRefTime stop = paused.Stop();
    paused.Seek(2 * kSecond, SegmentStopFor(ProbeContainer(movie), movie, 2 * kSecond, stop));
    paused.Seek(stop / 2, SegmentStopFor(ProbeContainer(movie), movie, stop / 2, stop));
    ASSERT_EQ(paused.Frames.Pictures.size(), 2u) << movie;
    EXPECT_GT(MeanDifference(paused.Frames.Pictures[0], paused.Frames.Pictures[1]), 5.0) << movie;
  }
}

TEST(FfmpegMedia, RunningGraphsFollowTheClockAndSignalTheirEnd) {
  const std::string movie = TTestMovies::Get().Seed();
  TPausedMovie paused(movie);
  IMediaSeeking* seeking = paused.Graph().QueryMediaSeeking();
  // A one-second segment near the end, run: end of segment, no frames.
  seeking->SetPositions(5 * kSecond, kSegmentSeekFlags, 5 * kSecond + kSecond / 5,
                        kSegmentSeekFlags);
  ASSERT_TRUE(WaitForSeeks(*paused.Media, std::chrono::seconds(10)));
  const std::size_t framesBefore = paused.Frames.Pictures.size();
  paused.Graph().Run();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  RunSynchronizeRequests();
  TRefTime current = 0;
  TRefTime stop = 0;
  seeking->GetPositions(current, stop);
  EXPECT_EQ(current, 5 * kSecond + kSecond / 5);
  EXPECT_EQ(paused.Frames.EndsOfSegment, 1);
  EXPECT_EQ(paused.Frames.Pictures.size(), framesBefore);
}

// --- what broken files get ---

TEST(FfmpegMedia, FilesThatAreNotMoviesAreRefusedWithTheFrameworksCode) {
  test::TTempDir dir;
  const std::string text =
      dir.Write("notes.avi", "These are not the movies you are looking for.\n");
  const std::string empty = dir.Write("empty.mpg", "");
  for (const std::string& file : {text, empty}) {
    auto media = CreateMediaFramework();
    media->FilterGraph().SetActive(true);
    try {
      media->FilterGraph().RenderFile(file);
      ADD_FAILURE() << file;
    } catch (const EMediaError& error) {
      EXPECT_EQ(error.Code(), kVfwEUnsupportedStream);
      EXPECT_NE(std::string(error.what()).find("($80040265)."), std::string::npos) << error.what();
    }
  }
}

TEST(FfmpegMedia, AbsurdFrameSizesAreRefusedBeforeAnythingIsAllocated) {
  test::TTempDir dir;
  const std::string huge =
      dir.Write("huge.avi",
                "YUV4MPEG2 W100000 H100000 F25:1 Ip A1:1 C420jpeg\nFRAME\n" + std::string(64, 'x'));
  auto media = CreateMediaFramework();
  media->FilterGraph().SetActive(true);
  EXPECT_THROW(media->FilterGraph().RenderFile(huge), EMediaError);
}

TEST(FfmpegMedia, ASeekThatCanDeliverNoFrameSaysSoAtOnce) {
  // A header that promises frames which are not there: the movie cut just
  // after the start of its sample data.
  std::ifstream in(MoovFirst(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t data = bytes.find("mdat");
  ASSERT_NE(data, std::string::npos);
  test::TTempDir dir;
  const std::string headerOnly = dir.Write("header only.mp4", bytes.substr(0, data + 64));
  TPausedMovie paused(headerOnly);
  ASSERT_GT(paused.Stop(), 10 * kSecond);
  for (TRefTime position : {2 * kSecond, 10 * kSecond}) {
    paused.Seek(position, position);
    RunSynchronizeRequests();
  }
  EXPECT_TRUE(paused.Frames.Pictures.empty());
  EXPECT_EQ(paused.Frames.NoFrames, 2);
  // Only the latest seek's answer counts: an earlier one must not end the
  // wait for a later one's frame.
  paused.Graph().QueryMediaSeeking()->SetPositions(3 * kSecond, kSegmentSeekFlags, 3 * kSecond,
                                                   kSegmentSeekFlags);
  paused.Seek(4 * kSecond, 4 * kSecond);
  RunSynchronizeRequests();
  EXPECT_EQ(paused.Frames.NoFrames, 3);
}

TEST(FfmpegMedia, SoundWithoutPicturesRendersOnlyInPart) {
  const std::string sound = TTestMovies::Get().Make(
      "sound only.wmv", "-f lavfi -i sine=frequency=440:duration=5 -c:a wmav2 -f asf");
  TPausedMovie paused(sound);
  EXPECT_EQ(paused.Rendered, kVfwSVideoNotRendered);
  paused.Seek(2 * kSecond, 2 * kSecond);
  RunSynchronizeRequests();
  EXPECT_TRUE(paused.Frames.Pictures.empty());
  EXPECT_EQ(paused.Frames.NoFrames, 1);  // nobody waits for a frame that cannot come
  std::string stream;
  EXPECT_FALSE(paused.Media->FrameSource().CurrentImageToStream(stream));
}

TEST(FfmpegMedia, TruncatedAndDamagedMoviesNeverCrash) {
  const std::string movie = MoovFirst();
  std::ifstream in(movie, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  test::TTempDir dir;
  std::vector<std::string> damaged = {bytes.substr(0, bytes.size() / 2), bytes.substr(0, 3000)};
  std::string flipped = bytes;
  for (std::size_t i = 2000; i < flipped.size(); i += 997) {
    flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
  }
  damaged.push_back(flipped);
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    const std::string file = dir.Write("damaged" + std::to_string(i) + ".mov", damaged[i]);
    try {
      TPausedMovie paused(file);
      for (TRefTime position : {2 * kSecond, 10 * kSecond, 19 * kSecond}) {
        paused.Seek(position, position);
      }
      EXPECT_LE(paused.Frames.Pictures.size(), 3u);
    } catch (const EMediaError&) {
      // Refused at opening: the play loop's error path.
    }
  }
}

TEST(FfmpegMedia, AMovieDeletedWhilePlayingStillDeliversFromTheOpenFile) {
  test::TTempDir dir;
  const std::string copy = dir.Name("copy.mp4");
  std::filesystem::copy_file(TTestMovies::Get().Seed(), copy);
  TPausedMovie paused(copy);
  std::filesystem::remove(copy);
  paused.Seek(3 * kSecond, 3 * kSecond);
  EXPECT_EQ(paused.Frames.Pictures.size(), 1u);
}

// --- the play loop on real movies ---

// The fake clock, but the graph works in real time: each sleep really
// sleeps a little, and graph events are handed over at each message pass.
class TRealGraphHost : public test::TFakeSaverHost {
 public:
  void Sleep(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, 2)));
    TFakeSaverHost::Sleep(milliseconds);
  }
  void ProcessMessages() override {
    RunSynchronizeRequests();
    TFakeSaverHost::ProcessMessages();
  }
};

TEST(FfmpegMedia, ThePlayLoopShowsEverySegmentOfARealMovie) {
  const std::string movie = TenMinutes();
  TRealGraphHost host;
  auto media = CreateMediaFramework();
  test::TRecordingLog log;
  TWindowlessPlayState window;
  window.Settings.GraphicsSize = 0;
  window.Settings.DrawPosition = 0;
  window.Settings.DrawWait = 1;
  window.Screen = TBitmap24(320, 240);
  TPlayController player(host, *media, log, window.View());
  host.Draws = {30};  // the plan's draw: raw count 10 for 602 s
  host.Run(player.PlayMovie(movie));
  ASSERT_EQ(log.Lines.size(), 2u);
  EXPECT_NE(log.Lines[0].find(movie + " Start"), std::string::npos);
  EXPECT_NE(log.Lines[1].find(movie + " Stop"), std::string::npos);
  EXPECT_EQ(host.ScreenChanges, 10);  // ten segments 60.2 s apart
  EXPECT_EQ(player.SegmentPosition(), 2 * kSecond + 9 * 602 * kSecond / 10);
  // The last still is the key frame at or before 543.8 s, drawn full size.
  EXPECT_LT(MeanDifference(window.Screen, ReferenceKeyFrame(movie, 543.8, 320, 240)), 3.0);
}

TEST(FfmpegMedia, ThePlayLoopTakesAnUnplayableFileToTheErrorPath) {
  test::TTempDir dir;
  const std::string file = dir.Write("notes.avi", "not a movie at all");
  TRealGraphHost host;
  auto media = CreateMediaFramework();
  test::TRecordingLog log;
  TWindowlessPlayState window;
  TPlayController player(host, *media, log, window.View());
  host.OnSleep = [&] { host.NoticeGoneAt = 0; };  // the notice's button is pressed
  host.Run(player.PlayMovie(file));
  ASSERT_EQ(log.Lines.size(), 3u);
  EXPECT_NE(log.Lines[1].find(file + " Error"), std::string::npos);
  EXPECT_EQ(host.Notices.size(), 1u);
  EXPECT_FALSE(media->FilterGraph().Active());
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, MediaLayerContract,
                         ::testing::Values(test::TMediaLayerUnderTest{
                             "Ffmpeg", CreateMediaFramework,
                             [](const std::string& name) {
                               return std::string(TAVELUNE_TEST_MOVIES) + "/" + name;
                             }}),
                         test::MediaLayerName);

}  // namespace
}  // namespace tavelune
