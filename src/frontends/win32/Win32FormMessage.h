#pragma once

// The error notice's native window on Win32: a small window over
// everything else, laid out as designed, driving TFormMessage. Its owner
// (the saver window) keeps the object; the window closes itself, and
// destroying the object destroys a window still there. UI thread.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/FormMessage.h"

namespace tavelune::platform {

class TWin32FormMessage final : private IFormMessageView {
 public:
  // A new notice, shown; nullptr when its window cannot be made. Keys and
  // mouse moves that are not its own go to `passed`.
  static std::unique_ptr<TWin32FormMessage> Show(std::function<std::string()> movieFile,
                                                 TPassedInput passed);
  ~TWin32FormMessage() override;
  TWin32FormMessage(const TWin32FormMessage&) = delete;
  TWin32FormMessage& operator=(const TWin32FormMessage&) = delete;

  // Whether its window still exists (it is gone once the notice closed).
  bool Exists() const { return FWindow != nullptr; }
  bool Visible() const { return FWindow != nullptr && ::IsWindowVisible(FWindow) != FALSE; }

 private:
  TWin32FormMessage(std::function<std::string()> movieFile, TPassedInput passed);
  bool Create();

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam);
  // A key or a move that reached the notice or its button; true when handled.
  bool Input(UINT message, WPARAM wParam, HWND from, LPARAM lParam);

  void SetMessageText(const std::string& text) override;
  void SetCountdownText(const std::string& text) override;
  void SetTimerEnabled(bool enabled) override;
  void Hide() override;
  void Close() override;
  void RepaintCountdown() override;

  HWND FWindow = nullptr;
  HWND FMessageLabel = nullptr;
  HWND FCountdownLabel = nullptr;
  HWND FOkButton = nullptr;
  WNDPROC FButtonDefault = nullptr;
  HFONT FFont = nullptr;
  bool FTimerWanted = false;
  TFormMessage FLogic;
};

}  // namespace tavelune::platform
