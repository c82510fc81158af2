// The graph over a decoding backend, on a fake backend whose every decode
// the test decides: the deadlines of opens and seeks, the notice that no
// frame is coming, closing while a seek is under way, and the stills that
// reach the listener.

#include "playback/StillGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Synchronize.h"
#include "imaging/BmpFile.h"
#include "playback/MediaFramework.h"

namespace tavelune {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
constexpr TRefTime kSecond = kRefTimePerSecond;

// However long a fake waits for the graph to interrupt it: a graph that
// never does fails the test instead of hanging it.
constexpr auto kPatience = 2s;

// Polls as a demuxer's interrupt callback does; false when kPatience ran out.
bool PollUntil(const std::function<bool()>& done) {
  const auto giveUp = TClock::now() + kPatience;
  while (!done()) {
    if (TClock::now() > giveUp) {
      return false;
    }
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// The graph's deadlines are seconds long. The interruption it hands to the
// backend is its own, not a const object, so a fake may bring the deadline
// under way forward to now instead of waiting for it.
void PassDeadline(const TInterruption& interruption) {
  const_cast<TInterruption&>(interruption).Arm(-1ms);
}

TStill MakeStill(int width, int height, int bitCount, double sampleTime = 0) {
  TStill still;
  still.Format = {width, height, bitCount};
  still.Image.resize(still.Format.ImageSize());
  for (std::size_t i = 0; i < still.Image.size(); ++i) {
    still.Image[i] = static_cast<std::uint8_t>(i * 37 + 11);
  }
  still.SampleTime = sampleTime;
  return still;
}

// Puts `made` into the still the graph handed over, into the memory it
// offered, as a real decoder does.
void HandOver(const TStill& made, TStill& still) {
  still.Format = made.Format;
  still.Image.assign(made.Image.begin(), made.Image.end());
  still.SampleTime = made.SampleTime;
}

// What the picture of `still` must be: its bottom-up rows turned top-down,
// the padding and a fourth byte left out.
TBitmap24 PictureOf(const TStill& still) {
  const TDibFormat& format = still.Format;
  TBitmap24 picture(format.Width, format.Height);
  for (int y = 0; y < format.Height; ++y) {
    for (int x = 0; x < format.Width; ++x) {
      const std::size_t from = static_cast<std::size_t>(format.Height - 1 - y) * format.Stride() +
                               static_cast<std::size_t>(x) * (format.BitCount / 8);
      for (int channel = 0; channel < 3; ++channel) {
        picture.Pixel(x, y)[channel] = still.Image[from + channel];
      }
    }
  }
  return picture;
}

using TDecode = std::function<bool(TRefTime position, int bitCount,
                                   const TInterruption& interruption, TStill& still)>;

// What one DecodeStill call was handed.
struct TDecodeCall {
  TRefTime Position = 0;
  int BitCount = 0;
  const std::uint8_t* ImageData = nullptr;  // the memory offered for the picture
  std::size_t ImageSize = 0;
  std::chrono::milliseconds Remaining{0};  // of the seek's deadline, on entry
  bool InterruptedOnEntry = false;
};

// Shared by the test and the fake backend and sources (which the graph owns).
class TScript {
 public:
  // --- what the fake does ---
  // Decoders for the next DecodeStill calls, one each; after them, every
  // call delivers a 4 × 2 still of the depth asked for, timed at the whole
  // second at or before the position.
  void Next(TDecode decode) {
    std::lock_guard lock(FMutex);
    FDecoders.push_back(std::move(decode));
  }
  // UI thread, before RenderFile: what Open does with the interruption it
  // is handed before it returns (it may throw).
  std::function<void(const TInterruption&)> OnOpen;
  TRefTime Duration = 60 * kSecond;
  THResult OpenResult = kSOk;

  // --- what it saw ---
  std::vector<TDecodeCall> Calls() const {
    std::lock_guard lock(FMutex);
    return FCalls;
  }
  // Until `count` DecodeStill calls have begun.
  bool WaitForCalls(std::size_t count) {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, kPatience, [&] { return FCalls.size() >= count; });
  }
  std::vector<std::string> Log() const {
    std::lock_guard lock(FMutex);
    return FLog;
  }
  int SourcesOpen() const {
    std::lock_guard lock(FMutex);
    return FSourcesOpen;
  }

  // --- the fake's side ---
  void Record(const std::string& what) {
    std::lock_guard lock(FMutex);
    FLog.push_back(what);
  }
  void SourceOpened() {
    std::lock_guard lock(FMutex);
    ++FSourcesOpen;
  }
  void SourceClosed() {
    std::lock_guard lock(FMutex);
    --FSourcesOpen;
    FLog.push_back("close");
  }
  TDecode Begin(const TDecodeCall& call) {
    std::lock_guard lock(FMutex);
    FCalls.push_back(call);
    FLog.push_back("decode");
    FChanged.notify_all();
    if (FDecoders.empty()) {
      return [](TRefTime position, int bitCount, const TInterruption&, TStill& still) {
        HandOver(MakeStill(4, 2, bitCount, static_cast<double>(position / kSecond)), still);
        return true;
      };
    }
    TDecode decode = std::move(FDecoders.front());
    FDecoders.pop_front();
    return decode;
  }

 private:
  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<TDecode> FDecoders;
  std::vector<TDecodeCall> FCalls;
  std::vector<std::string> FLog;
  int FSourcesOpen = 0;
};

class TFakeSource : public IStillSource {
 public:
  explicit TFakeSource(std::shared_ptr<TScript> script) : FScript(std::move(script)) {
    FScript->SourceOpened();
  }
  ~TFakeSource() override { FScript->SourceClosed(); }
  bool DecodeStill(TRefTime position, int bitCount, const TInterruption& interruption,
                   TStill& still) override {
    const TDecode decode =
        FScript->Begin({position, bitCount, still.Image.data(), still.Image.size(),
                        interruption.Remaining(), interruption.Interrupted()});
    const bool decoded = decode(position, bitCount, interruption, still);
    FScript->Record(interruption.Aborted() ? "decode ended, aborted" : "decode ended");
    return decoded;
  }

 private:
  std::shared_ptr<TScript> FScript;
};

class TFakeBackend : public IStillBackend {
 public:
  explicit TFakeBackend(std::shared_ptr<TScript> script) : FScript(std::move(script)) {}
  TOpenedSource Open(const std::string& fileName, const TInterruption& interruption) override {
    FScript->Record("open " + fileName);
    if (FScript->OnOpen) {
      FScript->OnOpen(interruption);
    }
    return {std::make_unique<TFakeSource>(FScript), FScript->Duration, FScript->OpenResult};
  }

 private:
  std::shared_ptr<TScript> FScript;
};

// --- decoders ---

// Delivers `still` as it is, plausible or not.
TDecode Delivers(const TStill& made) {
  return [made](TRefTime, int, const TInterruption&, TStill& still) {
    HandOver(made, still);
    return true;
  };
}

TDecode GivesNothing() {
  return [](TRefTime, int, const TInterruption&, TStill&) { return false; };
}

// Hangs as a demuxer on a stalled file does, until the graph interrupts it.
TDecode HangsUntilInterrupted() {
  return [](TRefTime, int, const TInterruption& interruption, TStill&) {
    PollUntil([&] { return interruption.Interrupted(); });
    return false;
  };
}

// Pays no heed to the interruption until it is aborted, then hands over a
// complete still all the same.
TDecode FinishesWhenAborted() {
  return [](TRefTime, int bitCount, const TInterruption& interruption, TStill& still) {
    PollUntil([&] { return interruption.Aborted(); });
    still = MakeStill(4, 2, bitCount);
    return true;
  };
}

// Lets the test decide when a decode ends.
class TGate {
 public:
  void Release() {
    std::lock_guard lock(FMutex);
    FReleased = true;
    FChanged.notify_all();
  }
  // Waits to be released (or for kPatience), then decodes as `then` does.
  TDecode Then(TDecode then) {
    return [this, then](TRefTime position, int bitCount, const TInterruption& interruption,
                        TStill& still) {
      std::unique_lock lock(FMutex);
      FChanged.wait_for(lock, kPatience, [this] { return FReleased; });
      lock.unlock();
      return then(position, bitCount, interruption, still);
    };
  }

 private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FReleased = false;
};

// --- the listener ---

struct TSample {
  double SampleTime = 0;
  std::vector<std::uint8_t> Bytes;
  bool Converted = false;
  TBitmap24 Picture;
  std::thread::id Thread;
};

class TListener : public IGraphListener {
 public:
  explicit TListener(ISampleGrabber& grabber) : FGrabber(&grabber) {}
  // UI thread, counted at hand-over points.
  void OnGraphEvent(long code) override { Events.push_back(code); }
  void OnEndOfSegment() override { ++EndsOfSegment; }
  void OnNoFrame() override { ++NoFrames; }
  void OnSample(double sampleTime, const std::uint8_t* buffer, std::size_t length) override {
    TSample sample{sampleTime, {buffer, buffer + length}, false, {}, std::this_thread::get_id()};
    sample.Converted = FGrabber->SampleToBitmap(sample.Picture, buffer, length);
    std::lock_guard lock(FMutex);
    if (FClosed) {
      ++FLateSamples;
    }
    FSamples.push_back(std::move(sample));
  }
  // From now on no sample may come.
  void Closed() {
    std::lock_guard lock(FMutex);
    FClosed = true;
  }
  std::vector<TSample> Samples() const {
    std::lock_guard lock(FMutex);
    return FSamples;
  }
  int LateSamples() const {
    std::lock_guard lock(FMutex);
    return FLateSamples;
  }

  std::vector<long> Events;
  int EndsOfSegment = 0;
  int NoFrames = 0;

 private:
  ISampleGrabber* FGrabber;
  mutable std::mutex FMutex;
  std::vector<TSample> FSamples;
  bool FClosed = false;
  int FLateSamples = 0;
};

// A graph on the fake with a movie rendered and paused, as the play loop
// leaves it, the paused event handed over.
class TRig {
 public:
  explicit TRig(TMediaSubtype subtype = TMediaSubtype::RGB32)
      : Script(std::make_shared<TScript>()),
        Media(CreateStillGraph(std::make_unique<TFakeBackend>(Script))),
        Listener(Media->SampleGrabber()) {
    RunSynchronizeRequests();  // whatever earlier tests left on their way
    Media->SampleGrabber().SetMediaSubtype(subtype);
    Media->SampleGrabber().ApplyGrabberType();
    Graph().SetListener(&Listener);
    Graph().SetActive(true);
    Graph().RenderFile("movie.mp4");
    Graph().Pause();
    RunSynchronizeRequests();
    Listener.Events.clear();
  }
  ~TRig() {
    if (Media) {
      Graph().SetActive(false);
      Graph().SetListener(nullptr);
    }
    RunSynchronizeRequests();
  }
  IFilterGraph& Graph() { return Media->FilterGraph(); }
  IMediaSeeking& Seeking() { return *Graph().QueryMediaSeeking(); }
  // Seeks as a segment does.
  void Seek(TRefTime position) {
    Seeking().SetPositions(position, kSegmentSeekFlags, position + kSecond, kSegmentSeekFlags);
  }
  // Seeks, waits for the streaming thread and hands the events over.
  void SeekAndWait(TRefTime position) {
    Seek(position);
    ASSERT_TRUE(WaitForSeeks(*Media, kPatience));
    RunSynchronizeRequests();
  }
  std::vector<TSample> Samples() const { return Listener.Samples(); }

  std::shared_ptr<TScript> Script;
  std::unique_ptr<IMediaFramework> Media;
  TListener Listener;
};

// Whether the decode under way was ended by the graph's abort (and not by
// its deadline, which a close must not wait for).
bool EndedByAbort(const std::vector<std::string>& log) {
  return std::find(log.begin(), log.end(), "decode ended, aborted") != log.end();
}

// --- the interruption ---

TEST(StillGraphInterruption, WithoutDeadlineOrAbortNothingInterrupts) {
  const TInterruption interruption;
  EXPECT_FALSE(interruption.Aborted());
  EXPECT_FALSE(interruption.DeadlinePassed());
  EXPECT_FALSE(interruption.Interrupted());
  EXPECT_EQ(interruption.Remaining(), std::chrono::hours(1));
}

TEST(StillGraphInterruption, ADeadlineCountsDownToZeroAndThenHasPassed) {
  TInterruption interruption;
  interruption.Arm(10s);
  EXPECT_GT(interruption.Remaining(), 9s);
  EXPECT_LE(interruption.Remaining(), 10s);
  EXPECT_FALSE(interruption.Interrupted());

  interruption.Arm(20ms);
  EXPECT_LE(interruption.Remaining(), 20ms);
  std::this_thread::sleep_for(30ms);
  EXPECT_TRUE(interruption.DeadlinePassed());
  EXPECT_TRUE(interruption.Interrupted());
  EXPECT_FALSE(interruption.Aborted());
  EXPECT_EQ(interruption.Remaining(), 0ms);  // never negative

  // A new deadline replaces a passed one; disarming leaves none.
  interruption.Arm(10s);
  EXPECT_FALSE(interruption.DeadlinePassed());
  interruption.Arm(-1ms);
  interruption.Disarm();
  EXPECT_FALSE(interruption.Interrupted());
  EXPECT_EQ(interruption.Remaining(), std::chrono::hours(1));
}

TEST(StillGraphInterruption, AnAbortInterruptsWhateverTheDeadline) {
  TInterruption interruption;
  interruption.Arm(10s);
  interruption.SetAbort(true);
  EXPECT_TRUE(interruption.Aborted());
  EXPECT_TRUE(interruption.Interrupted());
  EXPECT_FALSE(interruption.DeadlinePassed());
  interruption.SetAbort(false);
  EXPECT_FALSE(interruption.Interrupted());
  // Seen from another thread at once: that is where the backend polls it.
  bool seen = false;
  std::thread poller([&] { seen = PollUntil([&] { return interruption.Aborted(); }); });
  interruption.SetAbort(true);
  poller.join();
  EXPECT_TRUE(seen);
}

// --- opening ---

TEST(StillGraphOpening, AMovieOpensOnlyInAnActiveGraphWithTheBackendsResultAndLength) {
  auto script = std::make_shared<TScript>();
  auto media = CreateStillGraph(std::make_unique<TFakeBackend>(script));
  IFilterGraph& graph = media->FilterGraph();
  EXPECT_FALSE(graph.Active());
  EXPECT_EQ(graph.QueryMediaSeeking(), nullptr);
  try {
    graph.RenderFile("movie.mp4");
    ADD_FAILURE() << "rendered in an inactive graph";
  } catch (const EMediaError& error) {
    EXPECT_EQ(error.Code(), kVfwEWrongState);
  }
  EXPECT_TRUE(script->Log().empty());

  graph.SetActive(true);
  TRefTime current = -1;
  TRefTime stop = -1;
  EXPECT_FALSE(graph.QueryMediaSeeking()->GetPositions(current, stop));  // no movie yet
  EXPECT_EQ(current, -1);
  script->Duration = 42 * kSecond;
  script->OpenResult = kVfwSVideoNotRendered;
  EXPECT_EQ(graph.RenderFile("sound only.wmv"), kVfwSVideoNotRendered);
  EXPECT_TRUE(graph.QueryMediaSeeking()->GetPositions(current, stop));
  EXPECT_EQ(current, 0);
  EXPECT_EQ(stop, 42 * kSecond);
  graph.SetActive(false);
  EXPECT_EQ(script->SourcesOpen(), 0);
}

TEST(StillGraphOpening, AnOpenThatRunsOutOfTimeLeavesNoMovieAndTheNextOpenHasItsOwnDeadline) {
  TRig rig;
  std::vector<std::chrono::milliseconds> remaining;
  // A file that never finishes opening: the backend gives up with the
  // timeout code once the deadline has passed.
  rig.Script->OnOpen = [&](const TInterruption& interruption) {
    remaining.push_back(interruption.Remaining());
    EXPECT_FALSE(interruption.Interrupted());
    PassDeadline(interruption);
    if (PollUntil([&] { return interruption.DeadlinePassed(); })) {
      throw EMediaError(kVfwETimeout, "the file did not open in time");
    }
  };
  try {
    rig.Graph().RenderFile("stalled.mp4");
    ADD_FAILURE() << "the stalled open returned";
  } catch (const EMediaError& error) {
    EXPECT_EQ(error.Code(), kVfwETimeout);
  }
  ASSERT_EQ(remaining.size(), 1u);
  EXPECT_GT(remaining[0], kOpenDeadline - 1s);
  EXPECT_LE(remaining[0], kOpenDeadline);
  // The movie opened before was closed first; no movie is left.
  EXPECT_EQ(rig.Script->SourcesOpen(), 0);
  TRefTime current = 0;
  TRefTime stop = 0;
  EXPECT_FALSE(rig.Seeking().GetPositions(current, stop));
  EXPECT_FALSE(rig.Seeking().SetPositions(0, kSegmentSeekFlags, 0, kSegmentSeekFlags));

  // The passed deadline was that open's alone.
  rig.Script->OnOpen = [&](const TInterruption& interruption) {
    remaining.push_back(interruption.Remaining());
    EXPECT_FALSE(interruption.Interrupted());
  };
  EXPECT_EQ(rig.Graph().RenderFile("good.mp4"), kSOk);
  ASSERT_EQ(remaining.size(), 2u);
  EXPECT_GT(remaining[1], kOpenDeadline - 1s);
  rig.Graph().Pause();
  rig.SeekAndWait(3 * kSecond);
  EXPECT_EQ(rig.Samples().size(), 1u);
}

// --- seeking ---

TEST(StillGraphSeeking, OnlyAPausedGraphDecodes) {
  TRig rig;
  rig.Graph().Stop();
  EXPECT_TRUE(
      rig.Seeking().SetPositions(5 * kSecond, kSegmentSeekFlags, 6 * kSecond, kSegmentSeekFlags));
  rig.Graph().Run();
  EXPECT_TRUE(
      rig.Seeking().SetPositions(7 * kSecond, kSegmentSeekFlags, 8 * kSecond, kSegmentSeekFlags));
  EXPECT_TRUE(WaitForSeeks(*rig.Media, kPatience));
  EXPECT_TRUE(rig.Script->Calls().empty());
  rig.Graph().Pause();
  rig.SeekAndWait(9 * kSecond);
  ASSERT_EQ(rig.Script->Calls().size(), 1u);
  EXPECT_EQ(rig.Script->Calls()[0].Position, 9 * kSecond);
  // A position before the start is sought as the start.
  rig.SeekAndWait(-kSecond);
  ASSERT_EQ(rig.Script->Calls().size(), 2u);
  EXPECT_EQ(rig.Script->Calls()[1].Position, 0);
}

TEST(StillGraphSeeking, EachSeekHasTheSeekDeadline) {
  TRig rig;
  rig.SeekAndWait(kSecond);
  rig.SeekAndWait(2 * kSecond);
  const std::vector<TDecodeCall> calls = rig.Script->Calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const TDecodeCall& call : calls) {
    EXPECT_FALSE(call.InterruptedOnEntry);
    EXPECT_GT(call.Remaining, kSeekDeadline - 1s);
    EXPECT_LE(call.Remaining, kSeekDeadline);
  }
}

TEST(StillGraphSeeking, SeeksAskedForDuringADecodeComeDownToTheLatest) {
  TRig rig;
  TGate gate;
  rig.Script->Next(gate.Then(GivesNothing()));
  rig.Seek(10 * kSecond);
  ASSERT_TRUE(rig.Script->WaitForCalls(1));
  rig.Seek(20 * kSecond);
  rig.Seek(30 * kSecond);
  EXPECT_FALSE(WaitForSeeks(*rig.Media, 20ms));  // the first is still under way
  gate.Release();
  ASSERT_TRUE(WaitForSeeks(*rig.Media, kPatience));
  const std::vector<TDecodeCall> calls = rig.Script->Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].Position, 10 * kSecond);
  EXPECT_EQ(calls[1].Position, 30 * kSecond);
  ASSERT_EQ(rig.Samples().size(), 1u);
  EXPECT_EQ(rig.Samples()[0].SampleTime, 30.0);
}

