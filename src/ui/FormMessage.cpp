#include "ui/FormMessage.h"

#include <utility>

namespace tavelune {

TFormMessage::TFormMessage(IFormMessageView& view, std::function<std::string()> movieFile)
    : FView(view), FMovieFile(std::move(movieFile)) {
  // The countdown runs from the moment the notice exists.
  FView.SetTimerEnabled(true);
}

void TFormMessage::FormActivate() {
  if (FActivated) {
    return;
  }
  FActivated = true;
  FView.SetMessageText(FMovieFile() + "は、壊れています。");
  FRemaining = 60;
  FView.SetCountdownText("60秒");
}

void TFormMessage::CountdownTick() {
  --FRemaining;
  FView.SetCountdownText(std::to_string(FRemaining) + "秒");
  FView.RepaintCountdown();
  if (FRemaining < 1) {
    FView.Close();
  }
}

void TFormMessage::OkButtonClick() {
  FView.Close();
}

bool TFormMessage::FormKeyPress(char key) {
  if (key == '\r' || key == '\n' || key == '\x1b' || key == ' ') {
    return false;
  }
  if (FPassed.KeyPress) {
    FPassed.KeyPress(key);
  }
  return true;
}

void TFormMessage::FormMouseMove(int screenX, int screenY) {
  if (FPassed.MouseMove) {
    FPassed.MouseMove(screenX, screenY);
  }
}

void TFormMessage::FormClose() {
  FView.SetTimerEnabled(false);
  FView.Hide();
}

}  // namespace tavelune
