#pragma once

// The saver window on Win32: the native window of TSaver and its host. It
// forwards paint, activation, input and close messages to TSaver's
// handlers, shows FScreenPicture (and, in a full-screen run, each other
// monitor's picture in a window of its own), and gives the saver real time, timers, the red
// error line, the error notice, the cursor, the desktop capture and text
// drawing. UI thread.

#include <windows.h>
// windows.h makes DrawText a macro for DrawTextA; the core's text painter
// and hosts have a DrawText of their own, which must keep its name in every
// program (the tool includes no windows.h). Win32 code calls DrawTextW.
#undef DrawText

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/DesktopSaverHost.h"
#include "app/InputWatchdog.h"
#include "app/RunGuards.h"
#include "app/Saver.h"
#include "catalogue/LogFile.h"
#include "frontends/win32/Win32FormMessage.h"
#include "platform/InputWatch.h"

namespace tavelune::platform {

class TWin32SaverWindow final : public TDesktopSaverHost {
 public:
  // A full-screen run, or a preview inside the PreviewHandle of a preview
  // `run`.
  TWin32SaverWindow(const TProgramRun& run, std::unique_ptr<IMediaFramework> media);
  ~TWin32SaverWindow() override;
  TWin32SaverWindow(const TWin32SaverWindow&) = delete;
  TWin32SaverWindow& operator=(const TWin32SaverWindow&) = delete;

  // Creates the window, runs FormCreate, sizes the window and shows it;
  // false when the preview's parent is no window.
  bool Start();
  // The first activation, once the first paint has asked for it: it starts
  // the play loop, which the window's timers then resume. The outermost
  // message loop calls this after each message, so that activation never
  // runs nested inside another handler.
  void RunDueActivation();
  void RequestClose() override;
  void PlayLoopEnded() override;

 private:
  class TTimer;
  friend class TTimer;
  // Ends the message loop once the run has closed and its play loop ended.
  void QuitOnceEnded();
  // A window covering a monitor besides the primary one.
  struct TMonitorWindow {
    TWin32SaverWindow* Owner;
    std::size_t Index;  // its picture's place in TSaver::OtherScreens()
    HWND Window = nullptr;
  };

  static LRESULT CALLBACK MonitorWindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
  // One window for each other monitor the saver covers.
  void CoverOtherMonitors();
  void PaintMonitor(const TMonitorWindow& monitor);
  // A monitor unplugged during the run takes its window out of sight.
  void HideUnpluggedMonitors();

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();
  void Guarded(const std::function<void()>& handler) { RunGuarded(*FSaver, handler); }
  void WatchInput();
  // A preview ends when its pane goes. A pane destroyed by its own program
  // takes the preview along (WM_DESTROY), but one whose program ends
  // without destroying it is only gone: that is noticed by looking.
  static void CALLBACK CheckPreviewPane(HWND, UINT, UINT_PTR, DWORD);
  // The window is gone (destroyed, or with its pane): the message loop ends.
  void WindowGone();

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
  std::uint32_t PlatformId() override;
  void SetScreenSaverRunning(bool running) override;
  bool ScreenSaverPasswordInUse() override;
  bool VerifyScreenSaverPassword() override;
  void SetDisplay16Bit() override;

  HWND FWindow = nullptr;
  std::vector<std::unique_ptr<TMonitorWindow>> FMonitorWindows;
  const TProgramRun FRun;
  std::unique_ptr<IMediaFramework> FMedia;
  TLogFile FLogFile;
  std::unique_ptr<TSaver> FSaver;
  std::string FErrorText;  // the red line, system code page
  HFONT FErrorFont = nullptr;
  bool FActivationDue = false;
  bool FClosed = false;                               // the close was accepted
  std::map<UINT_PTR, std::function<void()>> FTimers;  // by timer id
  UINT_PTR FNextTimerId = 100;
  UINT_PTR FPaneTimer = 0;  // a thread timer: it outlives a window that is gone
  // A full-screen run's dead man's switch, and the desktop's input that
  // wakes it (declared after it: it goes first).
  std::unique_ptr<TInputWatchdog> FInputWatchdog;
  std::unique_ptr<IInputWatch> FInputWatch;
  // The error notice, once shown; its window closes itself. Last, so that
  // it goes before what its input handlers use.
  std::unique_ptr<TWin32FormMessage> FNotice;
};

}  // namespace tavelune::platform