TEST(StillGraphSeeking, ASeekThatHangsIsAbandonedAtItsDeadlineAndTheGraphCarriesOn) {
  TRig rig;
  bool passedNotAborted = false;
  rig.Script->Next([&](TRefTime, int, const TInterruption& interruption, TStill&) {
    PassDeadline(interruption);
    PollUntil([&] { return interruption.Interrupted(); });
    passedNotAborted = interruption.DeadlinePassed() && !interruption.Aborted();
    return false;
  });
  rig.SeekAndWait(10 * kSecond);
  EXPECT_TRUE(passedNotAborted);
  EXPECT_TRUE(rig.Samples().empty());
  EXPECT_EQ(rig.Listener.NoFrames, 1);  // a seek that ran out of time delivers nothing

  rig.SeekAndWait(20 * kSecond);
  const std::vector<TDecodeCall> calls = rig.Script->Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_FALSE(calls[1].InterruptedOnEntry);
  EXPECT_GT(calls[1].Remaining, kSeekDeadline - 1s);
  ASSERT_EQ(rig.Samples().size(), 1u);
  EXPECT_EQ(rig.Samples()[0].SampleTime, 20.0);
  EXPECT_EQ(rig.Listener.NoFrames, 1);
}

TEST(StillGraphSeeking, AStillFinishedAfterTheDeadlineIsNotDelivered) {
  TRig rig;
  rig.Script->Next([](TRefTime, int bitCount, const TInterruption& interruption, TStill& still) {
    PassDeadline(interruption);  // a decoder that never looks at the interruption
    still = MakeStill(4, 2, bitCount);
    return true;
  });
  rig.SeekAndWait(10 * kSecond);
  EXPECT_TRUE(rig.Samples().empty());
  EXPECT_EQ(rig.Listener.NoFrames, 1);
  std::string stream;
  EXPECT_FALSE(rig.Media->FrameSource().CurrentImageToStream(stream));
}

