// The play loop: movies one at a time from the movie list, each opened in a
// fresh graph, run muted for a moment to learn its length, paused, and
// sought segment by segment, each segment's frame shown as a still.
//
// Everything here runs on the UI thread. Every wait is a short sleep and a
// yield, after which FClosing is tested again: input, timers, graph events
// and discovery's hand-overs all run inside those yields.

#include <cmath>
#include <exception>
#include <limits>

#include "app/FileNames.h"
#include "app/Saver.h"
#include "app/ScopeExit.h"
#include "app/TextUtils.h"
#include "platform/FileSystem.h"
#include "probe/ContainerProbe.h"
#include "probe/RecorderLib.h"

namespace tavelune {

namespace {

// The graph reports progress after this much of the movie has run.
constexpr TRefTime kLengthKnownAfter = kRefTimePerSecond;
constexpr THResult kENoInterface = static_cast<THResult>(0x80004002);

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
  // double, as the saver has always computed it.
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
struct TSaver::TMovieRun {
  std::string FileName;
  std::string ContainerCode;
  IMediaSeeking* Seeking = nullptr;  // the graph's, not owned
  TRefTime Current = 0;
  TRefTime Stop = 0;
};

void TSaver::WriteTimedLine(const std::string& event) {
  LogFile1.WriteLine(TimestampText(FHost.LocalNow()) + event);
}

void TSaver::PlayLoop() {
  if (FClosing) {
    FHost.RequestClose();
  }
  while (!FClosing) {
    if (!PlayNext()) {
      WriteTimedLine(", Movie not found");
      if (FsrFileRead != nullptr && FsrFileRead->SearchDone()) {
        FsrFileRead->Resume();
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
void TSaver::PauseBetweenMovies() {
  if (FClosing) {
    return;
  }
  for (int left = 1500 + FHost.RandomBelow(2500); left > 0 && !FClosing; left -= 100) {
    FHost.Sleep(std::min(left, 100));
    FHost.ProcessMessages();
  }
}

bool TSaver::PlayNext() {
  if (FClosing || FPlaying || !FActivated) {
    return true;
  }
  FMovieFile = TakeNextMovie();
  if (FMovieFile.empty()) {
    return false;
  }
  FPlaying = true;
  const TScopeExit played([this] { FPlaying = false; });
  PlayMovie(FMovieFile);
  return true;
}

std::string TSaver::TakeNextMovie() {
  // No FClosing test: closing terminates the walk, which then ends.
  while (FMovieList.empty() && FsrFileRead != nullptr && !FsrFileRead->SearchDone()) {
    FHost.Sleep(100);
    FHost.ProcessMessages();
  }
  if (FMovieList.empty()) {
    return {};
  }
  const std::size_t index =
      Settings.RandomSort ? static_cast<std::size_t>(
                                FHost.RandomBelow(static_cast<std::int32_t>(std::min<std::size_t>(
                                    FMovieList.size(), std::numeric_limits<std::int32_t>::max()))))
                          : 0;
  std::string movie = std::move(FMovieList[index]);
  FMovieList.erase(FMovieList.begin() + static_cast<std::ptrdiff_t>(index));
  return movie;
}

void TSaver::PlayMovie(const std::string& fileName) {
  if (!FileExists(fileName)) {
    LogFile1.WriteLine(FMovieFile + " not Found");
    return;
  }
  WriteTimedLine(", " + FMovieFile + " Start");

  TMovieRun run;
  run.FileName = fileName;
  // Not a scope guard: the stop writes the history, which can throw, and
  // that error must replace the one being handled rather than end the
  // program.
  try {
    if (JudgeRecording(fileName)) {
      run.ContainerCode = ProbeContainer(fileName);
      Capture1.SetMediaSubtype(GrabberSubtypeFor(run.ContainerCode, fileName));
      Capture1.ApplyGrabberType();
      PrepareGraph();
      try {
        PlaySegments(run);
      } catch (...) {
        ShowFailure();
      }
    }
  } catch (...) {
    StopMovie(run);
    throw;
  }
  StopMovie(run);
}

bool TSaver::JudgeRecording(const std::string& fileName) {
  TRecorderTapeLib record;
  if (LookupSideFile(fileName, record) || LookupLibrary(fileName, record)) {
    if (IsRecordingUnusable(record)) {
      return false;
    }
    FDispTitle = record.Title;
  } else {
    FDispTitle = FMovieFile;
  }
  return true;
}

void TSaver::PrepareGraph() {
  if (!FilterG1.Active()) {
    FilterG1.SetActive(true);
  }
  FilterG1.EmptyGraph();
  if (FilterG1.Active()) {
    FilterG1.SetActive(false);
  }
  FilterG1.SetActive(true);
}

void TSaver::PauseForGrab(int milliseconds) {
  FHost.YieldToMessages();
  FHost.Sleep(milliseconds);
}

void TSaver::PlaySegments(TMovieRun& run) {
  FGraphEvent = false;
  FGrab.Reset();
  const THResult rendered = FilterG1.RenderFile(run.FileName);
  FHost.Sleep(300);
  if (rendered != kSOk) {
    // Part of the file could not be rendered: give the graph up to about
    // 5 seconds to report anything.
    for (int round = 0; round < 500 && !FGraphEvent && !FClosing; ++round) {
      FHost.YieldToMessages();
      FHost.Sleep(10);
    }
  }
  if (FClosing) {
    return;
  }
  FilterG1.SetVolume(0);
  FilterG1.Run();
  FGraphEvent = false;

  ReadLength(run);
  if (FClosing) {
    return;
  }

  const std::int32_t seconds = Settings.PreviewSeconds;
  const TSegmentPlan plan = PlanSegments(run.Stop, seconds, Settings.PreviewMin,
                                         Settings.PreviewMax, FHost.RandomBelow(seconds));
  FilterG1.Pause();
  TRefTime position = kFirstSegment;
  SeekSegment(run, position, false);
  for (std::int32_t k = 2; k <= plan.Count && !FClosing; ++k) {
    position += plan.Step;
    SeekSegment(run, position, true);
    FHost.YieldToMessages();
  }
  TimerFilter->SetEnabled(false);
}

void TSaver::ReadLength(TMovieRun& run) {
  run.Seeking = FilterG1.QueryMediaSeeking();
  if (run.Seeking == nullptr) {
    throw EDirectShowException(kENoInterface);
  }
  run.Current = 0;
  for (int round = 0; round < 10 && run.Current < kLengthKnownAfter && !FClosing; ++round) {
    run.Seeking->GetPositions(run.Current, run.Stop);
    FHost.YieldToMessages();
    FHost.Sleep(200);
  }
}

void TSaver::SeekSegment(TMovieRun& run, TRefTime position, bool preSeekSleep) {
  const TRefTime segmentStop = SegmentStopFor(run.ContainerCode, run.FileName, position, run.Stop);
  FSegmentPos = position;
  if (preSeekSleep) {
    FHost.Sleep(100);
  }
  run.Seeking->SetPositions(position, kSegmentSeekFlags, segmentStop, kSegmentSeekFlags);
  FGrab.Arm();
  TimerFilter->SetEnabled(false);
  TimerFilter->SetEnabled(true);
  FGrab.Wait([this](int milliseconds) { PauseForGrab(milliseconds); }, FClosing);
  if (FClosing) {
    return;
  }
  if (ShowStill()) {
    HoldStill();
  }
}

void TSaver::ShowFailure() {
  WriteTimedLine(", " + FMovieFile + " Error");
  FGrab.Expire();
  FHost.ShowErrorNotice(FMovieFile);
  // A short sleep in each round keeps the wait from spinning a core for
  // the minute the notice may stay up.
  while (FHost.ErrorNoticeShowing() && !FClosing) {
    FHost.YieldToMessages();
    FHost.Sleep(10);
  }
  FHost.RequestClose();
}

void TSaver::StopMovie(TMovieRun& run) {
  run.Seeking = nullptr;
  FilterG1.Stop();
  FilterG1.EmptyGraph();
  FilterG1.SetActive(false);
  FGrab.Expire();
  FGraphEvent = false;
  TimerFilter->SetEnabled(false);
  WriteTimedLine(", " + FMovieFile + " Stop");
  if (FClosing) {
    FHost.RequestClose();
  }
}

void TSaver::FilterG1DSEvent(long /*eventCode*/) {
  FGraphEvent = true;
}

void TSaver::FilterG1GraphEndOfSegment() {
  FGrab.Arm();
}

void TSaver::FilterG1NoFrame() {
  // What the grab wait would otherwise find out only when it runs out: the
  // no-frame path (the fallback picture, or nothing drawn and no hold)
  // follows at once.
  FGrab.Expire();
}

void TSaver::TimerFilterTimer() {
  FGrab.Expire();
  FGraphEvent = true;
}

}  // namespace tavelune
