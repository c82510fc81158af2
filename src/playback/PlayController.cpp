// The play loop of playback/PlayController.h: its movies, its graph, its
// seeks and the step of each segment (wait, show, hold). UI thread, except
// GrabberBuffer.

#include "playback/PlayController.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "base/FileNames.h"
#include "base/ScopeExit.h"
#include "base/TextUtils.h"
#include "imaging/BlankPicture.h"
#include "imaging/BmpFile.h"
#include "platform/FileSystem.h"
#include "probe/ContainerProbe.h"
#include "probe/RecorderLib.h"

namespace tavelune {

namespace {

// The graph reports progress after this much of the movie has run.
constexpr TRefTime kLengthKnownAfter = kRefTimePerSecond;
constexpr THResult kENoInterface = static_cast<THResult>(0x80004002);
// Frames tried after a blank one within the same segment, each one seek
// and one key-frame decode.
constexpr int kBlankRetries = 3;

bool IsDvdRecording(const std::string& fileName) {
  const std::string ext = AsciiUpper(ExtractFileExt(fileName));
  return ext == ".VRO" || ext == ".VOB" || ext == ".M2P";
}

// Trunc of a real that may lie beyond the 64-bit range.
std::int64_t TruncToInt64(long double value) {
  constexpr long double kLimit = 9.2e18L;
  if (!(value > -kLimit)) {  // also NaN
    return -static_cast<std::int64_t>(kLimit);
  }
  if (value > kLimit) {
    return static_cast<std::int64_t>(kLimit);
  }
  return static_cast<std::int64_t>(value);
}

}  // namespace

double RefTimeToDays(TRefTime value) {
  // The divisions run in the extended type and the result is stored as a
  // double: that route decides how a whole number of seconds rounds.
  return static_cast<double>(static_cast<long double>(value) / 10000000 / 24 / 60 / 60);
}

TSegmentPlan PlanSegments(TRefTime stop, std::int32_t seconds, std::int32_t minCount,
                          std::int32_t maxCount, std::int32_t draw) {
  // A zero or negative interval has no meaning; one second is the closest
  // interval that still divides the movie.
  const std::int32_t interval = seconds < 1 ? 1 : seconds;
  TSegmentPlan plan;
  const TRefTime offset = static_cast<TRefTime>(draw) * kRefTimePerSecond + kFirstSegment;
  const long double days = RefTimeToDays(stop - offset);
  plan.Raw = TruncToInt64(days * 24 * 60 * 60 / interval) + 1;
  std::int64_t count = plan.Raw;
  if (count < minCount) {
    count = minCount;
  } else if (count > maxCount) {
    count = maxCount;
  }
  if (count < 1) {
    count = 10;
  }
  plan.Count = static_cast<std::int32_t>(count);
  plan.Step = TruncToInt64(static_cast<long double>(stop) / plan.Count);
  return plan;
}

TMediaSubtype GrabberSubtypeFor(const std::string& containerCode, const std::string& fileName) {
  if (containerCode == "MPG2" || containerCode == "MPG1" || IsDvdRecording(fileName)) {
    return TMediaSubtype::RGB24;
  }
  return TMediaSubtype::RGB32;
}

TRefTime SegmentStopFor(const std::string& containerCode, const std::string& fileName,
                        TRefTime position, TRefTime movieStop) {
  const bool toTheEnd = (containerCode == "MPG2" && movieStop > position) ||
                        containerCode == "MPG1" || containerCode == "dvsd" ||
                        IsDvdRecording(fileName);
  return toTheEnd ? movieStop : position;
}

// A wait of the running step: it suspends on the wake timer.
class TPlayController::TPause {
 public:
  TPause(TPlayController& owner, int milliseconds) : FOwner(owner), FMilliseconds(milliseconds) {}
  bool await_ready() const noexcept { return false; }
  void await_suspend(std::coroutine_handle<> step) { FOwner.Suspend(step, FMilliseconds); }
  void await_resume() const noexcept {}