// --- the notice that no frame is coming ---

TEST(StillGraphNoFrame, ASeekThatDecodesNothingSaysSoOnTheUiThread) {
  TRig rig;
  rig.Script->Next(GivesNothing());
  rig.Seek(10 * kSecond);
  ASSERT_TRUE(WaitForSeeks(*rig.Media, kPatience));
  EXPECT_EQ(rig.Listener.NoFrames, 0);  // not before the next hand-over
  RunSynchronizeRequests();
  EXPECT_EQ(rig.Listener.NoFrames, 1);
  EXPECT_TRUE(rig.Samples().empty());
  EXPECT_TRUE(rig.Listener.Events.empty());
  // Every seek that decodes nothing says so.
  rig.Script->Next(GivesNothing());
  rig.SeekAndWait(20 * kSecond);
  EXPECT_EQ(rig.Listener.NoFrames, 2);
  // A seek that delivers says nothing.
  rig.SeekAndWait(30 * kSecond);
  EXPECT_EQ(rig.Listener.NoFrames, 2);
  EXPECT_EQ(rig.Samples().size(), 1u);
}

TEST(StillGraphNoFrame, OnlyTheLatestSeekCanSayNoFrameIsComing) {
  TRig rig;
  rig.Script->Next(GivesNothing());
  rig.Seek(10 * kSecond);
  ASSERT_TRUE(WaitForSeeks(*rig.Media, kPatience));
  // The first seek's notice is on its way when the next seek is asked for:
  // it must not end the wait for the next one's frame.
  TGate gate;
  rig.Script->Next(gate.Then(GivesNothing()));
  rig.Seek(20 * kSecond);
  ASSERT_TRUE(rig.Script->WaitForCalls(2));
  RunSynchronizeRequests();
  EXPECT_EQ(rig.Listener.NoFrames, 0);
  gate.Release();
  ASSERT_TRUE(WaitForSeeks(*rig.Media, kPatience));
  RunSynchronizeRequests();
  EXPECT_EQ(rig.Listener.NoFrames, 1);
}

