// Discovery of a large folder against listing it with find, and the cut of
// a long history.
//
// Anchor: `find DIR -maxdepth 1` listing the same folder, run from this
// process. Prints the ratio walk / find (target <= 3), the longest gap
// between two message passes of the UI thread during the walk (target
// <= 100 ms), and the time of TrimHistory for 100 000 and 200 000 lines
// (linear: the second about twice the first).
//
// Usage: discovery_bench [FOLDER]   (default: the temporary folder)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/ProcessUtils.h"
#include "base/Synchronize.h"
#include "catalogue/LogFile.h"
#include "catalogue/MFindFirst.h"
#include "platform/MessagePump.h"
#include "platform/SystemDirs.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Stands for the window system: records when messages were last handled.
class TGapMeter final : public tavelune::platform::IMessagePump {
 public:
  void DispatchPending() override {
    Clock::time_point now = Clock::now();
    if (FLast != Clock::time_point{}) {
      Longest = std::max(Longest, now - FLast);
    }
    FLast = now;
  }
  Clock::duration Longest{};

 private:
  Clock::time_point FLast{};
};

double TimeFind(const std::string& folder) {
  std::vector<double> times;
  for (int i = 0; i < 5; ++i) {
    auto start = Clock::now();
    int rc = std::system(("find '" + folder + "' -maxdepth 1 > /dev/null").c_str());
    times.push_back(Ms(Clock::now() - start));
    if (rc != 0) {
      std::perror("find");
    }
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

double TimeTrim(const std::string& file, int lines) {
  {
    std::ofstream out(file, std::ios::binary);
    for (int i = 0; i < lines; ++i) {
      out << "2003/12/25 12:34:56, /home/someone/Movies/recording " << i << ".mpg Start\r\n";
    }
  }
  tavelune::TLogFile log(tavelune::platform::ProgramFileName());
  log.SetLogFileName(file);
  auto start = Clock::now();
  log.TrimHistory();
  return Ms(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path base =
      argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  std::filesystem::path folder = base / "tavelune-bench-discovery";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const int files = 100000;
  for (int i = 0; i < files; ++i) {
    std::ofstream(folder / ("file" + std::to_string(i) + (i % 10 == 0 ? ".avi" : ".dat")));
  }
  const double find = TimeFind(folder.string());

  std::vector<double> walks;
  Clock::duration longestGap{};
  std::size_t found = 0;
  for (int round = 0; round < 5; ++round) {
    TGapMeter meter;
    tavelune::platform::SetMessagePump(&meter);
    std::vector<std::string> folders = {folder.string()};
    std::vector<std::string> extensions = {"avi",  "mpg", "asf", "wmv", "wvx",
                                           "mpeg", "mov", "m2p", "vg2"};
    std::vector<std::string> movies;
    auto start = Clock::now();
    {
      tavelune::TMFindFirst finder(folders, extensions, movies);
      finder.Resume();
      // The UI thread as the saver runs it: short waits, then a yield.
      while (!finder.SearchDone()) {
        tavelune::WaitForSynchronizeRequests(std::chrono::milliseconds(10));
        tavelune::YieldToMessages();
      }
    }
    walks.push_back(Ms(Clock::now() - start));
    tavelune::platform::SetMessagePump(nullptr);
    longestGap = std::max(longestGap, meter.Longest);
    found = movies.size();
  }
  std::sort(walks.begin(), walks.end());
  const double walk = walks[walks.size() / 2];
  std::printf(
      "discovery of %d files (%zu movies): walk %.1f ms, find -maxdepth 1 %.1f ms, "
      "ratio %.2f (target <= 3); longest gap between message passes %.1f ms "
      "(target <= 100)\n",
      files, found, walk, find, walk / find, Ms(longestGap));
  std::filesystem::remove_all(folder);

  std::string history = (base / "tavelune-bench-history.log").string();
  const double trim100k = TimeTrim(history, 100000);
  const double trim200k = TimeTrim(history, 200000);
  std::printf(
      "TrimHistory to 1000 lines: 100 000 lines %.1f ms, 200 000 lines %.1f ms "
      "(ratio %.2f; linear is 2)\n",
      trim100k, trim200k, trim200k / trim100k);
  std::filesystem::remove(history);
  return 0;
}
