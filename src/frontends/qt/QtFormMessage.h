#pragma once

// The error notice's native window: a small dialog over everything else,
// laid out as designed, driving TFormMessage. It frees itself when closed.

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>

#include "ui/FormMessage.h"

namespace tavelune::platform {

class TQtFormMessage : public QDialog, private IFormMessageView {
 public:
  // Keys and mouse moves that are not the notice's own go to `passed`.
  TQtFormMessage(std::function<std::string()> movieFile, TPassedInput passed);

  // Shows the notice and runs its first activation (a window manager may
  // never send one, and without one there is none at all).
  void ShowNotice();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Mouse moves over the notice and each of its controls.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetMessageText(const std::string& text) override;
  void SetCountdownText(const std::string& text) override;
  void SetTimerEnabled(bool enabled) override;
  void Hide() override;
  void Close() override;
  void RepaintCountdown() override;

  QLabel* FMessageLabel;
  QLabel* FCountdownLabel;
  QPushButton* FOkButton;
  QTimer FCountdownTimer;
  TFormMessage FLogic;
};

}  // namespace tavelune::platform