TEST(StillGraphNoFrame, StillsThatCannotBeWhatWasAskedForAreRefused) {
  TRig rig;  // asks for 32 bits
  struct TCase {
    std::string What;
    TStill Still;
  };
  std::vector<TCase> cases = {
      {"the other depth", MakeStill(4, 2, 24)},
      {"no width", MakeStill(0, 2, 32)},
      {"no height", MakeStill(4, 0, 32)},
      {"wider than the largest side", MakeStill(kMaxFrameSide + 1, 1, 32)},
      {"taller than the largest side", MakeStill(1, kMaxFrameSide + 1, 32)},
  };
  cases.push_back({"a negative height", MakeStill(4, 2, 32)});
  cases.back().Still.Format.Height = -2;
  cases.push_back({"a byte short", MakeStill(4, 2, 32)});
  cases.back().Still.Image.pop_back();
  cases.push_back({"a byte over", MakeStill(4, 2, 32)});
  cases.back().Still.Image.push_back(0);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    rig.Script->Next(Delivers(cases[i].Still));
    rig.SeekAndWait(static_cast<TRefTime>(i + 1) * kSecond);
    EXPECT_TRUE(rig.Samples().empty()) << cases[i].What;
    EXPECT_EQ(rig.Listener.NoFrames, static_cast<int>(i + 1)) << cases[i].What;
  }
  // None of them became the grabber's format or the window's picture.
  const std::uint8_t bytes[32] = {};
  TBitmap24 picture;
  EXPECT_FALSE(rig.Media->SampleGrabber().SampleToBitmap(picture, bytes, sizeof bytes));
  std::string stream;
  EXPECT_FALSE(rig.Media->FrameSource().CurrentImageToStream(stream));
}

