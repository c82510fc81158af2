#pragma once

// The program entry: reads the screen-saver host's command line, takes the
// single-instance guard and starts exactly one of the four modes (password
// change, preview in a parent window, full-screen run, settings dialog).
// The front end provides the windows and the message loop. Main thread.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavelune {

// How this process was started, read once from its command line and handed
// to the windows it creates.
struct TProgramRun {
  // See ModeLetterOf: "S" a full-screen run, "P" a preview, "A" a password
  // change, anything else the settings dialog.
  std::string ModeLetter;
  // The parent window of a preview (or password change), 0 for none.
  std::int64_t PreviewHandle = 0;
  // A run inside a parent window: the saver's every preview rule tests it.
  bool Preview() const { return PreviewHandle != 0; }
};

// A handle argument that is a negative number.
class ERangeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The second character of the first argument, ASCII letters upper-cased;
// empty when there is no such character. "/s", "-S" and "xs" all give "S".
std::string ModeLetterOf(const std::vector<std::string>& args);
// The second argument as a signed 32-bit decimal number; 0 when it is
// missing or not such a number. Throws ERangeError for a negative one.
std::int64_t ParentHandleOf(const std::vector<std::string>& args);

inline constexpr const char* kApplicationTitle = "タベルーネ";
// The saver window's class name; with kApplicationTitle as its caption it
// is how the settings dialog finds a running saver to close.
inline constexpr const char* kSaverWindowClass = "TSaver";
inline constexpr const char* kInstanceGuardName = "Tavelune";

// What the entry asks of the front end.
class IProgramFrontEnd {
 public:
  virtual ~IProgramFrontEnd() = default;
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // The process-wide single-instance guard (AcquireInstanceGuard).
  virtual bool AcquireInstanceGuard(const std::string& name) = 0;
  virtual void ReleaseInstanceGuard() = 0;
  virtual void InitializeApplication() = 0;
  // The platform's password change for the "SCRSAVE" key; no window.
  virtual void ChangePassword(std::int64_t parentHandle) = 0;
  // The saver window of `run` as the main window: a child of its
  // PreviewHandle filling it, or covering the screen.
  virtual void CreatePreview(const TProgramRun& run) = 0;
  virtual void CreateFullScreen(const TProgramRun& run) = 0;
  virtual void CreateSettingsDialog() = 0;
  // Until the main window has closed; returns at once without one.
  virtual void RunMessageLoop() = 0;
};

// The whole start-up; returns the process's exit code. A refused instance
// guard ends it at once with 0 and nothing created. Throws ERangeError for
// a negative handle before any window exists.
int RunProgram(const std::vector<std::string>& args, IProgramFrontEnd& frontEnd);

}  // namespace tavelune
