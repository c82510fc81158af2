// TAVELUNE.SCR: the screen saver on Windows, with the screen-saver host's
// command line (read as UTF-16 and handed to the core in the system code
// page):
//
//   /s           full-screen run
//   /p HWND      preview inside the host's pane
//   /c, /c:HWND  the settings dialog
//   /a HWND      password change through the platform (older family only)

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Program.h"
#include "base/ProcessUtils.h"
#include "base/Synchronize.h"
#include "frontends/win32/Win32ControlForm.h"
#include "frontends/win32/Win32SaverWindow.h"
#include "platform/MessagePump.h"
#include "platform/Screen.h"
#include "platform/SystemDirs.h"
#include "playback/MediaFramework.h"
#include "ports/win32/Win32Gdi.h"
#include "ports/win32/Win32MessagePump.h"
#include "ports/win32/Win32ScreenInfo.h"
#include "settings/UserKeyStore.h"

namespace tavelune::platform {
namespace {

// A hand-over of a worker thread waits for the UI thread: wakes a message
// loop that is idle in GetMessage.
constexpr UINT kWakeMessage = WM_APP + 2;

std::vector<std::string> CommandLineArguments() {
  int count = 0;
  LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {  // the program's own name is not an argument
    args.push_back(SystemText(words[i]));
  }
  ::LocalFree(words);
  return args;
}

class TWin32FrontEnd final : public IProgramFrontEnd {
 public:
  void SetApplicationTitle(const std::string& title) override { FTitle = title; }
  bool AcquireInstanceGuard(const std::string& name) override {
    return tavelune::AcquireInstanceGuard(name);
  }
  void ReleaseInstanceGuard() override { tavelune::ReleaseInstanceGuard(); }

  void InitializeApplication() override {
    // The shell's folder and file choosers of the dialog need a
    // single-threaded apartment on this thread; a failure here is not
    // reported.
    FComInitialized = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    platform::SetMessagePump(&FPump);
    platform::SetScreenInfo(&FScreen);
    const DWORD thread = ::GetCurrentThreadId();
    SetMainThreadWaker([thread] { ::PostThreadMessageW(thread, kWakeMessage, 0, 0); });
  }

  void ChangePassword(std::int64_t parent) override {
    HMODULE library = ::LoadLibraryA((GetSystemDir() + "MPR.DLL").c_str());
    if (library == nullptr) {
      return;
    }
    using TChange = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, LPVOID);
    if (auto change = reinterpret_cast<TChange>(
            reinterpret_cast<void*>(::GetProcAddress(library, "PwdChangePasswordA")))) {
      change("SCRSAVE", reinterpret_cast<HWND>(static_cast<INT_PTR>(parent)), 0, nullptr);
    }
    ::FreeLibrary(library);
  }

  void CreatePreview(const TProgramRun& run) override { CreateSaverWindow(run); }
  void CreateFullScreen(const TProgramRun& run) override { CreateSaverWindow(run); }
  void CreateSettingsDialog() override {
    FStore = OpenUserKeyStore();
    TScreenSaverSetup screenSaverSetup;
    screenSaverSetup.Loaded();
    FDialog = std::make_unique<TWin32ControlForm>(
        TControlFormServices{*FStore, std::move(screenSaverSetup), ProgramFileName(), ProgramDir(),
                             TAVELUNE_HOME_PAGE, TAVELUNE_SUPPORT_BOARD});
    if (!FDialog->Start()) {
      FDialog.reset();
    }
  }

  void RunMessageLoop() override {
    if (FDialog) {
      MSG message;
      while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!FDialog->PreTranslateMessage(message)) {
          ::TranslateMessage(&message);
          ::DispatchMessageW(&message);
        }
      }
      FDialog.reset();
    }
    if (FWindow) {
      MSG message;
      while (!FPump.QuitRequested() && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kWakeMessage) {
          RunSynchronizeRequests();
        } else {
          ::TranslateMessage(&message);
          ::DispatchMessageW(&message);
        }
        FWindow->RunDueActivation();
      }
      FWindow.reset();
    }
    SetMainThreadWaker(nullptr);
    platform::SetScreenInfo(nullptr);
    platform::SetMessagePump(nullptr);
    if (FComInitialized) {
      ::CoUninitialize();
    }
  }

 private:
  void CreateSaverWindow(const TProgramRun& run) {
    FWindow = std::make_unique<TWin32SaverWindow>(run, CreateMediaFramework());
    if (!FWindow->Start()) {
      FWindow.reset();  // the preview's parent is no window: nothing to show in
    }
  }

  std::string FTitle;
  TWin32MessagePump FPump;
  TWin32ScreenInfo FScreen;
  bool FComInitialized = false;
  std::unique_ptr<TWin32SaverWindow> FWindow;
  std::unique_ptr<IKeyStore> FStore;  // the dialog's settings
  std::unique_ptr<TWin32ControlForm> FDialog;
};

}  // namespace
}  // namespace tavelune::platform

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  using namespace tavelune;
  platform::TWin32FrontEnd frontEnd;
  try {
    return RunProgram(platform::CommandLineArguments(), frontEnd);
  } catch (const std::exception& error) {
    ::MessageBoxW(nullptr, platform::WideText(error.what()).c_str(),
                  platform::WideFromUtf8(kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
    return 1;
  }
}