// --- delivery ---

TEST(StillGraphDelivery, AStillReachesTheListenerAsTheBackendMadeIt) {
  TRig rig(TMediaSubtype::RGB24);
  // Three pixels of 24 bits: rows of nine bytes padded to twelve.
  const TStill made = MakeStill(3, 2, 24, 12.0);
  ASSERT_EQ(made.Image.size(), 24u);
  rig.Script->Next(Delivers(made));
  rig.SeekAndWait(12 * kSecond + kSecond / 2);

  ASSERT_EQ(rig.Script->Calls().size(), 1u);
  EXPECT_EQ(rig.Script->Calls()[0].Position, 12 * kSecond + kSecond / 2);
  EXPECT_EQ(rig.Script->Calls()[0].BitCount, 24);
  const std::vector<TSample> samples = rig.Samples();
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(samples[0].SampleTime, 12.0);  // the key frame's time, not the position sought
  EXPECT_EQ(samples[0].Bytes, made.Image);
  EXPECT_NE(samples[0].Thread, std::this_thread::get_id());
  ASSERT_TRUE(samples[0].Converted);
  EXPECT_EQ(samples[0].Picture, PictureOf(made));
  EXPECT_EQ(rig.Listener.NoFrames, 0);
  // The video window holds the same picture.
  std::string stream;
  ASSERT_TRUE(rig.Media->FrameSource().CurrentImageToStream(stream));
  EXPECT_EQ(DecodeBmp(stream, "the current image"), PictureOf(made));
}

