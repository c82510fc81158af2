// The playback subcommands of tavelune-tool: the segment plan, a movie's
// length, the frame a segment seek delivers, and one movie played through
// the saver's own play loop onto an off-screen screen picture.

#include "PlaybackCommands.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <random>
#include <thread>

#include "base/DateTime.h"
#include "base/ProcessUtils.h"
#include "base/Synchronize.h"
#include "base/TextUtils.h"
#include "imaging/BmpFile.h"
#include "imaging/Canvas.h"
#include "imaging/Colors.h"
#include "platform/ByteFile.h"
#include "platform/LocalTime.h"
#include "playback/PlayController.h"
#ifdef TAVELUNE_HAS_MEDIA
#include "ConsoleHost.h"
#include "imaging/TextPainter.h"
#include "playback/MediaFramework.h"
#endif
#include "probe/ContainerProbe.h"
#include "settings/UserKeyStore.h"

namespace tavelune::tool {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;

std::optional<std::int64_t> Integer(const std::string& text) {
  return ParseInteger(text);
}

#ifdef TAVELUNE_HAS_MEDIA

// Waits for the one frame a seek on a paused graph delivers.
class TFrameCatcher : public IGraphListener {
 public:
  explicit TFrameCatcher(ISampleGrabber& grabber) : FGrabber(grabber) {}
  void OnGraphEvent(long) override {}
  void OnEndOfSegment() override {}
  void OnSample(double, const std::uint8_t* buffer, std::size_t length) override {
    TBitmap24 picture;
    const bool converted = FGrabber.SampleToBitmap(picture, buffer, length);
    std::lock_guard lock(FMutex);
    if (converted && !FPicture) {
      FPicture = std::move(picture);
    }
    FArrived.notify_all();
  }
  std::optional<TBitmap24> Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(FMutex);
    FArrived.wait_for(lock, timeout, [this] { return FPicture.has_value(); });
    return FPicture;
  }

 private:
  ISampleGrabber& FGrabber;
  std::mutex FMutex;
  std::condition_variable FArrived;
  std::optional<TBitmap24> FPicture;
};

// A graph with `movie` rendered, set up for it as the play loop sets it up.
struct TOpenedMovie {
  std::unique_ptr<IMediaFramework> Media = CreateMediaFramework();
  std::string Code;
  explicit TOpenedMovie(const std::string& movie) {
    Code = ProbeContainer(movie);
    Media->SampleGrabber().SetMediaSubtype(GrabberSubtypeFor(Code, movie));
    Media->SampleGrabber().ApplyGrabberType();
    Media->FilterGraph().SetActive(true);
    Media->FilterGraph().RenderFile(movie);
  }
  TRefTime Stop() {
    TRefTime current = 0;
    TRefTime stop = 0;
    if (IMediaSeeking* seeking = Media->FilterGraph().QueryMediaSeeking()) {
      seeking->GetPositions(current, stop);
    }
    return stop;
  }
};

// The history on standard output.
class TPrintedLog : public IHistoryLog {
 public:
  bool Active() const override { return true; }
  void SetActive(bool) override {}
  void SetLogFileName(std::string) override {}
  bool WriteLine(const std::string& text, bool) override {
    std::cout << text << "\n" << std::flush;
    return true;
  }
  void TrimHistory(std::size_t, const std::atomic<bool>&) override {}
};
#endif

}  // namespace

bool RequireReadable(const std::string& fileName) {
  platform::TByteFile file;
  if (file.Open(fileName, platform::TShareMode::DenyNone)) {
    return true;
  }
  std::cerr << "tavelune-tool: cannot read " << fileName << "\n";
  return false;
}

void ReportReadProblem(const IKeyStore& store) {
  if (const std::string problem = store.ReadProblem(); !problem.empty()) {
    std::cerr << "tavelune-tool: " << problem << "\n";
  }
}

int Plan(const std::vector<std::string>& args) {
  const auto stop = Integer(args[0]);
  const auto seconds = Integer(args[1]);
  const auto minCount = Integer(args[2]);
  const auto maxCount = Integer(args[3]);
  const auto draw = Integer(args[4]);
  constexpr std::int64_t kInt32Max = 0x7FFFFFFF;
  auto fits = [&](const std::optional<std::int64_t>& value) {
    return value && *value >= -kInt32Max - 1 && *value <= kInt32Max;
  };
  if (!stop || !fits(seconds) || !fits(minCount) || !fits(maxCount) || !fits(draw)) {
    std::cerr << "tavelune-tool: STOP, SECONDS, MIN, MAX and R must be whole numbers\n";
    return kExitUsage;
  }
  const TSegmentPlan plan =
      PlanSegments(*stop, static_cast<std::int32_t>(*seconds), static_cast<std::int32_t>(*minCount),
                   static_cast<std::int32_t>(*maxCount), static_cast<std::int32_t>(*draw));
  std::cout << "raw=" << plan.Raw << "\ncount=" << plan.Count << "\nstep=" << plan.Step << "\n";
  TRefTime position = kFirstSegment;
  for (std::int32_t k = 1; k <= plan.Count; ++k, position += plan.Step) {
    std::cout << "segment=" << position << "\n";
  }
  return kExitOk;
}

