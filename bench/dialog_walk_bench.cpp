// The settings dialog's sub-folder walk over a large tree, on the real Qt
// dialog (offscreen platform), against listing the same tree with find.
//
// Anchor: `find DIR -type d`, run from this process. Prints the ratio
// walk / find, and the longest time the dialog went without handling its
// window events during the walk (a timer that should fire every 1 ms is
// watched), which is what the user feels as a frozen dialog.
//
// Usage: dialog_walk_bench [FOLDER]   (default: the temporary folder)

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "frontends/qt/QtControlForm.h"
#include "settings/MemoryKeyStore.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double TimeFind(const std::string& folder) {
  std::vector<double> times;
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    if (std::system(("find '" + folder + "' -type d > /dev/null").c_str()) != 0) {
      std::perror("find");
    }
    times.push_back(Ms(Clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  const std::filesystem::path base =
      argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  const std::filesystem::path tree = base / "tavelune-bench-walk";
  std::filesystem::remove_all(tree);
  // 200 folders of 100 sub-folders each, and one 200 levels deep.
  for (int i = 0; i < 200; ++i) {
    for (int j = 0; j < 100; ++j) {
      std::filesystem::create_directories(tree / ("g" + std::to_string(i)) /
                                          ("f" + std::to_string(j)));
    }
  }
  std::filesystem::path deep = tree / "deep";
  for (int level = 0; level < 200; ++level) {
    deep /= "d";
  }
  std::filesystem::create_directories(deep);
  const double find = TimeFind(tree.string());

  std::vector<double> walks;
  Clock::duration longestGap{};
  std::size_t listed = 0;
  for (int round = 0; round < 3; ++round) {
    tavelune::TMemoryKeyStore store;
    tavelune::platform::TQtControlForm dialog(tavelune::TControlFormServices{
        store, tavelune::TScreenSaverSetup("/nonexistent", "/nonexistent"), "", "/", "", ""});
    dialog.Start();
    Clock::time_point last = Clock::now();
    Clock::duration longest{};
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
      const Clock::time_point now = Clock::now();
      longest = std::max(longest, now - last);
      last = now;
    });
    heartbeat.start(1);
    const auto start = Clock::now();
    last = start;
    dialog.Run([&] {
      dialog.Form().ActivePage = tavelune::TControlPage::FoldersPage;
      dialog.Form().CheckSub.Checked = true;
      dialog.Form().WMDropFiles({tree.string()});
    });
    walks.push_back(Ms(Clock::now() - start));
    longestGap = std::max(longestGap, longest);
    listed = dialog.Form().FolderList.Items.size();
    dialog.close();
  }
  std::sort(walks.begin(), walks.end());
  const double walk = walks[walks.size() / 2];
  std::printf(
      "dialog walk over %zu folders: %.0f ms, find -type d %.1f ms, ratio %.1f; "
      "longest time without handling window events %.1f ms\n",
      listed, walk, find, walk / find, Ms(longestGap));
  std::filesystem::remove_all(tree);
  return 0;
}
