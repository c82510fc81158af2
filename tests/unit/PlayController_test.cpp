// The play loop's rules, driven through whole movies on a fake clock with a
// scripted graph.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "helpers/PlayerRig.h"
#include "imaging/Canvas.h"
#include "playback/PlayController.h"

namespace tavelune {
namespace {

using test::FrameColorFor;

class TFakeSearch : public IMovieSearch {
 public:
  void Resume() override { ++Resumes; }
  bool SearchDone() const override { return Done; }
  bool Done = true;
  int Resumes = 0;
};

constexpr TRefTime kSecond = kRefTimePerSecond;

class PlayController : public ::testing::Test, protected test::TPlayerRig {
 protected:
  PlayController() {
    Player.SetMovieSearch(&Search);
    Settings.RandomSort = false;
    Settings.GraphicsSize = 0;
    Settings.DrawPosition = 0;
    Settings.DrawWait = 5;
    Screen = TBitmap24(320, 240);
    Host.OnClose = [this] { Closing = true; };
  }

  std::string Movie(const std::string& name) { return Dir.Write(name, "movie bytes"); }

  std::vector<std::string> Events() const { return Log.Events(); }

  std::vector<TRefTime> SoughtPositions() const {
    std::vector<TRefTime> positions;
    for (const std::string& call : Media.CallsNamed("SetPositions(")) {
      positions.push_back(std::stoll(call.substr(13)) * 10'000);
    }
    return positions;
  }

  TColor CentrePixel() const { return PixelColor(Screen, 160, 120); }

  // Plays `movie` with 30 s holds; returns how long it took on the fake
  // clock, in milliseconds.
  std::int64_t PlayWithLongHolds(const std::string& movie) {
    Settings.DrawWait = 30;
    const std::int64_t before = Host.NowMs;
    Host.Run(Player.PlayMovie(movie));
    return Host.NowMs - before;
  }

  TFakeSearch Search;
};

// --- the segment plan ---

TEST(SegmentPlan, FollowsTheLengthBetweenTheBounds) {
  // Ten minutes, a segment a minute, 10..30: the draw moves the raw count
  // between 10 and 9, the count stays 10.
  for (int draw : {0, 1, 30, 59}) {
    const TSegmentPlan plan = PlanSegments(600 * kSecond, 60, 10, 30, draw);
    EXPECT_EQ(plan.Raw, draw < 59 ? 10 : 9) << draw;
    EXPECT_EQ(plan.Count, 10);
    EXPECT_EQ(plan.Step, 60 * kSecond);
  }
  const TSegmentPlan hour = PlanSegments(3600 * kSecond, 60, 10, 30, 0);
  EXPECT_EQ(hour.Raw, 60);
  EXPECT_EQ(hour.Count, 30);
  EXPECT_EQ(hour.Step, 120 * kSecond);
  const TSegmentPlan clip = PlanSegments(30 * kSecond, 60, 10, 30, 5);
  EXPECT_EQ(clip.Raw, 1);
  EXPECT_EQ(clip.Count, 10);
  EXPECT_EQ(clip.Step, 3 * kSecond);
}

TEST(SegmentPlan, TestsTheMinimumFirstAndFallsBackToTen) {
  EXPECT_EQ(PlanSegments(600 * kSecond, 60, 0, 0, 0).Count, 10);
  // Minimum above maximum: below the minimum gives it, anything else the maximum.
  EXPECT_EQ(PlanSegments(182 * kSecond, 60, 20, 5, 0).Count, 20);  // raw 3 or 4
  EXPECT_EQ(PlanSegments(1443 * kSecond, 60, 20, 5, 0).Raw, 25);
  EXPECT_EQ(PlanSegments(1443 * kSecond, 60, 20, 5, 0).Count, 5);
}

TEST(SegmentPlan, WithoutALengthEverySegmentStartsAtTwoSeconds) {
  const TSegmentPlan plan = PlanSegments(0, 60, 10, 30, 0);
  EXPECT_LE(plan.Raw, 1);
  EXPECT_EQ(plan.Count, 10);
  EXPECT_EQ(plan.Step, 0);
}

TEST(SegmentPlan, AWholeQuotientCanFallJustBelowThroughTheDayCount) {
  // 1442 s less the 2-second offset is exactly 24 intervals of 60 s, but
  // the day count of 1440 s is stored a little low, so the quotient is
  // truncated to 23 and the raw count is 24, not 25. One second more is
  // clear of the edge.
  EXPECT_EQ(PlanSegments(1442 * kSecond, 60, 0, 100, 0).Raw, 24);
  EXPECT_EQ(PlanSegments(1443 * kSecond, 60, 0, 100, 0).Raw, 25);
  EXPECT_EQ(PlanSegments(1441 * kSecond, 60, 0, 100, 0).Raw, 24);
}

TEST(SegmentPlan, AnIntervalBelowOneSecondCountsAsOne) {
  const TSegmentPlan plan = PlanSegments(12 * kSecond, 0, 0, 100, 0);
  EXPECT_EQ(plan.Raw, 11);
  EXPECT_EQ(PlanSegments(12 * kSecond, -5, 0, 100, 0).Raw, 11);
}

TEST(SegmentPlan, GrabFormatAndSegmentStopFollowTheKind) {
  EXPECT_EQ(GrabberSubtypeFor("MPG2", "a.mpg"), TMediaSubtype::RGB24);
  EXPECT_EQ(GrabberSubtypeFor("MPG1", "a.mpg"), TMediaSubtype::RGB24);
  EXPECT_EQ(GrabberSubtypeFor(".MP4", "a.vOb"), TMediaSubtype::RGB24);
  EXPECT_EQ(GrabberSubtypeFor("x", "a.m2p"), TMediaSubtype::RGB24);
  EXPECT_EQ(GrabberSubtypeFor("dvsd", "a.avi"), TMediaSubtype::RGB32);
  EXPECT_EQ(GrabberSubtypeFor("MOOV", "a.mov"), TMediaSubtype::RGB32);

  const TRefTime end = 100 * kSecond;
  EXPECT_EQ(SegmentStopFor("MPG1", "a.mpg", 2 * kSecond, end), end);
  EXPECT_EQ(SegmentStopFor("dvsd", "a.avi", 2 * kSecond, end), end);
  EXPECT_EQ(SegmentStopFor(".VRO", "a.Vro", 2 * kSecond, end), end);
  EXPECT_EQ(SegmentStopFor("MPG2", "a.mpg", 2 * kSecond, end), end);
  // MPEG-2 under another name: an empty segment once the start passed the end.
  EXPECT_EQ(SegmentStopFor("MPG2", "a.mpg", 120 * kSecond, end), 120 * kSecond);
  EXPECT_EQ(SegmentStopFor("MOOV", "a.mov", 2 * kSecond, end), 2 * kSecond);
}

// --- one movie ---

TEST_F(PlayController, PlaysAMovieSegmentBySegmentOnAPausedGraph) {
  const std::string movie = Movie("ten minutes.mp4");
  Host.Draws = {0};  // the plan's draw
  Host.Run(Player.PlayMovie(movie));

  EXPECT_EQ(Events(), (std::vector<std::string>{movie + " Start", movie + " Stop"}));
  const std::vector<std::string> start(Media.Calls.begin(), Media.Calls.begin() + 9);
  EXPECT_EQ(start, (std::vector<std::string>{"ApplyGrabberType(RGB32)", "SetActive(true)",
                                             "EmptyGraph", "SetActive(false)", "SetActive(true)",
                                             "RenderFile(" + movie + ")", "SetVolume(0)", "Run",
                                             "GetPositions"}));
  std::vector<TRefTime> expected;
  for (int k = 0; k < 10; ++k) {
    expected.push_back(2 * kSecond + k * 60 * kSecond);
  }
  EXPECT_EQ(SoughtPositions(), expected);
  // An empty segment for this kind, with the segment flags.
  EXPECT_EQ(Media.CallsNamed("SetPositions(").front(), "SetPositions(2000ms,2000ms,21,21)");
  const std::vector<std::string> end(Media.Calls.end() - 3, Media.Calls.end());
  EXPECT_EQ(end, (std::vector<std::string>{"Stop", "EmptyGraph", "SetActive(false)"}));
  // The last still on screen is the last segment's frame.
  EXPECT_EQ(CentrePixel(), FrameColorFor(542 * kSecond));
  EXPECT_EQ(Player.SegmentPosition(), 542 * kSecond);
  EXPECT_FALSE(Player.GrabRequest().Wanted());
  EXPECT_FALSE(Player.GrabTimer().Enabled());
  EXPECT_EQ(Host.CloseRequests, 0);
}

TEST_F(PlayController, ReadsTheLengthAfterASecondOfPlayAtMostTenTimes) {
  const std::string movie = Movie("m.mp4");
  Host.Run(Player.PlayMovie(movie));
  // The fake's position follows the clock: after 5 rounds of 200 ms it
  // has passed one second.
  EXPECT_EQ(Media.CallsNamed("GetPositions").size(), 6u);

  Media.Calls.clear();
  Media.ReportsLength = false;
  Media.FailingCalls = {};
  Host.Run(Player.PlayMovie(movie));
  EXPECT_EQ(Media.CallsNamed("GetPositions").size(), 6u);
  // Without a length every segment starts at two seconds.
  const std::vector<TRefTime> positions = SoughtPositions();
  EXPECT_EQ(positions.size(), 10u);
  EXPECT_TRUE(
      std::all_of(positions.begin(), positions.end(), [](TRefTime p) { return p == 2 * kSecond; }));
}

TEST_F(PlayController, DvdRecordingsSeekToTheEndAndGrab24BitFrames) {
  const std::string movie = Movie("recording.VOB");
  Host.Run(Player.PlayMovie(movie));
  EXPECT_EQ(Media.Calls.front(), "ApplyGrabberType(RGB24)");
  EXPECT_EQ(Media.CallsNamed("SetPositions(").front(), "SetPositions(2000ms,600000ms,21,21)");
}

TEST_F(PlayController, AVanishedMovieWritesOneLineAndNothingElse) {
  Host.Run(Player.PlayMovie(Dir.Name("gone.mp4")));
  EXPECT_EQ(Log.Lines, (std::vector<std::string>{Dir.Name("gone.mp4") + " not Found"}));
  EXPECT_TRUE(Media.Calls.empty());
}

TEST_F(PlayController, ARecordingTheLibraryMarksUnusableIsSkipped) {
  const std::string movie = Movie("0000 show.mpg");
  // A side file that opens but holds no entry line: the record stays
  // empty, its length is 0, and the movie is skipped.
  Dir.Write("0000 show.SDB", "header only\r\n");
  Host.Run(Player.PlayMovie(movie));
  EXPECT_EQ(Events(), (std::vector<std::string>{movie + " Start", movie + " Stop"}));
  EXPECT_TRUE(Media.CallsNamed("RenderFile").empty());
}

TEST_F(PlayController, AFileTheGraphCannotRenderEndsTheRunAfterTheNotice) {
  const std::string movie = Movie("broken.avi");
  Media.FailingCalls = {"RenderFile"};
  const std::int64_t before = Host.NowMs;
  Host.Run(Player.PlayMovie(movie));
  EXPECT_EQ(Events(),
            (std::vector<std::string>{movie + " Start", movie + " Error", movie + " Stop"}));
  EXPECT_EQ(Host.Notices, std::vector<std::string>{movie});
  // Waited for the notice's minute, then asked the window to close.
  EXPECT_GE(Host.NowMs - before, 60'000);
  EXPECT_LT(Host.NowMs - before, 61'000);
  EXPECT_GE(Host.CloseRequests, 1);
  EXPECT_FALSE(Player.GrabRequest().Wanted());
}

TEST_F(PlayController, InputWhileTheNoticeIsUpEndsTheWaitAtOnce) {
  const std::string movie = Movie("broken.avi");
  Media.FailingCalls = {"Pause"};
  Host.OnSleep = [&] {
    if (!Host.Notices.empty() && Host.NowMs > Host.NoticeGoneAt - 55'000) {
      Closing = true;
    }
  };
  Host.Run(Player.PlayMovie(movie));
  EXPECT_LT(Host.NowMs, Host.NoticeGoneAt - 54'000);
  EXPECT_EQ(Events().back(), movie + " Stop");
  EXPECT_TRUE(Host.ErrorNoticeShowing());  // the notice itself stays
}

TEST_F(PlayController, ErrorsWhilePreparingTheMoviePropagateAfterTheStopSequence) {
  const std::string movie = Movie("m.mp4");
  Player.MovieList() = {movie};
  Media.FailingCalls = {"ApplyGrabberType"};
  EXPECT_THROW(Host.Run(Player.PlayNext()), EMediaError);
  EXPECT_FALSE(Player.Playing());
  EXPECT_EQ(Events(), (std::vector<std::string>{movie + " Start", movie + " Stop"}));
  EXPECT_TRUE(Host.Notices.empty());
}

TEST_F(PlayController, APartialRenderWaitsUpToFiveSecondsForAGraphEvent) {
  const std::string movie = Movie("m.mp4");
  Media.RenderResult = kVfwSPartialRender;
  Host.Run(Player.PlayMovie(movie));
  EXPECT_EQ(std::count(Host.Sleeps.begin(), Host.Sleeps.end(), 10), 500);

  // An event ends the wait.
  Host.Sleeps.clear();
  Host.OnSleep = [&] {
    if (Host.Sleeps.size() == 20) {
      Host.Messages.push_back([&] { Media.Listener->OnGraphEvent(kEcPaused); });
    }
  };
  Host.Run(Player.PlayMovie(movie));
  EXPECT_EQ(std::count(Host.Sleeps.begin(), Host.Sleeps.end(), 10), 20);
}

TEST_F(PlayController, NoFrameAndNoSnapshotShowsNothingAndHoldsNothing) {
  Media.DeliversFrames = false;
  // Per segment: the grab wait of 50 × 100 ms (and the pre-seek sleep),
  // no hold.
  EXPECT_LT(PlayWithLongHolds(Movie("m.mp4")), 10 * 5200 + 2000);
  EXPECT_EQ(CentrePixel(), 0u);
  EXPECT_EQ(Events().size(), 2u);
}

TEST_F(PlayController, EmptyFramesAreNeitherDrawnNorHeld) {
  Media.FrameWidth = 0;
  EXPECT_LT(PlayWithLongHolds(Movie("m.mp4")), 30'000);
  EXPECT_EQ(Media.CallsNamed("SetPositions(").size(), 10u);
  EXPECT_EQ(CentrePixel(), 0u);
}

TEST_F(PlayController, WithSkipBlankABlankFrameGivesWayToLaterFramesOfItsSegment) {
  const std::string movie = Movie("m.mp4");
  Media.DetailedFrames = true;
  // Black for the first 20 s and from 120 s to 200 s.
  Media.BlackAt = [](TRefTime position) {
    return position < 20 * kSecond || (position >= 120 * kSecond && position < 200 * kSecond);
  };
  Host.Draws = {0};
  Host.Run(Player.PlayMovie(movie));
  EXPECT_EQ(SoughtPositions().size(), 10u);  // off: black frames are drawn as they come

  Settings.SkipBlank = true;
  Media.Calls.clear();
  Host.Draws = {0};
  // Segments 60 s apart, tried again a quarter of a segment further on: the
  // first shows 32 s, the third nothing (all four black), the fourth 212 s.
  const std::int64_t took = PlayWithLongHolds(movie);
  std::vector<TRefTime> expected = {2, 17, 32, 62, 122, 137, 152, 167, 182, 197, 212};
  for (TRefTime start = 242; start <= 542; start += 60) {
    expected.push_back(start);
  }
  for (TRefTime& position : expected) {
    position *= kSecond;
  }
  EXPECT_EQ(SoughtPositions(), expected);
  // Nine stills held, the blank segment not.
  EXPECT_GE(took, 9 * 30'000);
  EXPECT_LT(took, 10 * 30'000);
  EXPECT_EQ(Events(), (std::vector<std::string>{movie + " Start", movie + " Stop", movie + " Start",
                                                movie + " Stop"}));
}

TEST_F(PlayController, ASeekThatSaysNoFrameIsComingEndsItsWaitAtOnce) {
  const std::string movie = Movie("m.mp4");
  Media.DeliversFrames = false;
  Media.TellsNoFrame = true;
  // Ten segments: the settle time, the length, and per segment its
  // pre-seek sleep and one round of the grab wait; nothing drawn or held.
  EXPECT_LT(PlayWithLongHolds(movie), 5'000);
  EXPECT_EQ(Media.CallsNamed("SetPositions(").size(), 10u);
  EXPECT_EQ(CentrePixel(), 0u);
  EXPECT_EQ(Events(), (std::vector<std::string>{movie + " Start", movie + " Stop"}));
}

TEST_F(PlayController, WithoutAGrabTheVideoWindowsImageIsShown) {
  const std::string movie = Movie("m.mp4");
  Media.DeliversFrames = false;
  Media.SetSnapshot(0x123456);
  Host.Run(Player.PlayMovie(movie));
  EXPECT_EQ(CentrePixel(), 0x123456u);
}

// --- input in every state of the play loop ---

// How a run that input ended went: when it ended on the fake clock, and
// its history's events with the movie's folder left out.
struct TEndedRun {
  std::int64_t EndedAtMs = 0;
  std::vector<std::string> Events;
};

// A play loop set up by `setUp`, a key at `keyAtMs` doing what the saver's
// key does (the closing flag, the window's close, which wakes the loop and
// ends discovery's walk), run until the loop has ended.
TEndedRun EndedByAKey(const std::function<void(test::TPlayerRig&, TFakeSearch&)>& setUp,
                      std::int64_t keyAtMs) {
  test::TPlayerRig rig;
  TFakeSearch search;
  rig.Player.SetMovieSearch(&search);
  rig.Settings.RandomSort = false;
  rig.Settings.GraphicsSize = 0;
  rig.Settings.DrawPosition = 0;
  rig.Settings.DrawWait = 5;
  rig.Screen = TBitmap24(320, 240);
  rig.Host.OnClose = [&] { rig.Closing = true; };
  setUp(rig, search);
  rig.Host.At(keyAtMs, [&] {
    rig.Closing = true;
    rig.Host.RequestClose();
    search.Done = true;
    rig.Player.WakeUp();
  });
  rig.Host.Run(rig.Player.PlayLoop());
  TEndedRun ended{rig.Host.NowMs, {}};
  const std::string folder = rig.Dir.Name("");
  for (std::string event : rig.Log.Events()) {
    if (event.rfind(folder, 0) == 0) {
      event.erase(0, folder.size());
    }
    ended.Events.push_back(event);
  }
  return ended;
}

TEST(PlayLoopInput, AKeyEndsTheRunAtOnceInEveryStateWithTheLinesOfThatState) {
  using TEvents = std::vector<std::string>;
  // A movie to play, on media that `script` sets up.
  const auto aMovieWhere = [](std::function<void(test::TPlayerRig&)> script) {
    return [script](test::TPlayerRig& rig, TFakeSearch&) {
      rig.Player.MovieList() = {rig.Dir.Write("m.mp4", "movie bytes")};
      script(rig);
    };
  };
  const auto aMovie = aMovieWhere([](test::TPlayerRig&) {});
  const TEvents played{"m.mp4 Start", "m.mp4 Stop"};
  const TEvents nothingFound{"Movie not found", "FsrFileRead.Resume"};
  struct TCase {
    const char* State;
    std::function<void(test::TPlayerRig&, TFakeSearch&)> SetUp;
    std::int64_t KeyAtMs;
    TEvents Events;
  };
  const std::vector<TCase> cases = {
      {"waiting for the walk's first movie",
       [](test::TPlayerRig&, TFakeSearch& search) { search.Done = false; }, 250, nothingFound},
      {"pausing between movies", [](test::TPlayerRig&, TFakeSearch&) {}, 700, nothingFound},
      {"waiting for a movie not shown before",
       [](test::TPlayerRig& rig, TFakeSearch& search) {
         static TShownMemory memory(rig.Dir.Name("shown.txt"));
         memory.Remember("old");
         rig.Player.SetShownMemory(&memory);
         rig.Settings.RandomSort = true;
         rig.Player.MovieList() = {"old"};
         search.Done = false;
       },
       350,
       {"old not Found"}},
      {"starting the movie", aMovie, 150, played},
      {"waiting for a graph event after a partial render",
       aMovieWhere([](test::TPlayerRig& rig) { rig.Media.RenderResult = kVfwSPartialRender; }),
       1500, played},
      {"reading the length", aMovie, 700, played},
      {"waiting for the grab", aMovieWhere([](test::TPlayerRig& rig) {
         rig.Media.DeliversFrames = false;
         rig.Media.HasSnapshot = false;
       }),
       4000, played},
      {"holding a still", aMovie, 3000, played},
      {"pausing before the next segment",
       aMovieWhere([](test::TPlayerRig& rig) { rig.Settings.DrawWait = 0; }), 1650, played},
      {"showing the error notice",
       aMovieWhere([](test::TPlayerRig& rig) { rig.Media.FailingCalls = {"Pause"}; }),
       9000,
       {"m.mp4 Start", "m.mp4 Error", "m.mp4 Stop"}},
  };
  for (const TCase& state : cases) {
    SCOPED_TRACE(state.State);
    const TEndedRun ended = EndedByAKey(state.SetUp, state.KeyAtMs);
    EXPECT_EQ(ended.EndedAtMs, state.KeyAtMs);
    EXPECT_EQ(ended.Events, state.Events);
  }
}

TEST_F(PlayController, InputDuringAHoldEndsTheMovieWithinATenthOfASecond) {
  const std::string movie = Movie("m.mp4");
  Settings.DrawWait = 59;
  std::int64_t closedAt = -1;
  Host.OnSleep = [&] {
    if (closedAt < 0 && Host.NowMs >= 20'000) {
      closedAt = Host.NowMs;
      Closing = true;
      Player.WakeUp();  // as the window's close does
    }
  };
  Host.Run(Player.PlayMovie(movie));
  EXPECT_LE(Host.NowMs - closedAt, 100);
  EXPECT_EQ(SoughtPositions().size(), 1u);
  EXPECT_EQ(Events().back(), movie + " Stop");
  EXPECT_GE(Host.CloseRequests, 1);
}

TEST_F(PlayController, EverySeekRestartsTheGrabTimerWhichClearsAStaleRequest) {
  const std::string movie = Movie("m.mp4");
  Media.DeliversFrames = false;
  Media.SetSnapshot(0x010203);
  Settings.DrawWait = 20;
  auto* timer = static_cast<test::TFakeSaverHost::TTimer*>(&Player.GrabTimer());
  // 5 s of grab wait and a 20 s hold: the timer fires 10 s after each seek,
  // during the hold, and clears nothing that ShowStill would not clear.
  Host.Run(Player.PlayMovie(movie));
  EXPECT_EQ(timer->Fired, 20);  // twice in each of ten holds (10 s and 20 s)
  EXPECT_FALSE(timer->Enabled());
  EXPECT_FALSE(Player.GrabRequest().Wanted());
}

// --- taking movies and the loop ---

TEST_F(PlayController, TakesMoviesInFoundOrderOrAtRandom) {
  Player.MovieList() = {"a", "b", "c", "d"};
  EXPECT_EQ(Host.Run(Player.TakeNextMovie()), "a");
  Settings.RandomSort = true;
  Host.Draws = {2};
  EXPECT_EQ(Host.Run(Player.TakeNextMovie()), "d");
  EXPECT_EQ(Player.MovieList(), (std::vector<std::string>{"b", "c"}));
}

// Several runs of the saver, one after another, each a fresh controller on
// a fresh fake clock over the same six movies and the same memory file.
TEST(ShownMemoryRuns, ShufflePrefersMoviesEarlierRunsDidNotShowUntilAllHadTheirTurn) {
  test::TTempDir cache;
  const std::string memoryFile = cache.Name("tavelune/shown.txt");
  const std::vector<std::string> library = {"a", "b", "c", "d", "e", "f"};
  std::set<std::string> shown;
  auto run = [&](int movies) {
    test::TPlayerRig rig;
    rig.Settings.RandomSort = true;
    TShownMemory memory(memoryFile);
    rig.Player.SetShownMemory(&memory);
    rig.Player.MovieList() = library;
    std::vector<std::string> taken;
    for (int i = 0; i < movies; ++i) {
      taken.push_back(rig.Host.Run(rig.Player.TakeNextMovie()));
    }
    return std::make_pair(taken, memory.Size());
  };
  for (int runs = 0; runs < 3; ++runs) {
    for (const std::string& movie : run(2).first) {
      EXPECT_TRUE(shown.insert(movie).second) << movie << " came back before its turn";
    }
  }
  EXPECT_EQ(shown.size(), 6u);
  // Every movie has been shown: the memory starts again with the next one.
  const auto [taken, remembered] = run(1);
  EXPECT_EQ(remembered, 1u);
  EXPECT_EQ(run(5).second, 6u);  // the five others first
}

TEST_F(PlayController, AMemoryOfShownMoviesWaitsForTheWalkToFindAnUnshownOne) {
  TShownMemory memory(Dir.Name("shown.txt"));
  memory.Remember("old");
  Player.SetShownMemory(&memory);
  Settings.RandomSort = true;
  Search.Done = false;
  Player.MovieList() = {"old"};
  Host.OnMessages = [&] {
    if (Host.NowMs == 500) {
      Player.MovieList().push_back("new");
    }
  };
  EXPECT_EQ(Host.Run(Player.TakeNextMovie()), "new");
  EXPECT_EQ(Host.NowMs, 600);  // its next look, a tenth of a second later
  // Without shuffle the memory plays no part.
  Settings.RandomSort = false;
  Player.MovieList() = {"old", "new"};
  EXPECT_EQ(Host.Run(Player.TakeNextMovie()), "old");
}

TEST_F(PlayController, WaitsSilentlyForAMovieWhileAWalkRuns) {
  Search.Done = false;
  Host.OnMessages = [&] {
    if (Host.NowMs >= 700) {
      Player.MovieList().push_back("found");
    }
  };
  EXPECT_EQ(Host.Run(Player.TakeNextMovie()), "found");
  EXPECT_EQ(Host.NowMs, 800);  // its next look, a tenth of a second later
  EXPECT_TRUE(Log.Lines.empty());
}

TEST_F(PlayController, AnEmptyListAfterAWalkWakesDiscoveryOnEveryPass) {
  Host.Draws = {0, 2499, 1000};      // pauses of 1500, 3999 and 2500 ms
  std::vector<std::int64_t> passes;  // when each pass was seen
  Host.OnSleep = [&] {
    const std::vector<std::string> events = Events();
    const auto seen =
        static_cast<std::size_t>(std::count(events.begin(), events.end(), "Movie not found"));
    if (seen > passes.size()) {
      passes.push_back(Host.NowMs);
    }
    if (passes.size() == 3) {
      Closing = true;
    }
  };
  Host.Run(Player.PlayLoop());
  EXPECT_EQ(Events(), (std::vector<std::string>{"Movie not found", "FsrFileRead.Resume",
                                                "Movie not found", "FsrFileRead.Resume",
                                                "Movie not found", "FsrFileRead.Resume"}));
  EXPECT_EQ(Search.Resumes, 3);
  ASSERT_EQ(passes.size(), 3u);
  // Each pass is seen at the end of the pause after it, which is one wait;
  // the last one, without a close to wake it, runs out.
  EXPECT_EQ(passes[1] - passes[0], 3999);
  EXPECT_EQ(passes[2] - passes[1], 2500);
  EXPECT_EQ(Host.Sleeps, (std::vector<int>{1500, 3999, 2500}));
  EXPECT_EQ(Host.CloseRequests, 1);
}

TEST_F(PlayController, InputDuringThePauseBetweenMoviesEndsItAtOnce) {
  Host.Draws = {2499};
  Host.At(300, [&] {
    Closing = true;
    Player.WakeUp();
  });
  Host.Run(Player.PlayLoop());
  EXPECT_EQ(Host.NowMs, 300);
  EXPECT_EQ(Host.CloseRequests, 1);
}

TEST_F(PlayController, ARunThatEndsDuringAMovieSkipsThePauseAfterIt) {
  const std::string movie = Movie("m.mp4");
  Player.MovieList() = {movie};
  bool stopped = false;
  int sleepsAfterStop = 0;
  Host.OnSleep = [&] {
    sleepsAfterStop += stopped ? 1 : 0;
    stopped = !Events().empty() && Events().back() == movie + " Stop";
    if (Host.NowMs >= 8'000 && !Closing) {
      Closing = true;
      Player.WakeUp();
    }
  };
  Host.Run(Player.PlayLoop());
  EXPECT_EQ(Events().back(), movie + " Stop");
  EXPECT_EQ(sleepsAfterStop, 0);
}

TEST_F(PlayController, PlayNextDoesNothingBeforeActivationOrWhilePlaying) {
  Player.MovieList() = {Movie("m.mp4"), Movie("n.mp4")};
  Activated = false;
  EXPECT_TRUE(Host.Run(Player.PlayNext()));
  EXPECT_EQ(Player.MovieList().size(), 2u);
  Activated = true;
  // A call from a handler while a movie plays takes nothing, and ends
  // without waiting.
  bool nestedCall = false;
  Host.OnSleep = [&] {
    if (Player.Playing() && !nestedCall) {
      nestedCall = true;
      TPlayTask<bool> second = Player.PlayNext();
      second.Start();
      ASSERT_TRUE(second.Done());
      EXPECT_TRUE(second.Result());
      EXPECT_EQ(Player.MovieList().size(), 1u);
    }
  };
  EXPECT_TRUE(Host.Run(Player.PlayNext()));
  EXPECT_TRUE(nestedCall);
  EXPECT_FALSE(Player.Playing());
  Host.OnSleep = nullptr;
  EXPECT_TRUE(Host.Run(Player.PlayNext()));
  EXPECT_TRUE(Player.MovieList().empty());
  EXPECT_FALSE(Host.Run(Player.PlayNext()));  // nothing left, walk done
}

}  // namespace
}  // namespace tavelune