#ifdef TAVELUNE_HAS_MEDIA
int Length(const std::vector<std::string>& args) {
  if (!RequireReadable(args[0])) {
    return kExitUnreadable;
  }
  try {
    TOpenedMovie movie(args[0]);
    std::cout << movie.Stop() << "\n";
  } catch (const std::exception& error) {
    std::cerr << "tavelune-tool: " << args[0] << ": " << error.what() << "\n";
    return kExitUnreadable;
  }
  return kExitOk;
}

int Grab(const std::vector<std::string>& args) {
  const double seconds = NumberOr(args[1], std::nan(""));
  if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e9) {
    std::cerr << "tavelune-tool: SECONDS must be a number of seconds from 0\n";
    return kExitUsage;
  }
  if (!RequireReadable(args[0])) {
    return kExitUnreadable;
  }
  try {
    TOpenedMovie movie(args[0]);
    TFrameCatcher catcher(movie.Media->SampleGrabber());
    IFilterGraph& graph = movie.Media->FilterGraph();
    graph.SetListener(&catcher);
    graph.Pause();
    const auto position = static_cast<TRefTime>(std::llround(seconds * kRefTimePerSecond));
    graph.QueryMediaSeeking()->SetPositions(
        position, kSegmentSeekFlags, SegmentStopFor(movie.Code, args[0], position, movie.Stop()),
        kSegmentSeekFlags);
    WaitForSeeks(*movie.Media, std::chrono::seconds(10));
    const std::optional<TBitmap24> frame = catcher.Wait(std::chrono::milliseconds(0));
    graph.SetActive(false);
    graph.SetListener(nullptr);
    if (!frame) {
      std::cerr << "tavelune-tool: " << args[0] << ": no frame at " << args[1] << " s\n";
      return kExitUnreadable;
    }
    WriteBmpFile(*frame, args[2]);
  } catch (const std::exception& error) {
    std::cerr << "tavelune-tool: " << args[0] << ": " << error.what() << "\n";
    return kExitUnreadable;
  }
  return kExitOk;
}

int Stills(const std::vector<std::string>& args) {
  std::string movie;
  std::string folder;
  int width = 1024;
  int height = 768;
  bool storedSettings = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--settings") {
      storedSettings = true;
    } else if (args[i] == "--size" && i + 1 < args.size()) {
      if (std::sscanf(args[++i].c_str(), "%dx%d", &width, &height) != 2 || width < 1 ||
          height < 1 || width > 16384 || height > 16384) {
        std::cerr << "tavelune-tool: --size must be WIDTHxHEIGHT, e.g. 1024x768\n";
        return kExitUsage;
      }
    } else if (movie.empty()) {
      movie = args[i];
    } else if (folder.empty()) {
      folder = args[i];
    } else {
      std::cerr << "tavelune-tool: unexpected " << args[i] << "\n";
      return kExitUsage;
    }
  }
  if (folder.empty()) {
    std::cerr
        << "tavelune-tool: usage: tavelune-tool stills MOVIE OUTDIR [--size WxH] [--settings]\n";
    return kExitUsage;
  }
  if (!RequireReadable(movie)) {
    return kExitUnreadable;
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder)) {
    std::cerr << "tavelune-tool: cannot make the folder " << folder << "\n";
    return kExitUnreadable;
  }

  std::unique_ptr<IMediaFramework> media = CreateMediaFramework();
  TPrintedLog log;
  TConsoleHost host;
  TWindowlessPlayState& window = host.Window;
  host.OnScreenChanged = [&, stills = 0]() mutable {
    char name[32];
    std::snprintf(name, sizeof name, "%04d.bmp", ++stills);
    WriteBmpFile(window.Screen, (std::filesystem::path(folder) / name).string());
  };
  if (storedSettings) {
    std::unique_ptr<IKeyStore> store = platform::OpenUserKeyStore();
    ReadSaverSettings(*store, window.Settings, window.Closing,
                      [&](std::int32_t bound) { return host.RandomBelow(bound); });
    ReportReadProblem(*store);
  }
  window.Settings.DrawWait = 0;  // no hold: the stills are written, not watched
  window.Background = TBitmap24(width, height);
  window.Background.Fill(ColorToRgb(window.Settings.BackColor));
  window.Screen = window.Background;
  TPlayController player(host, *media, log, window.View());
  try {
    host.Run(player.PlayMovie(movie));
  } catch (const std::exception& failure) {
    std::cerr << "tavelune-tool: " << movie << ": " << failure.what() << "\n";
    return kExitUnreadable;
  }
  return kExitOk;
}
#endif

}  // namespace tavelune::tool
