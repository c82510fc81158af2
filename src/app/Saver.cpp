// The saver window's life: creation, first paint, first activation, the
// close query and close, and the exit rules of the input handlers.

#include "app/Saver.h"

#include <cstdlib>
#include <utility>

#include "base/TextUtils.h"
#include "imaging/Canvas.h"
#include "imaging/Colors.h"
#include "imaging/RotImg.h"
#include "platform/Screen.h"
#include "settings/VersionInfo.h"

namespace tavelune {

namespace {

// A mouse jump of more than this many pixels on either axis ends the run.
constexpr int kMouseSlack = 20;
// The window's colour before the run sets its own: the desktop's.
constexpr TColor kDesktopColor = kSystemColorFlag + 1;

}  // namespace

TSaver::TSaver(ISaverHost& host, IMediaFramework& media, IHistoryLog& logFile, TProgramRun run)
    : FHost(host),
      FRun(std::move(run)),
      FHistory(logFile),
      FPlayer(host, media, FHistory,
              {FSettings, FScreenPicture, FBackground, FOtherScreens, FClosing, FActivated}) {}

void TSaver::WriteTimedLine(const std::string& event) {
  tavelune::WriteTimedLine(FHistory, FHost.LocalNow(), event);
}

bool TSaver::Preview() const {
  return FRun.Preview();
}

void TSaver::FormCreate() {
  FSettings = TSaverSettings{};
  FActivated = false;
  FMouseSeen = false;
  FClosing = false;
  FClosed = false;
  FPlayer.MovieList().clear();
  {
    std::unique_ptr<IKeyStore> store = FHost.OpenUserKeyStore();
    ReadSaverSettings(*store, FSettings, FClosing,
                      [this](std::int32_t bound) { return FHost.RandomBelow(bound); });
  }
  FPlatformId = FHost.PlatformId();
  if (Preview()) {
    DrawPreviewIcon();
    return;
  }
  if (FPlatformId == 1) {
    FHost.SetScreenSaverRunning(true);
  }
  // However often the cursor had been shown, it ends up hidden.
  while (FHost.ShowCursor(false) >= 0 && !FClosing) {
    FHost.Sleep(100);
    FHost.ProcessMessages();
  }
  const std::string logFile = TrimControl(FSettings.LogFile);
  if (!logFile.empty()) {
    FHistory.SetLogFileName(logFile);
    FHistory.SetActive(true);
  }
  FFinder = std::make_unique<TMFindFirst>(FSettings.FolderList, FSettings.ExtensionList,
                                          FPlayer.MovieList());
  FPlayer.SetMovieSearch(FFinder.get());
  if (FSettings.RememberShown && FSettings.RandomSort) {
    FShownMemory = std::make_unique<TShownMemory>(ShownMemoryFileName());
    FPlayer.SetShownMemory(FShownMemory.get());
  }
  FFinder->Resume();
  SetClientSize(FHost.ScreenWidth(), FHost.ScreenHeight());
  CoverOtherMonitors();
  CaptureDesktop();
}

void TSaver::CoverOtherMonitors() {
  FOtherScreens.clear();
  for (const TScreenArea& area : FHost.OtherMonitors()) {
    if (area.Width <= 0 || area.Height <= 0) {
      continue;
    }
    TOtherScreen other{area, TBitmap24(area.Width, area.Height), {}};
    other.Screen.Fill(ColorToRgb(FSettings.BackColor));
    FOtherScreens.push_back(std::move(other));
  }
}

void TSaver::SetClientSize(int width, int height) {
  FClientWidth = std::max(width, 0);
  FClientHeight = std::max(height, 0);
  if (FScreenPicture.Width() != FClientWidth || FScreenPicture.Height() != FClientHeight) {
    TBitmap24 resized(FClientWidth, FClientHeight);
    resized.Fill(ColorToRgb(Preview() ? kDesktopColor : FSettings.BackColor));
    StretchDrawWhole(resized, FScreenPicture);
    FScreenPicture = std::move(resized);
  }
}

void TSaver::CaptureDesktop() {
  if (FClosing) {
    return;
  }
  FBackground = FHost.CaptureScreen();
  for (TOtherScreen& other : FOtherScreens) {
    other.Background = FHost.CaptureArea(other.Area);
  }
}

void TSaver::DrawPreviewIcon() {
  FBackground = FHost.ProgramIcon(ColorToRgb(kDesktopColor));
}

void TSaver::FormPaint() {
  if (FPainted) {
    return;
  }
  FPainted = true;
  if (Preview()) {
    // The pane shows the program's icon in its middle (a capture of the
    // whole screen would not fit a preview).
    DrawBitmap(FScreenPicture, FBackground, (FClientWidth - 32) / 2, (FClientHeight - 32) / 2);
    FHost.ScreenChanged();
    return;
  }
  if (!FSettings.Capture) {
    CaptureDesktop();
  }
}

void TSaver::FormActivate() {
  if (FActivated) {
    return;
  }
  FActivated = true;
  if (Preview()) {
    return;
  }
  if (platform::ScreenColorDepth() > 16) {
    FHost.SetDisplay16Bit();
  }
  if (!FSettings.Capture) {
    FBackground = OutlinedBackColor(FClientWidth, FClientHeight);
    for (TOtherScreen& other : FOtherScreens) {
      other.Background = OutlinedBackColor(other.Area.Width, other.Area.Height);
    }
  }
  if (!FClosing) {
    StretchDrawWhole(FScreenPicture, FBackground);
    for (TOtherScreen& other : FOtherScreens) {
      StretchDrawWhole(other.Screen, other.Background);
    }
    FHost.ScreenChanged();
  }
  TrimHistory();
  FPlayer.StartPlayLoop();
}

void TSaver::TrimHistory() {
  // Only a history being kept is cut; input during the cut ends it.
  if (FHistory.Active()) {
    FHistory.TrimHistory(1000, FClosing);
  }
}

TBitmap24 TSaver::OutlinedBackColor(int width, int height) const {
  // The back colour, outlined by a black pen of one pixel.
  TBitmap24 background(width, height);
  background.Fill(0);
  if (width > 2 && height > 2) {
    TBitmap24 inner(width - 2, height - 2);
    inner.Fill(ColorToRgb(FSettings.BackColor));
    DrawBitmap(background, inner, 1, 1);
  }
  return background;
}

void TSaver::FormCloseQuery(bool& canClose) {
  canClose = true;
  AbortRotation();
  if (FClosed || Preview() || FRun.ModeLetter == "P" || FPlatformId == 2) {
    return;
  }
  if (FHost.ScreenSaverPasswordInUse()) {
    FHost.ShowCursor(true);
    canClose = FHost.VerifyScreenSaverPassword();
    if (!canClose) {
      FHost.ShowCursor(false);
      FClosing = false;
    }
  }
}

void TSaver::FormClose() {
  FClosing = true;
  if (Preview() || FClosed) {
    return;
  }
  FClosed = true;
  FHistory.WriteLine("Close");
  FPlayer.StopGraph();
  FPlayer.WakeUp();
  if (FFinder) {
    FFinder->Terminate();
  }
  if (FPlatformId == 1) {
    FHost.SetScreenSaverRunning(false);
  }
  FHost.ShowCursor(true);
}

void TSaver::FormDestroy() {
  FPlayer.MovieList().clear();
}

void TSaver::FormMouseMove(int x, int y) {
  if (!Preview() && FMouseSeen &&
      (std::abs(FMouseX - x) > kMouseSlack || std::abs(FMouseY - y) > kMouseSlack)) {
    FMouseSeen = false;
    WriteTimedLine(", Mouse Move");
    FClosing = true;
    FHost.RequestClose();
    return;
  }
  FMouseX = x;
  FMouseY = y;
  FMouseSeen = true;
}

void TSaver::FormMouseDown() {
  if (Preview()) {
    return;
  }
  FClosing = true;
  WriteTimedLine(", Mouse Push");
  FHost.RequestClose();
}

void TSaver::FormKeyPress(char& key) {
  if (!TrimControl(FSettings.LogFile).empty() && key == ' ') {
    WriteTimedLine(", Press Key!!");
    return;
  }
  if (Preview()) {
    return;
  }
  FClosing = true;
  WriteTimedLine(", Key Push");
  FHost.RequestClose();
}

void TSaver::ShowExceptionMessage(const std::string& message) {
  FHost.SetErrorText(message);
}

}  // namespace tavelune
