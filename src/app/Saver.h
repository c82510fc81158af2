#pragma once

// The saver window's state and the playback it runs: the play loop that
// takes movies one at a time from the list discovery fills, plays each
// through the media graph segment by segment, and composes every grabbed
// frame into a still on the screen picture.
//
// The native window belongs to the front end, which forwards its events to
// the handlers here and shows ImageMain. The play loop's operations are
// defined in playback/PlayController.cpp, still composition in
// playback/StillComposer.cpp.
//
// Threads: everything runs on the UI thread except Capture1Buffer, which the
// media framework calls on its streaming thread. The two share only the
// atomic flags and the grab request (playback/GrabRequest.h).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/SaverHost.h"
#include "catalogue/LogFile.h"
#include "catalogue/MFindFirst.h"
#include "imaging/Bitmap.h"
#include "imaging/RotImg.h"
#include "playback/GrabRequest.h"
#include "playback/MediaGraph.h"
#include "settings/SettingsStore.h"

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

// The size a frame of pictureWidth × pictureHeight is drawn at on a screen
// of screenWidth × screenHeight by "Graphics Size": 0 (and any unknown
// value) its own size, 1 fitted to the screen, 2 a random size from the two
// random reals r1 and r2 in [0, 1).
struct TStillSize {
  int Width;
  int Height;
};
TStillSize StillSize(std::int32_t graphicsSize, int pictureWidth, int pictureHeight,
                     int screenWidth, int screenHeight, double r1, double r2);
// The size a still is reduced to before it is turned: 60 % rounded up, one
// more when 60 % is whole.
TStillSize TurnedStillSize(int width, int height);

// "h:nn:ss" of a position; the hours wrap at 24.
std::string PositionText(TRefTime position);

class TSaver : private IGraphListener {
 public:
  // The host, the media components and the history must outlive the saver.
  TSaver(ISaverHost& host, IMediaFramework& media, IHistoryLog& logFile);
  ~TSaver() override;
  TSaver(const TSaver&) = delete;
  TSaver& operator=(const TSaver&) = delete;

  // --- the window's life (front end events) ---
  // Loads the settings, and in a run hides the cursor, opens the history,
  // starts discovery and captures the desktop.
  void FormCreate();
  // The window's client size, which the front end has given it.
  void SetClientSize(int width, int height);
  void FormPaint();
  // The first activation prepares the background, trims the history,
  // pauses 1.5 to 4 s and runs the play loop until the run ends.
  void FormActivate();
  void FormCloseQuery(bool& canClose);
  void FormClose();
  void FormDestroy();
  void FormMouseMove(int x, int y);
  void FormMouseDown();
  // A key that produces a character.
  void FormKeyPress(char& key);
  // The application's exception handler: the message becomes the red line.
  void ShowExceptionMessage(const std::string& message);
  void CaptureDesktop();
  void DrawPreviewIcon();
  bool Preview() const;

  // --- play loop ---
  // Runs until FClosing is set, then asks the window to close.
  void PlayLoop();
  // False only when it tried to take a movie and found none.
  bool PlayNext();
  // The next movie from the list (at random with "Random Sort"), removed
  // from it; empty when there is none once the walk has ended.
  std::string TakeNextMovie();
  // Plays one movie from start to stop. A failure of the movie itself ends
  // in the error notice and a close request; errors while preparing it
  // propagate after the stop sequence.
  void PlayMovie(const std::string& fileName);

  // --- event handlers (UI thread) ---
  void FilterG1DSEvent(long eventCode);
  void FilterG1GraphEndOfSegment();
  // The seek delivers nothing: the wait for its frame ends now.
  void FilterG1NoFrame();
  void TimerFilterTimer();

  // --- still composition ---
  // Streaming thread: converts the sample when a frame is wanted.
  void Capture1Buffer(double sampleTime, const std::uint8_t* buffer, std::size_t bufferLength);
  // Composes the grabbed frame (or the video window's snapshot when none
  // came) into a still on ImageMain and ends the grab request; true when a
  // still was composed, false when there was no picture or an empty one.
  bool ShowStill();
  // Holds a composed still for "Draw Wait" seconds (none when negative).
  void HoldStill();
  // Waits `seconds` of wall-clock time, handling messages as they come,
  // ending early when FClosing is set.
  void WaitSeconds(std::uint16_t seconds);

  // The still composition's temporary picture file.
  static std::string TempPictureFileName();

  // --- state, read and set by the window's handlers and by tests ---
  SaverSettings Settings;
  std::atomic<bool> FClosing{false};
  bool FActivated = false;
  bool FPainted = false;
  bool FMouseSeen = false;
  std::int32_t FMouseX = 0;
  std::int32_t FMouseY = 0;
  std::uint32_t FPlatformId = 0;
  int FClientWidth = 0;
  int FClientHeight = 0;
  bool FPlaying = false;
  std::vector<std::string> FMovieList;
  IMovieSearch* FsrFileRead = nullptr;  // FFinder, or a test's
  std::string FMovieFile;
  std::string FDispTitle;
  TRefTime FSegmentPos = 0;
  std::atomic<bool> FGraphEvent{false};
  TGrabRequest FGrab;

  // Surfaces. ImageMain is the visible screen picture; ImageDesktop the
  // background that "Screen Clear" restores. Both are the screen's size.
  TBitmap24 ImageMain;
  TBitmap24 ImageDesktop;
  TRotateImage RotateImage1;

  // Components.
  IFilterGraph& FilterG1;
  ISampleGrabber& Capture1;
  IVideoWindow& QuilloMonitor;
  IHistoryLog& LogFile1;
  std::unique_ptr<ITimer> TimerFilter;

 private:
  struct TMovieRun;

  // IGraphListener: the graph's notices go to the handlers above.
  void OnGraphEvent(long eventCode) override { FilterG1DSEvent(eventCode); }
  void OnEndOfSegment() override { FilterG1GraphEndOfSegment(); }
  void OnNoFrame() override { FilterG1NoFrame(); }
  void OnSample(double sampleTime, const std::uint8_t* buffer, std::size_t bufferLength) override {
    Capture1Buffer(sampleTime, buffer, bufferLength);
  }

  void WriteTimedLine(const std::string& event);
  bool JudgeRecording(const std::string& fileName);
  void PrepareGraph();
  void PlaySegments(TMovieRun& run);
  void ReadLength(TMovieRun& run);
  void SeekSegment(TMovieRun& run, TRefTime position, bool preSeekSleep);
  void ShowFailure();
  void StopMovie(TMovieRun& run);
  void PauseBetweenMovies();

  // Still composition steps.
  std::shared_ptr<const TBitmap24> TakeGrabPicture();
  // A message pass and a sleep of `milliseconds`: a round of the grab wait.
  void PauseForGrab(int milliseconds);
  void ComposeStill(const TBitmap24& picture);
  TBitmap24 TurnStill(const TBitmap24& picture, TStillSize size);
  void DrawOverlay(int left, int top);

  ISaverHost& FHost;
  std::unique_ptr<TMFindFirst> FFinder;
};

}  // namespace tavelune