TEST(StillGraphDelivery, FramesAsLargeAsTheLargestSideAreDelivered) {
  TRig rig;
  rig.Script->Next(Delivers(MakeStill(kMaxFrameSide, 1, 32)));
  rig.Script->Next(Delivers(MakeStill(1, kMaxFrameSide, 32)));
  rig.SeekAndWait(kSecond);
  rig.SeekAndWait(2 * kSecond);
  const std::vector<TSample> samples = rig.Samples();
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0].Picture.Width(), kMaxFrameSide);
  EXPECT_EQ(samples[1].Picture.Height(), kMaxFrameSide);
  EXPECT_EQ(rig.Listener.NoFrames, 0);
}

TEST(StillGraphDelivery, TheDepthAskedForIsTheOneApplied) {
  {
    TRig rig;  // 32 bits unless told otherwise
    rig.Media->SampleGrabber().SetMediaSubtype(TMediaSubtype::RGB24);  // not applied
    EXPECT_EQ(rig.Media->SampleGrabber().MediaSubtype(), TMediaSubtype::RGB24);
    rig.SeekAndWait(kSecond);
    ASSERT_EQ(rig.Script->Calls().size(), 1u);
    EXPECT_EQ(rig.Script->Calls()[0].BitCount, 32);
  }
  TRig rig(TMediaSubtype::RGB24);
  rig.SeekAndWait(kSecond);
  ASSERT_EQ(rig.Script->Calls().size(), 1u);
  EXPECT_EQ(rig.Script->Calls()[0].BitCount, 24);
  ASSERT_EQ(rig.Samples().size(), 1u);
  EXPECT_EQ(rig.Samples()[0].Bytes.size(), MakeStill(4, 2, 24).Image.size());
}

