#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/Shell.h"

extern char** environ;

namespace tavelune::platform {

void ShellOpenTarget(const std::string& target, const std::string& parameters,
                     const std::string& directory) {
  // xdg-open takes exactly one argument; parameters have no place there, and
  // a document or address is all this is used for.
  (void)parameters;
  // Double fork through a shell so that the opener is never our child and
  // leaves no zombie behind; `cd` gives it the working folder.
  std::vector<std::string> args = {"/bin/sh",
                                   "-c",
                                   R"(cd "$1" 2>/dev/null; (xdg-open "$2" >/dev/null 2>&1 &))",
                                   "sh",
                                   directory.empty() ? "." : directory,
                                   target};
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ) == 0) {
    ::waitpid(pid, nullptr, 0);
  }
}

void ShowUtf8OnConsole() {}

}  // namespace tavelune::platform
