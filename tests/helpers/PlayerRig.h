#pragma once

// A play controller on the fake host and the scripted media, with the
// window state it plays on and a folder for the test's files: what the
// tests of the play loop and of still composition start from.

#include <atomic>

#include "helpers/FakeMedia.h"
#include "helpers/FakeSaverHost.h"
#include "helpers/TestFiles.h"
#include "playback/PlayController.h"

namespace tavelune::test {

struct TPlayerRig {
  TTempDir Dir;
  TFakeSaverHost Host;
  TFakeMedia Media{Host};
  TRecordingLog Log;
  TWindowlessPlayState State;
  // The window's state by its own names.
  TSaverSettings& Settings = State.Settings;
  TBitmap24& Screen = State.Screen;
  TBitmap24& Background = State.Background;
  std::atomic<bool>& Closing = State.Closing;
  bool& Activated = State.Activated;
  TPlayController Player{Host, Media, Log, State.View()};
};

}  // namespace tavelune::test