TEST(StillGraphDelivery, SamplesConvertAsBottomUpRowsOfTheDeliveredFormat) {
  TRig rig;
  ISampleGrabber& grabber = rig.Media->SampleGrabber();
  const TStill made = MakeStill(2, 3, 32);
  TBitmap24 picture;
  EXPECT_FALSE(grabber.SampleToBitmap(picture, made.Image.data(), made.Image.size()));
  rig.Script->Next(Delivers(made));
  rig.SeekAndWait(kSecond);
  ASSERT_EQ(rig.Samples().size(), 1u);

  ASSERT_TRUE(grabber.SampleToBitmap(picture, made.Image.data(), made.Image.size()));
  EXPECT_EQ(picture, PictureOf(made));  // the fourth byte left out
  // A short buffer fills the bottom rows it has and leaves the rest black.
  const std::size_t oneRow = made.Format.Stride();
  ASSERT_TRUE(grabber.SampleToBitmap(picture, made.Image.data(), oneRow + 4));
  TBitmap24 expected(2, 3);
  for (int channel = 0; channel < 3; ++channel) {
    expected.Pixel(0, 2)[channel] = made.Image[channel];
    expected.Pixel(1, 2)[channel] = made.Image[4 + channel];
    expected.Pixel(0, 1)[channel] = made.Image[oneRow + channel];
  }
  EXPECT_EQ(picture, expected);
  // A longer one gives no more than one image.
  std::vector<std::uint8_t> longer = made.Image;
  longer.resize(longer.size() * 2, 0xFF);
  ASSERT_TRUE(grabber.SampleToBitmap(picture, longer.data(), longer.size()));
  EXPECT_EQ(picture, PictureOf(made));

  // The format goes with the movie.
  rig.Graph().EmptyGraph();
  EXPECT_FALSE(grabber.SampleToBitmap(picture, made.Image.data(), made.Image.size()));
  std::string stream;
  EXPECT_FALSE(rig.Media->FrameSource().CurrentImageToStream(stream));
}

TEST(StillGraphDelivery, EachSeekDecodesIntoTheLastStillsMemory) {
  TRig rig;
  rig.SeekAndWait(kSecond);
  rig.SeekAndWait(2 * kSecond);
  rig.SeekAndWait(3 * kSecond);
  const std::vector<TDecodeCall> calls = rig.Script->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].ImageSize, 0u);
  const std::size_t size = MakeStill(4, 2, 32).Image.size();
  EXPECT_EQ(calls[1].ImageSize, size);
  EXPECT_EQ(calls[2].ImageSize, size);
  // The block the first still was decoded into, offered again and again.
  EXPECT_NE(calls[1].ImageData, nullptr);
  EXPECT_EQ(calls[2].ImageData, calls[1].ImageData);
  EXPECT_EQ(rig.Samples().size(), 3u);
}

// --- closing while a seek is under way ---

TEST(StillGraphClosing, MakingTheGraphInactiveInterruptsTheSeekAndReturnsAtOnce) {
  for (int run = 0; run < 10; ++run) {
    SCOPED_TRACE(run);
    TRig rig;
    rig.Script->Next(HangsUntilInterrupted());
    rig.Seek(10 * kSecond);
    ASSERT_TRUE(rig.Script->WaitForCalls(1));
    rig.Seek(20 * kSecond);  // waits behind the first: never decoded
    rig.Graph().SetActive(false);
    rig.Listener.Closed();
    EXPECT_FALSE(rig.Graph().Active());
    const std::vector<std::string> log = rig.Script->Log();
    EXPECT_EQ(log, (std::vector<std::string>{"open movie.mp4", "decode", "decode ended, aborted",
                                             "close"}));
    RunSynchronizeRequests();
    EXPECT_EQ(rig.Listener.NoFrames, 0);  // a movie being closed owes nobody a frame
    EXPECT_TRUE(rig.Samples().empty());
  }
}

TEST(StillGraphClosing, AStillFinishedWhileClosingNeverReachesTheListener) {
  for (int run = 0; run < 10; ++run) {
    SCOPED_TRACE(run);
    TRig rig;
    rig.Script->Next(FinishesWhenAborted());
    rig.Seek(10 * kSecond);
    ASSERT_TRUE(rig.Script->WaitForCalls(1));
    rig.Graph().SetActive(false);
    rig.Listener.Closed();
    EXPECT_TRUE(EndedByAbort(rig.Script->Log()));
    std::this_thread::sleep_for(2ms);
    RunSynchronizeRequests();
    EXPECT_TRUE(rig.Samples().empty());
    EXPECT_EQ(rig.Listener.LateSamples(), 0);
    EXPECT_EQ(rig.Listener.NoFrames, 0);
    EXPECT_EQ(rig.Script->SourcesOpen(), 0);
  }
}

