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
  FGraph.SetListener(this);
}

TPlayController::~TPlayController() {
  // Releasing the graph ends its streaming thread, so no frame arrives
  // for a controller that is gone.
  FGraph.SetActive(false);
  FGraph.SetListener(nullptr);
}

void TPlayController::WriteTimedLine(const std::string& event) {
  tavelune::WriteTimedLine(FHistory, FHost.LocalNow(), event);
}

void TPlayController::PlayLoop() {
  if (FWindow.Closing) {
    FHost.RequestClose();
  }
  while (!FWindow.Closing) {
    if (!PlayNext()) {
      WriteTimedLine(", Movie not found");
      if (FMovieSearch != nullptr && FMovieSearch->SearchDone()) {
        FMovieSearch->Resume();
        WriteTimedLine(", FsrFileRead.Resume");
      }
    }
    PauseBetweenMovies();
  }
  FHost.RequestClose();
}

// A random pause of 1.5 to 4 s before the first movie and between movies.
// It is slept in slices with the messages handled between them, so that
// input during it ends the run within about 100 ms, as during every other
// wait, instead of after the whole pause; a run that is ending does not
// pause at all.
void TPlayController::PauseBetweenMovies() {
  if (FWindow.Closing) {
    return;
  }
  for (int left = 1500 + FHost.RandomBelow(2500); left > 0 && !FWindow.Closing; left -= 100) {
    FHost.Sleep(std::min(left, 100));
    FHost.ProcessMessages();
  }
}

void TPlayController::StopGraph() {
  if (FGraph.Active()) {
    FGraph.Stop();
  }
}

bool TPlayController::PlayNext() {
  if (FWindow.Closing || FPlaying || !FWindow.Activated) {
    return true;
  }
  const std::string movie = TakeNextMovie();
  if (movie.empty()) {
    return false;
  }
  FPlaying = true;
  const TScopeExit played([this] { FPlaying = false; });
  PlayMovie(movie);
  return true;
}

std::string TPlayController::TakeNextMovie() {
  // No closing test: closing terminates the walk, which then ends.
  while (FMovieList.empty() && FMovieSearch != nullptr && !FMovieSearch->SearchDone()) {
    FHost.Sleep(100);
    FHost.ProcessMessages();
  }
  if (FMovieList.empty()) {
    return {};
  }
  const std::size_t index = ChooseMovie();
  std::string movie = std::move(FMovieList[index]);
  FMovieList.erase(FMovieList.begin() + static_cast<std::ptrdiff_t>(index));
  if (FShown != nullptr && FWindow.Settings.RandomSort) {
    FShown->Remember(movie);  // a memory that cannot be saved goes on in memory
  }
  return movie;
}

