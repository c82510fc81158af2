// The desktop's input on Windows: low-level keyboard and mouse hooks, which
// the system calls for every input of the session before any window sees
// it, on a thread of the watcher's own that does nothing but wait in its
// message loop (hooks are called through that loop).

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/InputWatch.h"

namespace tavelune::platform {

namespace {

class TWin32InputWatch;

// A hook procedure has no context: the one watcher of the process.
std::mutex gWatchLock;
TWin32InputWatch* gWatch = nullptr;

class TWin32InputWatch final : public IInputWatch {
 public:
  explicit TWin32InputWatch(std::function<void()> onInput) : FOnInput(std::move(onInput)) {
    FThread = std::thread([this] { Run(); });
    // The hooks are set (or have failed) before the watcher is handed out.
    std::unique_lock lock(FMutex);
    FStarted.wait(lock, [this] { return FThreadId != 0; });
  }
  ~TWin32InputWatch() override {
    {
      std::lock_guard lock(gWatchLock);
      if (gWatch == this) {
        gWatch = nullptr;
      }
    }
    ::PostThreadMessageW(FThreadId, WM_QUIT, 0, 0);
    FThread.join();
  }
  TWin32InputWatch(const TWin32InputWatch&) = delete;
  TWin32InputWatch& operator=(const TWin32InputWatch&) = delete;

  bool Hooked() const { return FHooked; }
  void Input() { FOnInput(); }

 private:
  static LRESULT CALLBACK OnHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
      std::lock_guard lock(gWatchLock);
      if (gWatch != nullptr) {
        gWatch->Input();
      }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }

  void Run() {
    MSG message;
    // The thread's message queue exists before anyone posts to it.
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    HHOOK keyboard = ::SetWindowsHookExW(WH_KEYBOARD_LL, &OnHook, module, 0);
    HHOOK mouse = ::SetWindowsHookExW(WH_MOUSE_LL, &OnHook, module, 0);
    FHooked = keyboard != nullptr && mouse != nullptr;
    {
      std::lock_guard lock(FMutex);
      FThreadId = ::GetCurrentThreadId();
    }
    FStarted.notify_all();
    while (FHooked && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::DispatchMessageW(&message);
    }
    if (keyboard != nullptr) {
      ::UnhookWindowsHookEx(keyboard);
    }
    if (mouse != nullptr) {
      ::UnhookWindowsHookEx(mouse);
    }
  }

  std::function<void()> FOnInput;
  std::thread FThread;
  std::mutex FMutex;
  std::condition_variable FStarted;
  DWORD FThreadId = 0;
  std::atomic<bool> FHooked{false};
};

}  // namespace

std::unique_ptr<IInputWatch> WatchDesktopInput(std::function<void()> onInput) {
  auto watch = std::make_unique<TWin32InputWatch>(std::move(onInput));
  if (!watch->Hooked()) {
    return nullptr;
  }
  std::lock_guard lock(gWatchLock);
  gWatch = watch.get();
  return watch;
}

void NoteInputSignal() {
  // Windows ends a program with window messages, not signals.
}

}  // namespace tavelune::platform