TEST(StillGraphClosing, DestroyingTheGraphDuringASeekHandsNothingMoreToTheListener) {
  for (int run = 0; run < 10; ++run) {
    SCOPED_TRACE(run);
    TRig rig;
    rig.Script->Next(run % 2 == 0 ? HangsUntilInterrupted() : FinishesWhenAborted());
    rig.Graph().Pause();  // its event is on its way when the graph goes
    rig.Seek(10 * kSecond);
    ASSERT_TRUE(rig.Script->WaitForCalls(1));
    rig.Media.reset();
    rig.Listener.Closed();
    EXPECT_TRUE(EndedByAbort(rig.Script->Log()));
    RunSynchronizeRequests();
    EXPECT_TRUE(rig.Listener.Events.empty());
    EXPECT_EQ(rig.Listener.NoFrames, 0);
    EXPECT_TRUE(rig.Samples().empty());
    EXPECT_EQ(rig.Script->SourcesOpen(), 0);
    EXPECT_EQ(rig.Script->Log().back(), "close");
  }
}

TEST(StillGraphClosing, AGraphEmptiedOrReRenderedDuringASeekWorksOn) {
  for (int run = 0; run < 10; ++run) {
    SCOPED_TRACE(run);
    TRig rig;
    rig.Script->Next(HangsUntilInterrupted());
    rig.Seek(10 * kSecond);
    ASSERT_TRUE(rig.Script->WaitForCalls(1));
    if (run % 2 == 0) {
      rig.Graph().EmptyGraph();
      EXPECT_TRUE(rig.Graph().Active());
      EXPECT_EQ(rig.Script->SourcesOpen(), 0);
    }
    rig.Script->Next(FinishesWhenAborted());
    rig.Graph().RenderFile("next.mp4");
    // The seek ended and its movie was closed before the next one opened.
    const std::vector<std::string> log = rig.Script->Log();
    EXPECT_EQ(log, (std::vector<std::string>{"open movie.mp4", "decode", "decode ended, aborted",
                                             "close", "open next.mp4"}));
    EXPECT_EQ(rig.Script->SourcesOpen(), 1);
    rig.Graph().Pause();
    // Once more with the next movie, whose still is done as it closes.
    rig.Seek(20 * kSecond);
    ASSERT_TRUE(rig.Script->WaitForCalls(2));
    rig.Graph().EmptyGraph();
    rig.Listener.Closed();
    ASSERT_EQ(rig.Graph().RenderFile("last.mp4"), kSOk);
    rig.Graph().Pause();
    RunSynchronizeRequests();
    EXPECT_TRUE(rig.Samples().empty());
    EXPECT_EQ(rig.Listener.NoFrames, 0);
  }
}

// --- running ---

TEST(StillGraphRunning, ARunningGraphFollowsTheClockToTheStopAndSaysWhichEndItReached) {
  TRig rig;
  rig.SeekAndWait(2 * kSecond);
  ASSERT_EQ(rig.Script->Calls().size(), 1u);
  const TRefTime stop = 2 * kSecond + kSecond / 50;  // 20 ms on
  rig.Seeking().SetPositions(2 * kSecond, kSegmentSeekFlags, stop, kSegmentSeekFlags);
  ASSERT_TRUE(WaitForSeeks(*rig.Media, kPatience));
  rig.Listener.Events.clear();
  const std::size_t calls = rig.Script->Calls().size();
  rig.Graph().Run();
  const auto handOverUntil = [&](const std::function<bool()>& done) {
    return PollUntil([&] {
      RunSynchronizeRequests();
      return done();
    });
  };
  // The segment's end is an event and an end of segment.
  ASSERT_TRUE(handOverUntil([&] { return rig.Listener.EndsOfSegment == 1; }));
  EXPECT_EQ(rig.Listener.Events, std::vector<long>{kEcEndOfSegment});
  TRefTime current = 0;
  TRefTime reportedStop = 0;
  ASSERT_TRUE(rig.Seeking().GetPositions(current, reportedStop));
  EXPECT_EQ(current, stop);  // held at the stop
  EXPECT_EQ(reportedStop, stop);

  // Without the segment flag the end is the movie's completion.
  rig.Seeking().SetPositions(2 * kSecond, kSeekingAbsolutePositioning, stop,
                             kSeekingAbsolutePositioning);
  ASSERT_TRUE(handOverUntil([&] { return rig.Listener.Events.size() == 2; }));
  EXPECT_EQ(rig.Listener.Events.back(), kEcComplete);
  std::this_thread::sleep_for(30ms);
  RunSynchronizeRequests();
  EXPECT_EQ(rig.Listener.Events.size(), 2u);  // each end once
  EXPECT_EQ(rig.Listener.EndsOfSegment, 1);
  EXPECT_EQ(rig.Script->Calls().size(), calls);  // nothing decoded while running

  rig.Graph().Pause();
  RunSynchronizeRequests();
  EXPECT_EQ(rig.Listener.Events.back(), kEcPaused);
}

}  // namespace
}  // namespace tavelune
