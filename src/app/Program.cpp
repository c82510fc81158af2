#include "app/Program.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace tavelune {

std::string ModeLetterOf(const std::vector<std::string>& args) {
  if (args.empty() || args[0].size() < 2) {
    return {};
  }
  char letter = args[0][1];
  if (letter >= 'a' && letter <= 'z') {
    letter = static_cast<char>(letter - 'a' + 'A');
  }
  std::string mode(1, letter);
  return mode;
}

std::int64_t ParentHandleOf(const std::vector<std::string>& args) {
  if (args.size() < 2 || args[1].empty()) {
    return 0;
  }
  const std::string& text = args[1];
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  const bool whole =
      end == text.c_str() + text.size() && text.find_first_of(" \t") == std::string::npos;
  if (!whole || errno == ERANGE || value > std::numeric_limits<std::int32_t>::max() ||
      value < std::numeric_limits<std::int32_t>::min()) {
    return 0;
  }
  if (value < 0) {
    throw ERangeError("Range check error: the window handle " + text + " is negative");
  }
  return value;
}

int RunProgram(const std::vector<std::string>& args, IProgramFrontEnd& frontEnd) {
  frontEnd.SetApplicationTitle(kApplicationTitle);
  TProgramRun run{ModeLetterOf(args)};
  const bool guarded = run.ModeLetter != "A";
  if (guarded && !frontEnd.AcquireInstanceGuard(kInstanceGuardName)) {
    return 0;
  }
  frontEnd.InitializeApplication();
  if (run.ModeLetter == "A") {
    run.PreviewHandle = ParentHandleOf(args);
    frontEnd.ChangePassword(run.PreviewHandle);
  } else if (run.ModeLetter == "P") {
    run.PreviewHandle = ParentHandleOf(args);
    frontEnd.CreatePreview(run);
  } else if (run.ModeLetter == "S") {
    frontEnd.CreateFullScreen(run);
  } else {
    frontEnd.CreateSettingsDialog();
  }
  frontEnd.RunMessageLoop();
  if (guarded) {
    frontEnd.ReleaseInstanceGuard();
  }
  return 0;
}

}  // namespace tavelune
