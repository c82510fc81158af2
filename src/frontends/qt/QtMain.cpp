// tavelune: the screen saver on Linux.
//
//   tavelune /s            full-screen run
//   tavelune /p WINDOW     preview inside the X window WINDOW
//   tavelune /c            settings
//   tavelune /a            password change (the desktop's business here)
//
// As an xscreensaver display mode it also takes -root, -window-id WINDOW
// (or --window-id) and the XSCREENSAVER_WINDOW variable: a full-screen run
// drawn into that window.

#include <fcntl.h>
#include <unistd.h>
#include <csignal>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Program.h"
#include "base/ProcessUtils.h"
#include "base/Synchronize.h"
#include "frontends/qt/QtControlForm.h"
#include "frontends/qt/QtSaverWindow.h"
#include "platform/InputWatch.h"
#include "platform/MessagePump.h"
#include "platform/SystemDirs.h"
#include "ports/x11/X11Windows.h"
#include "settings/UserKeyStore.h"

namespace tavelune::platform {
namespace {

class TQtMessagePump : public platform::IMessagePump {
 public:
  void DispatchPending() override { QCoreApplication::processEvents(); }
};

// A window id as xscreensaver writes it: decimal or 0x hexadecimal.
std::optional<std::uint64_t> WindowId(const std::string& text) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (text.empty() || end != text.c_str() + text.size() || value == 0) {
    return std::nullopt;
  }
  return value;
}

// SIGTERM and SIGINT (how xscreensaver ends its display modes) and SIGHUP
// (a closing terminal, the end of the session) close the saver window like
// input does, so the history gets its end and the screen is given back.
// They count as input for the watchdog too: a UI thread too stuck to close
// the window does not keep the process alive.
int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
  platform::NoteInputSignal();
}

class TQtFrontEnd : public IProgramFrontEnd {
 public:
  // `drawInto`, or the root window with `root`: xscreensaver's window.
  TQtFrontEnd(int& argc, char** argv, std::optional<std::uint64_t> drawInto, bool root)
      : FArgc(argc), FArgv(argv), FDrawInto(drawInto), FRoot(root) {}

  int ExitCode() const { return FExitCode; }

  void SetApplicationTitle(const std::string& title) override { FTitle = title; }
  bool AcquireInstanceGuard(const std::string& name) override {
    return tavelune::AcquireInstanceGuard(name);
  }
  void ReleaseInstanceGuard() override { tavelune::ReleaseInstanceGuard(); }

