#pragma once

// The saver window on Qt: the native window of TSaver and its host. It
// forwards paint, activation, input and close events to TSaver's handlers,
// shows ImageMain, and gives the saver real time, timers, the red error
// line, the error notice, the cursor, the desktop capture and text drawing.
// UI thread.

#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/DesktopSaverHost.h"
#include "app/InputWatchdog.h"
#include "app/Saver.h"
#include "catalogue/LogFile.h"

namespace tavelune::platform {

class TQtSaverWindow : public QWidget, public TDesktopSaverHost {
 public:
  // `targetWindow`: an X window to draw into instead of covering the screen
  // (the preview pane when PreviewHandle is set, or xscreensaver's window);
  // 0 for none.
  explicit TQtSaverWindow(std::uint64_t targetWindow);
  ~TQtSaverWindow() override;

  // Runs FormCreate, sizes the window and shows it; false (with a message
  // on standard error) when the target window does not exist.
  bool Start();
  // Asks the window to close (a close request through the close query).
  void RequestClose() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Runs a handler; what it throws goes to the saver's exception handler,
  // as the application's handler of uncaught errors would.
  void Guarded(const std::function<void()>& handler);
  void Activate();
  void FollowTarget();
  void GrabInput();
  void ReleaseInput();
  void StartInputWatchdog();
  [[noreturn]] void EndStalledRun();
  static void StartExitWatchdog();

  // --- ISaverHost ---
  void YieldToMessages() override;
  void ProcessMessages() override;
  std::unique_ptr<ITimer> CreateTimer(int intervalMilliseconds,
                                      std::function<void()> onTimer) override;
  void ShowErrorNotice(const std::string& movieFile) override;
  bool ErrorNoticeShowing() override;
  void ScreenChanged() override;
  int ScreenWidth() override;
  int ScreenHeight() override;
  TBitmap24 CaptureScreen() override;
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
  QLabel* FLabel2;
  QTimer FFollowTimer;  // follows the target window's size
  // A full-screen run's dead man's switch, and the timer whose ticks tell it
  // that the event loop runs.
  std::unique_ptr<TInputWatchdog> FInputWatchdog;
  QTimer FBeatTimer;
  int FCursorCount = 0;
  bool FInputGrabbed = false;
};

}  // namespace tavelune::platform
