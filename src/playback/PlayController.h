#pragma once

// The play loop: movies one at a time from the list discovery fills, each
// opened in a fresh graph, run muted for a moment to learn its length,
// paused, and sought segment by segment, each segment's frame shown as a
// still and held.
//
// The steps are coroutines (playback/PlayTask.h) that the front end's own
// event loop resumes: every wait suspends the step on the controller's wake
// timer, which the event loop fires at the wait's end, or at once when the
// run closes (WakeUp). Input, timers, graph events and discovery's
// hand-overs are handled by the event loop between the steps, never inside
// them, and the closing flag is tested again after every wait.
//
// Threads: everything runs on the UI thread except GrabberBuffer, which the
// media framework calls on its streaming thread. The two share only the
// atomic flags and the grab request (playback/GrabRequest.h).

#include <atomic>
#include <coroutine>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/LogFile.h"
#include "catalogue/MFindFirst.h"
#include "catalogue/ShownMemory.h"
#include "imaging/Bitmap.h"
#include "playback/GrabRequest.h"
#include "playback/MediaGraph.h"
#include "playback/PlayHost.h"
#include "playback/PlayTask.h"
#include "playback/StillComposer.h"

namespace tavelune {

// The segment plan of one movie: how many stills, and how far apart.
struct TSegmentPlan {
  std::int64_t Raw = 0;    // segments the movie's length asks for
  std::int32_t Count = 0;  // segments shown, at least 1
  TRefTime Step = 0;       // distance between segment starts
};

// The first segment starts this far into a movie; segment k at
// kFirstSegment + (k - 1) * Step.
inline constexpr TRefTime kFirstSegment = 2 * kRefTimePerSecond;

// The plan for a movie whose end is `stop`, with one segment every
// `seconds` seconds, between `minCount` and `maxCount` segments (the
// minimum tested first), `draw` being the random draw in 0..seconds-1 that
// shifts the raw count by at most one. A `seconds` below 1 counts as 1.
TSegmentPlan PlanSegments(TRefTime stop, std::int32_t seconds, std::int32_t minCount,
                          std::int32_t maxCount, std::int32_t draw);

// Ask for 24-bit frames (MPEG and DVD recordings) or 32-bit frames.
TMediaSubtype GrabberSubtypeFor(const std::string& containerCode, const std::string& fileName);
// The stop of a segment seek: the movie's end for the kinds whose graphs
// need a running segment to deliver a frame, otherwise the start itself.
TRefTime SegmentStopFor(const std::string& containerCode, const std::string& fileName,
                        TRefTime position, TRefTime movieStop);

class TPlayController : private IGraphListener {
 public:
  // The host, the media components, the history and the window's state
  // must outlive the controller.
  TPlayController(IPlayHost& host, IMediaFramework& media, IHistoryLog& logFile,
                  TPlayWindow window);
  ~TPlayController() override;
  TPlayController(const TPlayController&) = delete;
  TPlayController& operator=(const TPlayController&) = delete;

  // --- the movies ---
  // The movies found and not yet played, which discovery fills (on the UI
  // thread, in its hand-overs).
  std::vector<std::string>& MovieList() { return FMovieList; }
  // The walk that fills the list, or none; not owned.
  void SetMovieSearch(IMovieSearch* search) { FMovieSearch = search; }
  // The memory of movies shown by earlier runs, or none; not owned. With
  // one and "Random Sort", movies it does not hold are taken first.
  void SetShownMemory(TShownMemory* memory) { FShown = memory; }

  // --- the run on the event loop ---
  // The first pause and then the play loop, started: returns at its first
  // wait, and the event loop resumes it until the run ends. What it lets
  // out is thrown from the wake timer's handler (the red line).
  void StartPlayLoop();
  // Whether the play loop started here is under way; once it has ended the
  // host hears PlayLoopEnded.
  bool PlayLoopRunning() const { return FLoopRunning; }
  // The run is closing: the wait under way ends at the event loop's next
  // pass instead of when its time is up.
  void WakeUp();

  // --- the play loop's steps ---
  // Each is a task that a step awaits, or that a host's event loop runs
  // (StartPlayLoop; the console and test hosts' Run). One runs at a time:
  // the controller has one wake timer.
  // Runs until the window closes, then asks it to close.
  TPlayTask<> PlayLoop();
  // False only when it tried to take a movie and found none.
  TPlayTask<bool> PlayNext();
  // The next movie from the list (at random with "Random Sort", preferring
  // movies the shown memory does not hold), removed from it and remembered
  // as shown; empty when there is none once the walk has ended.
  TPlayTask<std::string> TakeNextMovie();
  // Plays one movie from start to stop. A failure of the movie itself ends
  // in the error notice and a close request; errors while preparing it
  // propagate after the stop sequence.
  TPlayTask<> PlayMovie(std::string fileName);
  // A random pause of 1.5 to 4 s, before the first movie and between movies.
  TPlayTask<> PauseBetweenMovies();
  // The run is ending: a running graph stops now.
  void StopGraph();

