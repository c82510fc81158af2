#pragma once

// The error notice's native window on Win32: a small window over
// everything else, laid out as designed, driving TFormMessage. It frees
// itself when its window is destroyed. UI thread.

#include <windows.h>

#include <functional>
#include <string>

#include "ui/FormMessage.h"

namespace tavelune::platform {

class TWin32FormMessage final : private IFormMessageView {
 public:
  // Shows a new notice (it becomes FormMessage until its window is gone).
  // Keys and mouse moves that are not its own go to `passed`.
  static void Show(std::function<std::string()> movieFile, TPassedInput passed);
  // Whether a notice exists and is visible.
  static bool Showing();

 private:
  TWin32FormMessage(std::function<std::string()> movieFile, TPassedInput passed);
  ~TWin32FormMessage() override;
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
  void ProcessMessages() override;

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