  void InitializeApplication() override {
    if (std::getenv("DISPLAY") == nullptr) {
      return;  // the modes that need a window say so
    }
    setenv("QT_QPA_PLATFORM", "xcb", 0);  // windows are embedded by X ids
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
      setenv("XDG_RUNTIME_DIR", PrivateTempDirText().c_str(), 0);
    }
    FApplication = std::make_unique<QApplication>(FArgc, FArgv);
    QApplication::setApplicationDisplayName(QString::fromUtf8(FTitle.c_str()));
    // The saver window's close ends the program, not the last window's.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::SetMessagePump(&FPump);
    SetMainThreadWaker([] {
      QMetaObject::invokeMethod(
          qApp, [] { RunSynchronizeRequests(); }, Qt::QueuedConnection);
    });
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
      FSignals = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
      QObject::connect(FSignals.get(), &QSocketNotifier::activated, [this] {
        char byte = 0;
        while (::read(gSignalPipe[0], &byte, 1) > 0) {
        }
        if (FWindow) {
          FWindow->close();
        } else if (FDialog) {
          FDialog->close();
        } else {
          QCoreApplication::quit();
        }
      });
      struct sigaction action {};
      action.sa_handler = OnSignal;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESTART;
      for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
      }
    }
  }

  void ChangePassword(std::int64_t /*parent*/) override {
    std::fprintf(stderr,
                 "tavelune: there is no screen-saver password to change here; the desktop locks "
                 "the screen with the user's own password\n");
  }

  void CreatePreview(const TProgramRun& run) override {
    if (run.PreviewHandle == 0) {
      std::fprintf(stderr, "tavelune: no preview window given (usage: tavelune /p WINDOW)\n");
      FExitCode = 2;
      return;
    }
    CreateWindow(run, static_cast<std::uint64_t>(run.PreviewHandle));
  }

  // A window xscreensaver names (XSCREENSAVER_WINDOW, -window-id) wins over
  // the root: xscreensaver starts its display modes with --root and means
  // its own window, the virtual root, full-screen or a settings preview.
  void CreateFullScreen(const TProgramRun& run) override {
    if (FDrawInto) {
      CreateWindow(run, *FDrawInto);
    } else {
      CreateWindow(run, FRoot && FApplication ? RootWindow() : 0);
    }
  }

  void CreateSettingsDialog() override {
    if (!FApplication) {
      std::fprintf(stderr, "tavelune: no X display to show the settings on (DISPLAY is not set)\n");
      FExitCode = 1;
      return;
    }
    InstallJapaneseTranslations();
    FStore = OpenUserKeyStore();
    TScreenSaverSetup screenSaverSetup;
    screenSaverSetup.Loaded();
    FDialog = std::make_unique<TQtControlForm>(
        TControlFormServices{*FStore, std::move(screenSaverSetup), ProgramFileName(), ProgramDir(),
                             TAVELUNE_HOME_PAGE, TAVELUNE_SUPPORT_BOARD});
    FDialog->Start();
  }

  void RunMessageLoop() override {
    if (FWindow || FDialog) {
      QApplication::exec();
      FWindow.reset();
      FDialog.reset();
    }
    SetMainThreadWaker(nullptr);
    platform::SetMessagePump(nullptr);
  }

 private:
  void CreateWindow(const TProgramRun& run, std::uint64_t target) {
    if (!FApplication) {
      std::fprintf(stderr, "tavelune: no X display to show the saver on (DISPLAY is not set)\n");
      FExitCode = 1;
      return;
    }
    FWindow = std::make_unique<TQtSaverWindow>(run, target);
    if (!FWindow->Start()) {
      FWindow.reset();
      FExitCode = 1;
    }
  }

  int& FArgc;
  char** FArgv;
  std::optional<std::uint64_t> FDrawInto;
  bool FRoot;
  std::string FTitle;
  std::unique_ptr<QApplication> FApplication;
  TQtMessagePump FPump;
  std::unique_ptr<QSocketNotifier> FSignals;
  std::unique_ptr<TQtSaverWindow> FWindow;
  std::unique_ptr<IKeyStore> FStore;  // the dialog's; outlives it
  std::unique_ptr<TQtControlForm> FDialog;
  int FExitCode = 0;
};

}  // namespace
}  // namespace tavelune::platform

int main(int argc, char** argv) {
  using namespace tavelune;
  std::vector<std::string> args(argv + 1, argv + argc);
  // xscreensaver's ways of naming the window to draw into.
  std::optional<std::uint64_t> drawInto;
  bool root = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-root" || args[i] == "--root") {
      root = true;
    } else if ((args[i] == "-window-id" || args[i] == "--window-id") && i + 1 < args.size()) {
      drawInto = platform::WindowId(args[i + 1]);
      if (!drawInto) {
        std::fprintf(stderr, "tavelune: %s is not a window id\n", args[i + 1].c_str());
        return 2;
      }
    }
  }
  if (const char* window = std::getenv("XSCREENSAVER_WINDOW"); window != nullptr && !drawInto) {
    drawInto = platform::WindowId(window);
  }
  const bool xscreensaver = root || drawInto.has_value();
  if (xscreensaver) {
    args = {"/s"};
  }
  platform::TQtFrontEnd frontEnd(argc, argv, drawInto, root);
  try {
    const int code = RunProgram(args, frontEnd);
    return code != 0 ? code : frontEnd.ExitCode();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tavelune: %s\n", error.what());
    return 1;
  }
}