  // Whether a movie is being played, and the position of its segment's
  // frame while it is (the last one's after it): the segment's start, or
  // where a blank frame sent the grab within the segment.
  bool Playing() const { return FPlaying; }
  TRefTime SegmentPosition() const { return FSegmentPos; }

  // --- event handlers (UI thread) ---
  void GraphEvent(long eventCode);
  void GraphEndOfSegment();
  // The seek delivers nothing: the wait for its frame ends now.
  void GraphNoFrame();
  void TimerFilterTimer();

  // --- the still of a segment ---
  // Streaming thread: converts the sample when a frame is wanted.
  void GrabberBuffer(double sampleTime, const std::uint8_t* buffer, std::size_t bufferLength);
  // Composes the grabbed frame (or the video window's snapshot when none
  // came) into a still on the screen picture and ends the grab request;
  // true when a still was composed, false when there was no picture or an
  // empty one.
  bool ShowStill();
  // Holds a composed still for "Draw Wait" seconds (none when negative).
  TPlayTask<> HoldStill();
  // Waits `seconds` of wall-clock time in one wait, ending early when the
  // window closes.
  TPlayTask<> WaitSeconds(std::uint16_t seconds);

  // --- seams for tests ---
  TGrabRequest& GrabRequest() { return FGrab; }
  ITimer& GrabTimer() { return *FGrabTimer; }

 private:
  struct TMovieRun;
  class TPause;

  // IGraphListener: the graph's notices go to the handlers above.
  void OnGraphEvent(long eventCode) override { GraphEvent(eventCode); }
  void OnEndOfSegment() override { GraphEndOfSegment(); }
  void OnNoFrame() override { GraphNoFrame(); }
  void OnSample(double sampleTime, const std::uint8_t* buffer, std::size_t bufferLength) override {
    GrabberBuffer(sampleTime, buffer, bufferLength);
  }

  void WriteTimedLine(const std::string& event);
  // A wait of `milliseconds` (co_await Pause(...)): the running step is
  // suspended on the wake timer.
  TPause Pause(int milliseconds);
  void Suspend(std::coroutine_handle<> step, int milliseconds);
  // The wake timer's handler: resumes the suspended step.
  void Resume();
  // The first pause and the play loop, as StartPlayLoop runs them.
  TPlayTask<> PauseAndPlay();
  // Lets go of the play loop once it has ended, rethrowing its error.
  void EndLoopIfDone();
  // The list position of the next movie; the list is not empty.
  TPlayTask<std::size_t> ChooseMovie();
  // The positions of the listed movies the shown memory does not hold.
  std::vector<std::size_t> UnshownMovies() const;
  std::size_t RandomIndexBelow(std::size_t count);
  bool JudgeRecording(TMovieRun& run);
  void PrepareGraph();
  TPlayTask<> PlaySegments(TMovieRun& run);
  TPlayTask<> ReadLength(TMovieRun& run);
  // Shows the still of the segment that starts at `position` (segments
  // `step` apart) and holds it.
  TPlayTask<> SeekSegment(TMovieRun& run, TRefTime position, TRefTime step, bool preSeekSleep);
  // Seeks to `position` and waits for its frame.
  TPlayTask<> GrabAt(TMovieRun& run, TRefTime position);
  // Whether the frame the grab holds is a real picture too flat to draw.
  bool GrabbedBlank();
  TPlayTask<> ShowFailure(const TMovieRun& run);
  void StopMovie(TMovieRun& run);
  std::shared_ptr<const TBitmap24> TakeGrabPicture();

  IPlayHost& FHost;
  const TPlayWindow FWindow;
  IFilterGraph& FGraph;
  ISampleGrabber& FGrabber;
  IFrameSource& FFrameSource;
  IHistoryLog& FHistory;
  TStillComposer FComposer;
  std::unique_ptr<ITimer> FGrabTimer;
  // Ends the waits: fires once at a wait's end (or at WakeUp), resuming
  // FSuspended.
  std::unique_ptr<ITimer> FWakeTimer;
  std::coroutine_handle<> FSuspended;
  // The play loop StartPlayLoop started, while it lives.
  TPlayTask<> FLoop;
  bool FLoopRunning = false;

  std::vector<std::string> FMovieList;
  IMovieSearch* FMovieSearch = nullptr;
  TShownMemory* FShown = nullptr;
  bool FPlaying = false;
  // The movie being played, on PlayMovie's stack; null between movies.
  const TMovieRun* FRun = nullptr;
  TRefTime FSegmentPos = 0;
  std::atomic<bool> FGraphEvent{false};
  TGrabRequest FGrab;
};

}  // namespace tavelune