 private:
  TPlayController& FOwner;
  int FMilliseconds;
};

// What PlayMovie keeps for one movie.
struct TPlayController::TMovieRun {
  const std::string& FileName;  // PlayMovie's parameter
  std::string Title;            // the library's title, or the file's name
  std::string ContainerCode;
  IMediaSeeking* Seeking = nullptr;  // the graph's, not owned
  TRefTime Current = 0;
  TRefTime Stop = 0;
};

TPlayController::TPlayController(IPlayHost& host, IMediaFramework& media, IHistoryLog& logFile,
                                 TPlayWindow window)
    : FHost(host),
      FWindow(window),
      FGraph(media.FilterGraph()),
      FGrabber(media.SampleGrabber()),
      FFrameSource(media.FrameSource()),
      FHistory(logFile),
      FComposer(host, window) {
  FGrabTimer = FHost.CreateTimer(TGrabRequest::kTimerMilliseconds, [this] { TimerFilterTimer(); });
  FWakeTimer = FHost.CreateTimer(0, [this] { Resume(); });
  FGraph.SetListener(this);
}

TPlayController::~TPlayController() {
  // A loop still suspended unwinds first: its frames refer to the members.
  FLoop = {};
  // Releasing the graph ends its streaming thread, so no frame arrives
  // for a controller that is gone.
  FGraph.SetActive(false);
  FGraph.SetListener(nullptr);
}

void TPlayController::WriteTimedLine(const std::string& event) {
  tavelune::WriteTimedLine(FHistory, FHost.LocalNow(), event);
}

TPlayController::TPause TPlayController::Pause(int milliseconds) {
  return {*this, milliseconds};
}

void TPlayController::Suspend(std::coroutine_handle<> step, int milliseconds) {
  FSuspended = step;
  FWakeTimer->SetInterval(std::max(milliseconds, 0));
  FWakeTimer->SetEnabled(true);
}

void TPlayController::WakeUp() {
  if (FSuspended) {
    FWakeTimer->SetInterval(0);
    FWakeTimer->SetEnabled(true);
  }
}

void TPlayController::Resume() {
  FWakeTimer->SetEnabled(false);
  if (const std::coroutine_handle<> step = std::exchange(FSuspended, {})) {
    step.resume();
  }
  EndLoopIfDone();
}

void TPlayController::StartPlayLoop() {
  FLoop = PauseAndPlay();
  FLoop.Start();
  EndLoopIfDone();
}

void TPlayController::EndLoopIfDone() {
  if (FLoop.Done()) {
    // What the loop let out goes to the caller, the handler's guard.
    TPlayTask<> ended = std::move(FLoop);
    ended.Result();
  }
}

TPlayTask<> TPlayController::PauseAndPlay() {
  FLoopRunning = true;
  // Not a scope guard: a loop unwound by its owner's end tells no one.
  std::exception_ptr error;
  try {
    co_await PauseBetweenMovies();
    co_await PlayLoop();
  } catch (...) {
    error = std::current_exception();
  }
  FLoopRunning = false;
  FHost.PlayLoopEnded();
  if (error) {
    std::rethrow_exception(error);
  }
}

TPlayTask<> TPlayController::PlayLoop() {
  if (FWindow.Closing) {
    FHost.RequestClose();
  }
  while (!FWindow.Closing) {
    const bool found = co_await PlayNext();
    if (!found) {
      WriteTimedLine(", Movie not found");
      if (FMovieSearch != nullptr && FMovieSearch->SearchDone()) {
        FMovieSearch->Resume();
        WriteTimedLine(", FsrFileRead.Resume");
      }
    }
    co_await PauseBetweenMovies();
  }
  FHost.RequestClose();
}

// A random pause of 1.5 to 4 s before the first movie and between movies,
// in one wait that input ends at once; a run that is ending does not pause
// at all.
TPlayTask<> TPlayController::PauseBetweenMovies() {
  if (FWindow.Closing) {
    co_return;
  }
  co_await Pause(1500 + FHost.RandomBelow(2500));
}

void TPlayController::StopGraph() {
  if (FGraph.Active()) {
    FGraph.Stop();
  }
}

TPlayTask<bool> TPlayController::PlayNext() {
  if (FWindow.Closing || FPlaying || !FWindow.Activated) {
    co_return true;
  }
  const std::string movie = co_await TakeNextMovie();
  if (movie.empty()) {
    co_return false;
  }
  FPlaying = true;
  const TScopeExit played([this] { FPlaying = false; });
  co_await PlayMovie(movie);
  co_return true;
}

TPlayTask<std::string> TPlayController::TakeNextMovie() {
  // No closing test: closing terminates the walk, which then ends.
  while (FMovieList.empty() && FMovieSearch != nullptr && !FMovieSearch->SearchDone()) {
    co_await Pause(100);
  }
  if (FMovieList.empty()) {
    co_return std::string();
  }
  const std::size_t index = co_await ChooseMovie();
  std::string movie = std::move(FMovieList[index]);
  FMovieList.erase(FMovieList.begin() + static_cast<std::ptrdiff_t>(index));
  if (FShown != nullptr && FWindow.Settings.RandomSort) {
    FShown->Remember(movie);  // a memory that cannot be saved goes on in memory
  }
  co_return movie;
}

TPlayTask<std::size_t> TPlayController::ChooseMovie() {
  if (!FWindow.Settings.RandomSort) {
    co_return 0;
  }
  if (FShown == nullptr) {
    co_return RandomIndexBelow(FMovieList.size());
  }
  // Movies not shown yet may still be found by the running walk.
  std::vector<std::size_t> fresh = UnshownMovies();
  while (fresh.empty() && FMovieSearch != nullptr && !FMovieSearch->SearchDone() &&
         !FWindow.Closing) {
    co_await Pause(100);
    fresh = UnshownMovies();
  }
  if (!fresh.empty()) {
    co_return fresh[RandomIndexBelow(fresh.size())];
  }
  if (!FWindow.Closing) {
    // The walk is complete and every movie of the folders has been shown
    // once: the memory starts again.
    FShown->Forget();
  }
  co_return RandomIndexBelow(FMovieList.size());
}

std::vector<std::size_t> TPlayController::UnshownMovies() const {
  std::vector<std::size_t> fresh;
  for (std::size_t i = 0; i < FMovieList.size(); ++i) {
    if (!FShown->Shown(FMovieList[i])) {
      fresh.push_back(i);
    }
  }
  return fresh;
}

std::size_t TPlayController::RandomIndexBelow(std::size_t count) {
  return static_cast<std::size_t>(FHost.RandomBelow(static_cast<std::int32_t>(
      std::min<std::size_t>(count, std::numeric_limits<std::int32_t>::max()))));
}

TPlayTask<> TPlayController::PlayMovie(std::string fileName) {
  if (!platform::FileExists(fileName)) {
    FHistory.WriteLine(fileName + " not Found");
    co_return;
  }
  WriteTimedLine(", " + fileName + " Start");

  TMovieRun run{fileName, {}, {}};
  FRun = &run;
  const TScopeExit ended([this] { FRun = nullptr; });
  // Not a scope guard: the stop writes the history, which can throw, and
  // that error must replace the one being handled rather than end the
  // program.
  try {
    if (JudgeRecording(run)) {
      run.ContainerCode = ProbeContainer(fileName);
      FGrabber.SetMediaSubtype(GrabberSubtypeFor(run.ContainerCode, fileName));
      FGrabber.ApplyGrabberType();
      PrepareGraph();
      bool failed = false;
      try {
        co_await PlaySegments(run);
      } catch (...) {
        failed = true;  // a handler cannot wait: the failure is shown below
      }
      if (failed) {
        co_await ShowFailure(run);
      }
    }
  } catch (...) {
    StopMovie(run);
    throw;
  }
  StopMovie(run);
}

bool TPlayController::JudgeRecording(TMovieRun& run) {
  TRecorderTapeLib record;
  if (LookupSideFile(run.FileName, record) || LookupLibrary(run.FileName, record)) {
    if (IsRecordingUnusable(record)) {
      return false;
    }
    run.Title = record.Title;
  } else {
    run.Title = run.FileName;
  }
  return true;
}

void TPlayController::PrepareGraph() {
  if (!FGraph.Active()) {
    FGraph.SetActive(true);
  }
  FGraph.EmptyGraph();
  if (FGraph.Active()) {
    FGraph.SetActive(false);
  }
  FGraph.SetActive(true);
}

TPlayTask<> TPlayController::PlaySegments(TMovieRun& run) {
  FGraphEvent = false;
  FGrab.Reset();
  const THResult rendered = FGraph.RenderFile(run.FileName);
  co_await Pause(300);
  if (rendered != kSOk) {
    // Part of the file could not be rendered: give the graph up to about
    // 5 seconds to report anything.
    for (int round = 0; round < 500 && !FGraphEvent && !FWindow.Closing; ++round) {
      co_await Pause(10);
    }
  }
  if (FWindow.Closing) {
    co_return;
  }
  FGraph.SetVolume(0);
  FGraph.Run();
  FGraphEvent = false;

  co_await ReadLength(run);
  if (FWindow.Closing) {
    co_return;
  }

  const std::int32_t seconds = FWindow.Settings.PreviewSeconds;
  const TSegmentPlan plan = PlanSegments(run.Stop, seconds, FWindow.Settings.PreviewMin,
                                         FWindow.Settings.PreviewMax, FHost.RandomBelow(seconds));
  FGraph.Pause();
  TRefTime position = kFirstSegment;
  co_await SeekSegment(run, position, plan.Step, false);
  for (std::int32_t k = 2; k <= plan.Count && !FWindow.Closing; ++k) {
    position += plan.Step;
    co_await SeekSegment(run, position, plan.Step, true);
  }
  FGrabTimer->SetEnabled(false);
}

TPlayTask<> TPlayController::ReadLength(TMovieRun& run) {
  run.Seeking = FGraph.QueryMediaSeeking();
  if (run.Seeking == nullptr) {
    throw EMediaError(kENoInterface);
  }
  run.Current = 0;
  for (int round = 0; round < 10 && run.Current < kLengthKnownAfter && !FWindow.Closing; ++round) {
    run.Seeking->GetPositions(run.Current, run.Stop);
    co_await Pause(200);
  }
}

TPlayTask<> TPlayController::SeekSegment(TMovieRun& run, TRefTime position, TRefTime step,
                                         bool preSeekSleep) {
  if (preSeekSleep) {
    co_await Pause(100);
  }
  co_await GrabAt(run, position);
  // With "Skip Blank" a blank frame (a fade, a black frame between scenes,
  // a flat card) is given up for frames further into the same segment, a
  // quarter of a segment apart; when none of them is worth drawing the
  // segment draws nothing and holds nothing.
  if (FWindow.Settings.SkipBlank) {
    for (int retry = 1; !FWindow.Closing && GrabbedBlank(); ++retry) {
      if (retry > kBlankRetries) {
        FGrab.Expire();
        co_return;
      }
      co_await GrabAt(run, position + step / (kBlankRetries + 1) * retry);
    }
  }
  if (FWindow.Closing) {
    co_return;
  }
  if (ShowStill()) {
    co_await HoldStill();
  }
}

TPlayTask<> TPlayController::GrabAt(TMovieRun& run, TRefTime position) {
  const TRefTime segmentStop = SegmentStopFor(run.ContainerCode, run.FileName, position, run.Stop);
  FSegmentPos = position;
  // Armed first: the streaming thread may deliver the frame before the
  // seek call has even returned here.
  FGrab.Arm();
  run.Seeking->SetPositions(position, kSegmentSeekFlags, segmentStop, kSegmentSeekFlags);
  FGrabTimer->SetEnabled(false);
  FGrabTimer->SetEnabled(true);
  for (int round = 0; round < TGrabRequest::kWaitRounds && FGrab.Wanted() && !FWindow.Closing;
       ++round) {
    co_await Pause(TGrabRequest::kWaitRoundMilliseconds);
  }
}

bool TPlayController::GrabbedBlank() {
  const std::shared_ptr<const TBitmap24> picture = TakeGrabPicture();
  return picture && !picture->Empty() && IsBlankPicture(*picture);
}

TPlayTask<> TPlayController::ShowFailure(const TMovieRun& run) {
  WriteTimedLine(", " + run.FileName + " Error");
  FGrab.Expire();
  FHost.ShowErrorNotice(run.FileName);
  // A short sleep in each round keeps the wait from spinning a core for
  // the minute the notice may stay up.
  while (FHost.ErrorNoticeShowing() && !FWindow.Closing) {
    co_await Pause(10);
  }
  FHost.RequestClose();
}

void TPlayController::StopMovie(TMovieRun& run) {
  run.Seeking = nullptr;
  FGraph.Stop();
  FGraph.EmptyGraph();
  FGraph.SetActive(false);
  FGrab.Expire();
  FGraphEvent = false;
  FGrabTimer->SetEnabled(false);
  WriteTimedLine(", " + run.FileName + " Stop");
  if (FWindow.Closing) {
    FHost.RequestClose();
  }
}

void TPlayController::GraphEvent(long /*eventCode*/) {
  FGraphEvent = true;
}

void TPlayController::GraphEndOfSegment() {
  FGrab.Arm();
}

void TPlayController::GraphNoFrame() {
  // What the grab wait would otherwise find out only when it runs out: the
  // no-frame path (the fallback picture, or nothing drawn and no hold)
  // follows at once.
  FGrab.Expire();
}

void TPlayController::TimerFilterTimer() {
  FGrab.Expire();
  FGraphEvent = true;
}

void TPlayController::GrabberBuffer(double /*sampleTime*/, const std::uint8_t* buffer,
                                    std::size_t bufferLength) {
  FGrab.Deliver(
      [&](TBitmap24& picture) { return FGrabber.SampleToBitmap(picture, buffer, bufferLength); });
}

std::shared_ptr<const TBitmap24> TPlayController::TakeGrabPicture() {
  if (!FGrab.Delivered()) {
    std::string stream;
    if (!FFrameSource.CurrentImageToStream(stream)) {
      return nullptr;
    }
    FGrab.ReplacePicture(
        std::make_shared<const TBitmap24>(DecodeBmp(stream, "the video window's current image")));
  }
  return FGrab.Picture();
}

bool TPlayController::ShowStill() {
  // Nothing grabbed and no snapshot: nothing drawn, the request left as it is.
  const std::shared_ptr<const TBitmap24> picture = TakeGrabPicture();
  if (!picture) {
    return false;
  }
  // The request ends however the composition ends.
  const TScopeExit expire([this] { FGrab.Expire(); });
  if (picture->Empty()) {
    return false;
  }
  static const std::string kNoMovie;
  FComposer.Compose(*picture, {FRun != nullptr ? FRun->FileName : kNoMovie,
                               FRun != nullptr ? FRun->Title : kNoMovie, FSegmentPos});
  return true;
}

TPlayTask<> TPlayController::HoldStill() {
  co_await WaitSeconds(static_cast<std::uint16_t>(std::clamp(FWindow.Settings.DrawWait, 0, 65535)));
}

TPlayTask<> TPlayController::WaitSeconds(std::uint16_t seconds) {
  // One wait to the end; a timer that fires early waits the rest. Less
  // than half a millisecond left counts as the end.
  const TDateTime end = FHost.Now() + seconds / 86400.0;
  for (double left = seconds * 1000.0; !FWindow.Closing && left >= 0.5;
       left = (end - FHost.Now()) * 86'400'000.0) {
    co_await Pause(static_cast<int>(std::max(1L, std::lround(left))));
  }
}

}  // namespace tavelune
