#pragma once

// The error notice: a small window over everything else that names the movie
// that could not be played, counts down from 60 seconds and closes itself at
// the end of the count or when its button is pressed. The playback
// controller waits for it to go away and then ends the run.
//
// TFormMessage is the notice's state and event handlers; the front end owns
// the native window (IFormMessageView), lays it out as kLayout says,
// drives FormActivate, CountdownTick and OkButtonClick, and calls FormClose
// when the window closes. The saver window that shows a notice owns it and
// answers whether it is still up. UI thread only.

#include <cstdint>
#include <functional>
#include <string>

namespace tavelune {

// What the notice asks of its native window.
class IFormMessageView {
 public:
  virtual ~IFormMessageView() = default;
  virtual void SetMessageText(const std::string& text) = 0;
  virtual void SetCountdownText(const std::string& text) = 0;
  // Starts or stops the one-second timer that calls CountdownTick.
  virtual void SetTimerEnabled(bool enabled) = 0;
  virtual void Hide() = 0;
  // Closes the window; the front end then calls FormClose.
  virtual void Close() = 0;
  // Paints the countdown's new text now, without handling other messages.
  virtual void RepaintCountdown() = 0;
};

// The designed form: caption, texts, font and the controls' rectangles in
// client coordinates (left, top, width, height).
struct TFormMessageLayout {
  const char* Caption = "エラー";
  const char* ButtonCaption = "了解";
  const char* InitialCount = "60秒";
  const char* FontName = "ＭＳ Ｐゴシック";
  int FontHeight = 12;  // pixels
  int ClientWidth = 342, ClientHeight = 73;
  int MessageLabel[4] = {8, 8, 329, 25};  // fixed size, word wrap
  int CountdownLabel[4] = {8, 48, 24, 12};
  int OkButton[4] = {120, 40, 75, 25};
};
inline constexpr TFormMessageLayout kFormMessageLayout{};

// Where input that reaches the notice but is the saver window's to judge
// goes: the saver's key and mouse-move rules, so that the notice does not
// keep a run on screen that input would end. Mouse positions are in screen
// coordinates; the receiver makes them its own.
struct TPassedInput {
  std::function<void(char& key)> KeyPress;
  std::function<void(int screenX, int screenY)> MouseMove;
};

class TFormMessage {
 public:
  // `movieFile` is read when the notice is first activated: the saver's
  // current movie, which stays unchanged while the notice is up.
  TFormMessage(IFormMessageView& view, std::function<std::string()> movieFile);

  // The first activation sets up the message and the count; later ones do nothing.
  void FormActivate();
  // Once a second: counts down and closes the notice below 1.
  void CountdownTick();
  void OkButtonClick();
  void FormClose();

  void SetPassedInput(TPassedInput passed) { FPassed = std::move(passed); }
  // A key that produces a character reached the notice. Return and Esc
  // (which close it) and the blank (which presses its button) are the
  // notice's own: false, the window handles them. Every other character is
  // passed on: true.
  bool FormKeyPress(char key);
  // The mouse moved over the notice: passed on.
  void FormMouseMove(int screenX, int screenY);

  int RemainingSeconds() const { return FRemaining; }

 private:
  IFormMessageView& FView;
  std::function<std::string()> FMovieFile;
  TPassedInput FPassed;
  bool FActivated = false;
  std::int32_t FRemaining = 0;
};

}  // namespace tavelune
