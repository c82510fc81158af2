#pragma once

// The saver window's state and its life: creation, paint, activation, the
// close query and close, and the exit rules of the input handlers. The
// playback it runs is its TPlayController (playback/PlayController.h).
//
// The native window belongs to the front end, which forwards its events to
// the handlers here and shows ScreenPicture. UI thread; only the closing
// flag is read from other threads.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/BestEffortHistory.h"
#include "app/Program.h"
#include "app/SaverHost.h"
#include "catalogue/LogFile.h"
#include "catalogue/MFindFirst.h"
#include "catalogue/ShownMemory.h"
#include "imaging/Bitmap.h"
#include "playback/MediaGraph.h"
#include "playback/PlayController.h"
#include "settings/SettingsStore.h"

namespace tavelune {

namespace test {
struct TSaverSeam;
}

class TSaver {
 public:
  // The host, the media components and the history must outlive the saver;
  // `run` says whether it is a preview.
  TSaver(ISaverHost& host, IMediaFramework& media, IHistoryLog& logFile, TProgramRun run);
  ~TSaver() = default;
  TSaver(const TSaver&) = delete;
  TSaver& operator=(const TSaver&) = delete;

  // --- the window's life (front end events) ---
  // Loads the settings, and in a run hides the cursor, opens the history,
  // starts discovery and captures the desktop.
  void FormCreate();
  // The window's client size, which the front end has given it.
  void SetClientSize(int width, int height);
  void FormPaint();
  // The first activation prepares the background, trims the history and
  // starts the play loop (a pause of 1.5 to 4 s first), which the event
  // loop then runs until the run ends.
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

  // --- what the front ends show and ask ---
  // The picture the window shows, of its client size.
  const TBitmap24& ScreenPicture() const { return FScreenPicture; }
  // The captured desktop, or the back colour, behind the stills.
  const TBitmap24& Background() const { return FBackground; }
  // The monitors besides the primary one that a full-screen run covers,
  // each with its own picture to show; none in a preview.
  const std::vector<TOtherScreen>& OtherScreens() const { return FOtherScreens; }
  bool Painted() const { return FPainted; }
  // Whether the run is ending (any thread).
  bool Closing() const { return FClosing; }
  // Whether the play loop is under way: a closed run ends its event loop
  // once it has ended too (the host hears PlayLoopEnded).
  bool PlayLoopRunning() const { return FPlayer.PlayLoopRunning(); }

 private:
  // Direct access for the saver's own tests.
  friend struct test::TSaverSeam;

  void WriteTimedLine(const std::string& event);
  // One picture for each monitor the host reports besides the primary one.
  void CoverOtherMonitors();
  TBitmap24 OutlinedBackColor(int width, int height) const;
  // Cuts the history kept to its last 1000 lines before the first movie.
  void TrimHistory();

  ISaverHost& FHost;
  TProgramRun FRun;
  // Every failure to keep the history is absorbed here.
  TBestEffortHistory FHistory;
  TSaverSettings FSettings;
  std::atomic<bool> FClosing{false};
  // The run has closed: a repeated close request (a desktop's repeated
  // deactivation, a second close message) asks and writes nothing more.
  bool FClosed = false;
  bool FActivated = false;
  bool FPainted = false;
  bool FMouseSeen = false;
  std::int32_t FMouseX = 0;
  std::int32_t FMouseY = 0;
  std::uint32_t FPlatformId = 0;
  int FClientWidth = 0;
  int FClientHeight = 0;
  // FScreenPicture is the visible screen picture; FBackground the background
  // that "Screen Clear" restores. Both are the screen's size.
  TBitmap24 FScreenPicture;
  TBitmap24 FBackground;
  std::vector<TOtherScreen> FOtherScreens;
  // With "Remember Shown" and "Random Sort" in a full-screen run: the movies
  // earlier runs showed.
  std::unique_ptr<TShownMemory> FShownMemory;
  // Declared after the state it plays on, which it refers to.
  TPlayController FPlayer;
  // Declared last, so that the walk filling the player's list ends first.
  std::unique_ptr<TMFindFirst> FFinder;
};

}  // namespace tavelune