std::size_t TPlayController::ChooseMovie() {
  if (!FWindow.Settings.RandomSort) {
    return 0;
  }
  if (FShown == nullptr) {
    return RandomIndexBelow(FMovieList.size());
  }
  // Movies not shown yet may still be found by the running walk.
  std::vector<std::size_t> fresh = UnshownMovies();
  while (fresh.empty() && FMovieSearch != nullptr && !FMovieSearch->SearchDone() &&
         !FWindow.Closing) {
    FHost.Sleep(100);
    FHost.ProcessMessages();
    fresh = UnshownMovies();
  }
  if (!fresh.empty()) {
    return fresh[RandomIndexBelow(fresh.size())];
  }
  if (!FWindow.Closing) {
    // The walk is complete and every movie of the folders has been shown
    // once: the memory starts again.
    FShown->Forget();
  }
  return RandomIndexBelow(FMovieList.size());
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

void TPlayController::PlayMovie(const std::string& fileName) {
  if (!platform::FileExists(fileName)) {
    FHistory.WriteLine(fileName + " not Found");
    return;
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
      try {
        PlaySegments(run);
      } catch (...) {
        ShowFailure(run);
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

void TPlayController::PauseForGrab(int milliseconds) {
  FHost.YieldToMessages();
  FHost.Sleep(milliseconds);
}

void TPlayController::PlaySegments(TMovieRun& run) {
  FGraphEvent = false;
  FGrab.Reset();
  const THResult rendered = FGraph.RenderFile(run.FileName);
  FHost.Sleep(300);
  if (rendered != kSOk) {
    // Part of the file could not be rendered: give the graph up to about
    // 5 seconds to report anything.
    for (int round = 0; round < 500 && !FGraphEvent && !FWindow.Closing; ++round) {
      FHost.YieldToMessages();
      FHost.Sleep(10);
    }
  }
  if (FWindow.Closing) {
    return;
  }
  FGraph.SetVolume(0);
  FGraph.Run();
  FGraphEvent = false;

  ReadLength(run);
  if (FWindow.Closing) {
    return;
  }

  const std::int32_t seconds = FWindow.Settings.PreviewSeconds;
  const TSegmentPlan plan = PlanSegments(run.Stop, seconds, FWindow.Settings.PreviewMin,
                                         FWindow.Settings.PreviewMax, FHost.RandomBelow(seconds));
  FGraph.Pause();
  TRefTime position = kFirstSegment;
  SeekSegment(run, position, plan.Step, false);
  for (std::int32_t k = 2; k <= plan.Count && !FWindow.Closing; ++k) {
    position += plan.Step;
    SeekSegment(run, position, plan.Step, true);
    FHost.YieldToMessages();
  }
  FGrabTimer->SetEnabled(false);
}

void TPlayController::ReadLength(TMovieRun& run) {
  run.Seeking = FGraph.QueryMediaSeeking();
  if (run.Seeking == nullptr) {
    throw EMediaError(kENoInterface);
  }
  run.Current = 0;
  for (int round = 0; round < 10 && run.Current < kLengthKnownAfter && !FWindow.Closing; ++round) {
    run.Seeking->GetPositions(run.Current, run.Stop);
    FHost.YieldToMessages();
    FHost.Sleep(200);
  }
}

void TPlayController::SeekSegment(TMovieRun& run, TRefTime position, TRefTime step,
                                  bool preSeekSleep) {
  if (preSeekSleep) {
    FHost.Sleep(100);
  }
  GrabAt(run, position);
  // With "Skip Blank" a blank frame (a fade, a black frame between scenes,
  // a flat card) is given up for frames further into the same segment, a
  // quarter of a segment apart; when none of them is worth drawing the
  // segment draws nothing and holds nothing.
  if (FWindow.Settings.SkipBlank) {
    for (int retry = 1; !FWindow.Closing && GrabbedBlank(); ++retry) {
      if (retry > kBlankRetries) {
        FGrab.Expire();
        return;
      }
      GrabAt(run, position + step / (kBlankRetries + 1) * retry);
    }
  }
  if (FWindow.Closing) {
    return;
  }
  if (ShowStill()) {
    HoldStill();
  }
}

void TPlayController::GrabAt(TMovieRun& run, TRefTime position) {
  const TRefTime segmentStop = SegmentStopFor(run.ContainerCode, run.FileName, position, run.Stop);
  FSegmentPos = position;
  run.Seeking->SetPositions(position, kSegmentSeekFlags, segmentStop, kSegmentSeekFlags);
  FGrab.Arm();
  FGrabTimer->SetEnabled(false);
  FGrabTimer->SetEnabled(true);
  FGrab.Wait([this](int milliseconds) { PauseForGrab(milliseconds); }, FWindow.Closing);
}

bool TPlayController::GrabbedBlank() {
  const std::shared_ptr<const TBitmap24> picture = TakeGrabPicture();
  return picture && !picture->Empty() && IsBlankPicture(*picture);
}

void TPlayController::ShowFailure(const TMovieRun& run) {
  WriteTimedLine(", " + run.FileName + " Error");
  FGrab.Expire();
  FHost.ShowErrorNotice(run.FileName);
  // A short sleep in each round keeps the wait from spinning a core for
  // the minute the notice may stay up.
  while (FHost.ErrorNoticeShowing() && !FWindow.Closing) {
    FHost.YieldToMessages();
    FHost.Sleep(10);
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

void TPlayController::HoldStill() {
  WaitSeconds(static_cast<std::uint16_t>(std::clamp(FWindow.Settings.DrawWait, 0, 65535)));
}

void TPlayController::WaitSeconds(std::uint16_t seconds) {
  const TDateTime end = FHost.Now() + seconds / 86400.0;
  for (TDateTime now = FHost.Now(); !FWindow.Closing && now < end; now = FHost.Now()) {
    FHost.SleepUntilMessages(static_cast<int>(std::ceil((end - now) * 86'400'000.0)));
    FHost.ProcessMessages();
  }
}

}  // namespace tavelune
