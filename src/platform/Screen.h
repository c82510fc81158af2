#pragma once

namespace tavelune::platform {

// What the display can tell about itself. The front end that owns the
// display connection installs one (Windows: the screen device context;
// Linux: the Qt screen).
class IScreenInfo {
 public:
  virtual ~IScreenInfo() = default;
  // Bits per pixel of the primary screen.
  virtual int ColorDepth() = 0;
};

// Installs the screen service (not owned) or removes it with nullptr.
void SetScreenInfo(IScreenInfo* screen);
IScreenInfo* CurrentScreenInfo();

// Bits per pixel of the screen, from the installed screen service; 0 when
// no front end has installed one (a console program).
int ScreenColorDepth();

}  // namespace tavelune::platform
