#pragma once

// The saver window on Qt: the native window of TSaver and its host. It
// forwards paint, activation, input and close events to TSaver's handlers,
// shows FScreenPicture (and, in a full-screen run, each other monitor's picture
// in a window of its own), and gives the saver real time, timers, the red
// error line, the error notice, the cursor, the desktop capture and text
// drawing. UI thread.

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/DesktopSaverHost.h"
#include "app/InputWatchdog.h"
#include "app/RunGuards.h"
#include "app/Saver.h"
#include "catalogue/LogFile.h"
#include "frontends/qt/QtFormMessage.h"
#include "platform/InputWatch.h"

namespace tavelune::platform {

class TQtSaverWindow;

// The window of a monitor besides the primary one in a full-screen run: it
// shows that monitor's picture and hands its input to the saver window.
class TQtOtherScreenWindow : public QWidget {
 public:
  // `index`: the monitor's place in TSaver::OtherScreens().
  TQtOtherScreenWindow(TQtSaverWindow& saver, std::size_t index, QScreen* screen);
  QScreen* Screen() const { return FScreen; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TQtSaverWindow& FSaver;
  std::size_t FIndex;
  QScreen* FScreen;  // Qt's, for as long as the monitor is plugged in
};

class TQtSaverWindow : public QWidget, public TDesktopSaverHost {
 public:
  // `targetWindow`: an X window to draw into instead of covering the screen
  // (the preview pane of a preview `run`, or xscreensaver's window); 0 for
  // none.
  TQtSaverWindow(const TProgramRun& run, std::uint64_t targetWindow);
  ~TQtSaverWindow() override;

  // Runs FormCreate, sizes the window and shows it; false (with a message
  // on standard error) when the target window does not exist.
  bool Start();
  // Asks the window to close (a close request through the close query).
  void RequestClose() override;
  void PlayLoopEnded() override;

  // For the other monitors' windows: the picture of monitor `index`, and
  // their input, judged as the saver window's own (`global`: where the
  // mouse is on the virtual screen).
  const TBitmap24& OtherScreenPicture(std::size_t index) const;
  void OtherScreenMouseMove(QPoint global);
  void OtherScreenMouseDown();
  void OtherScreenKeyPress(QKeyEvent* event);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Guarded(const std::function<void()>& handler) { RunGuarded(*FSaver, handler); }
  void Activate();
  // Ends the application once the run has closed and its play loop ended.
  void QuitOnceEnded();
  void FollowTarget();
  void GrabInput();
  void ReleaseInput();
  void WatchInput();
  // One window for each other monitor the saver covers.
  void CoverOtherMonitors();
  void ForgetMonitor(QScreen* screen);

  // --- ISaverHost ---
  void ProcessMessages() override;
  std::unique_ptr<ITimer> CreateTimer(int intervalMilliseconds,
                                      std::function<void()> onTimer) override;
  void ShowErrorNotice(const std::string& movieFile) override;
  bool ErrorNoticeShowing() override;
  void ScreenChanged() override;
  int ScreenWidth() override;
  int ScreenHeight() override;
  TBitmap24 CaptureScreen() override;
  std::vector<TScreenArea> OtherMonitors() override;
  TBitmap24 CaptureArea(const TScreenArea& area) override;
  int ShowCursor(bool show) override;
  void SetErrorText(const std::string& text) override;
  std::uint32_t PlatformId() override { return 2; }  // the desktop locks the screen itself
  void SetScreenSaverRunning(bool) override {}
  bool ScreenSaverPasswordInUse() override { return false; }
  bool VerifyScreenSaverPassword() override { return true; }
  void SetDisplay16Bit() override {}  // no mode switch on Linux desktops

  std::uint64_t FTargetWindow;
  std::unique_ptr<IMediaFramework> FMedia;
  TLogFile FLogFile;
  std::unique_ptr<TSaver> FSaver;
  QLabel* FErrorLine;
  // The error notice while it exists; it frees itself once closed, or goes
  // with this window.
  QPointer<TQtFormMessage> FNotice;
  std::vector<std::unique_ptr<TQtOtherScreenWindow>> FOtherWindows;
  QTimer FFollowTimer;  // follows the target window's size
  // A full-screen run's dead man's switch, and the desktop's input that
  // wakes it (declared after it: it goes first).
  std::unique_ptr<TInputWatchdog> FInputWatchdog;
  std::unique_ptr<IInputWatch> FInputWatch;
  int FCursorCount = 0;
  bool FInputGrabbed = false;
  bool FClosed = false;  // the close was accepted
};

}  // namespace tavelune::platform
