// tavelune-tool: what the saver makes of a file, from the command line.
//
// Output is plain text, one value or one key=value per line. Exit codes:
// 0 success, 1 a file that cannot be read (one line on stderr), 2 bad usage
// (a usage line on stderr).

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "PlaybackCommands.h"
#include "base/DateTime.h"
#include "base/ProcessUtils.h"
#include "base/Synchronize.h"
#include "base/TextUtils.h"
#include "catalogue/LogFile.h"
#include "catalogue/MFindFirst.h"
#include "imaging/BmpFile.h"
#include "imaging/Colors.h"
#include "imaging/Resample.h"
#include "imaging/RotImg.h"
#include "platform/ByteFile.h"
#include "platform/Shell.h"
#include "platform/SystemDirs.h"
#include "platform/TextCodec.h"
#include "probe/ByteSearch.h"
#include "probe/ContainerProbe.h"
#include "probe/DateText.h"
#include "probe/RecorderLib.h"
#include "settings/ScreenSaverSetup.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsTranscript.h"
#include "settings/UserKeyStore.h"
#include "settings/VersionInfo.h"

namespace tavelune {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;

using TArgs = std::vector<std::string>;

struct TCommand {
  std::string Name;
  std::string Arguments;  // for the usage line
  std::size_t MinArguments;
  std::size_t MaxArguments;
  std::function<int(const TArgs&)> Run;
};

using tool::RequireReadable;

std::optional<std::string> HexBytes(const std::string& hex) {
  if (hex.empty() || hex.size() % 2 != 0) {
    return std::nullopt;
  }
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    for (char c : hex.substr(i, 2)) {
      int digit = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
      if (digit < 0) {
        return std::nullopt;
      }
      value = value * 16 + static_cast<unsigned>(digit);
    }
    bytes += static_cast<char>(value);
  }
  return bytes;
}

int Probe(const TArgs& args) {
  if (!RequireReadable(args[0])) {
    return kExitUnreadable;
  }
  std::cout << ProbeContainer(args[0]) << "\n";
  return kExitOk;
}

int ParseDate(const TArgs& args) {
  std::cout << FormatIsoDate(ParseDateText(args[0])) << "\n";
  return kExitOk;
}

int ParseTime(const TArgs& args) {
  std::cout << FormatIsoTime(ParseTimeText(args[0])) << "\n";
  return kExitOk;
}

int FindBytes(const TArgs& args) {
  std::optional<std::string> pattern = HexBytes(args[1]);
  if (!pattern) {
    std::cerr << "tavelune-tool: HEX must be pairs of hexadecimal digits, e.g. 000001B3\n";
    return kExitUsage;
  }
  if (!RequireReadable(args[0])) {
    return kExitUnreadable;
  }
  std::cout << FindBytesInFile(args[0], *pattern) << "\n";
  return kExitOk;
}

int Version(const TArgs& args) {
  if (!RequireReadable(args[0])) {
    return kExitUnreadable;
  }
  TVersionRecord record;
  ReadVersionRecord(args[0], record);
  for (const auto& [key, member] : kVersionFields) {
    std::cout << key << "=" << record.*member << "\n";
  }
  return kExitOk;
}

int Lookup(const TArgs& args) {
  TRecorderTapeLib record;
  std::string source = LookupSideFile(args[0], record)  ? "side"
                       : LookupLibrary(args[0], record) ? "library"
                                                        : "none";
  std::cout << "source=" << source << "\n"
            << "TapeId=" << platform::Cp932ToUtf8(record.TapeId) << "\n"
            << "Title=" << platform::Cp932ToUtf8(record.Title) << "\n"
            << "LengthValue=" << ShortestNumberText(record.LengthValue) << "\n"
            << "EntryTime=" << FormatIsoDateTime(record.EntryTime) << "\n"
            << "Note=" << platform::Cp932ToUtf8(record.Note) << "\n"
            << "StateFlag=" << record.StateFlag << "\n"
            << "EntryTimeCopy=" << FormatIsoDateTime(record.EntryTimeCopy) << "\n"
            << "Memo=" << platform::Cp932ToUtf8(record.Memo) << "\n"
            << "Number=" << record.Number << "\n"
            << "verdict=" << (source != "none" && IsRecordingUnusable(record) ? "skip" : "show")
            << "\n";
  return kExitOk;
}

std::optional<int> PositiveSize(const std::string& text) {
  std::optional<std::int64_t> value = ParseInteger(text);
  if (!value || *value < 1 || *value > 65535) {
    return std::nullopt;
  }
  return static_cast<int>(*value);
}

std::optional<double> Angle(const std::string& text) {
  double value = NumberOr(text, std::numeric_limits<double>::quiet_NaN());
  if (!std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// Reads IN.bmp, transforms it and writes OUT.bmp; a file that cannot be read
// or written exits with 1 and the reason.
int TransformBmp(const std::string& in, const std::string& out,
                 const std::function<TBitmap24(const TBitmap24&)>& transform) {
  try {
    WriteBmpFile(transform(ReadBmpFile(in)), out);
  } catch (const std::exception& error) {
    std::cerr << "tavelune-tool: " << error.what() << "\n";
    return kExitUnreadable;
  }
  return kExitOk;
}

int Resample(const TArgs& args) {
  std::optional<int> width = PositiveSize(args[1]);
  std::optional<int> height = PositiveSize(args[2]);
  if (!width || !height) {
    std::cerr << "tavelune-tool: WIDTH and HEIGHT must be whole numbers from 1 to 65535\n";
    return kExitUsage;
  }
  return TransformBmp(args[0], args[3], [&](const TBitmap24& picture) {
    if (picture.Empty()) {
      throw EBmpError(args[0] + ": the picture has no pixels");
    }
    return ResampleBitmap(picture, *width, *height);
  });
}

// ANGLE and BACKCOLOR of the turning commands, or a usage error.
bool TurnArguments(const TArgs& args, double& angle, TColor& backColor) {
  std::optional<double> parsedAngle = Angle(args[1]);
  std::optional<TColor> color = ParseColorValue(args[2]);
  if (!parsedAngle || !color) {
    std::cerr << "tavelune-tool: ANGLE is a number of degrees, BACKCOLOR a colour value "
                 "(decimal, or hexadecimal after 0x: 0x00BBGGRR)\n";
    return false;
  }
  angle = *parsedAngle;
  backColor = ColorToRgb(*color);
  return true;
}

int Rotate(const TArgs& args) {
  double angle = 0;
  TColor backColor = 0;
  if (!TurnArguments(args, angle, backColor)) {
    return kExitUsage;
  }
  return TransformBmp(args[0], args[3], [&](const TBitmap24& picture) {
    return RotateBitmap(picture, backColor, angle);
  });
}

// Turns the picture as still composition does: a hidden picture control
// with AutoSize, Center, Stretch, Transparent and UniqueSize on.
int Turn(const TArgs& args) {
  double angle = 0;
  TColor backColor = 0;
  if (!TurnArguments(args, angle, backColor)) {
    return kExitUsage;
  }
  return TransformBmp(args[0], args[3], [&](const TBitmap24& picture) {
    TRotateImage image;
    image.SetAutoSize(true);
    image.SetCenter(true);
    image.SetStretch(true);
    image.SetTransparent(true);
    image.SetUniqueSize(true);
    image.SetColor(backColor);
    image.SetPicture(picture);
    image.SetAngle(angle);
    return image.TurnedBitmap();
  });
}

// Whether a run keeps the history the settings name, and why not: "none"
// (no name), "kept in NAME", or "not kept: WHY". A relative name is
// completed with this program's folder, which is the saver's too.
std::string HistoryState(const std::string& logFile) {
  const std::string name = TrimControl(logFile);
  if (name.empty()) {
    return "none";
  }
  const std::string full = FullHistoryName(name, platform::ProgramFileName());
  const std::string why = WhyHistoryIsNotKept(full);
  return why.empty() ? "kept in " + full : "not kept: " + why;
}

// The stored settings as the saver reads them, or (--dialog) as the
// dialog's reader hands them over, against the saver path list the dialog
// builds: "" for "なし", then the installed savers.
int Settings(const TArgs& args) {
  if (!args.empty() && args[0] != "--dialog") {
    std::cerr << "usage: tavelune-tool settings [--dialog]\n";
    return kExitUsage;
  }
  std::unique_ptr<IKeyStore> store = platform::OpenUserKeyStore();
  std::vector<std::string> lines;
  if (args.empty()) {
    TSaverSettings settings;
    std::atomic<bool> stop{false};
    std::mt19937 random(std::random_device{}());
    ReadSaverSettings(*store, settings, stop, [&](std::int32_t bound) {
      return static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(bound));
    });
    lines = SaverSettingsLines(settings);
    lines.push_back("history=" + HistoryState(settings.LogFile));
  } else {
    std::vector<std::string> saverPaths = {""};
    TScreenSaverSetup().ListInstalledSavers(saverPaths);
    TSettingsTranscript transcript;
    ReadDialogSettings(*store, transcript, saverPaths);
    lines = transcript.Lines;
    lines.push_back(std::string("complete=") + (transcript.Completed ? "yes" : "no"));
  }
  tool::ReportReadProblem(*store);
  for (const std::string& line : lines) {
    std::cout << line << "\n";
  }
  return kExitOk;
}

// One complete discovery walk over the stored folders with the stored
// extensions, as the saver's discovery thread makes it; this thread plays
// the UI thread that keeps the movies.
int Scan(const TArgs& /*args*/) {
  std::unique_ptr<IKeyStore> store = platform::OpenUserKeyStore();
  TSaverSettings settings;
  std::atomic<bool> stop{false};
  ReadSaverSettings(*store, settings, stop, [](std::int32_t) { return 0; });
  tool::ReportReadProblem(*store);
  std::vector<std::string> movies;
  TMFindFirst finder(settings.FolderList, settings.ExtensionList, movies);
  finder.Resume();
  while (!finder.SearchDone()) {
    WaitForSynchronizeRequests(std::chrono::milliseconds(10));
    YieldToMessages();
  }
  for (const std::string& movie : movies) {
    std::cout << movie << "\n";
  }
  return kExitOk;
}

const std::vector<TCommand>& Commands() {
  static const std::vector<TCommand> kCommands = {
      {"probe", "FILE", 1, 1, Probe},
      {"parse-date", "TEXT", 1, 1, ParseDate},
      {"parse-time", "TEXT", 1, 1, ParseTime},
      {"find-bytes", "FILE HEX", 2, 2, FindBytes},
      {"version", "FILE", 1, 1, Version},
      {"lookup", "MOVIE", 1, 1, Lookup},
      {"resample", "IN.bmp WIDTH HEIGHT OUT.bmp", 4, 4, Resample},
      {"rotate", "IN.bmp ANGLE BACKCOLOR OUT.bmp", 4, 4, Rotate},
      {"turn", "IN.bmp ANGLE BACKCOLOR OUT.bmp", 4, 4, Turn},
      {"settings", "[--dialog]", 0, 1, Settings},
      {"scan", "", 0, 0, Scan},
      {"plan", "STOP SECONDS MIN MAX R", 5, 5, tool::Plan},
#ifdef TAVELUNE_HAS_MEDIA
      {"length", "MOVIE", 1, 1, tool::Length},
      {"grab", "MOVIE SECONDS OUT.bmp", 3, 3, tool::Grab},
      {"stills", "MOVIE OUTDIR [--size WxH] [--settings]", 2, 5, tool::Stills},
#endif
  };
  return kCommands;
}

int Usage() {
  std::cerr << "usage: tavelune-tool COMMAND ARGS... (";
  const char* separator = "";
  for (const TCommand& command : Commands()) {
    std::cerr << separator << command.Name << " " << command.Arguments;
    separator = " | ";
  }
  std::cerr << ")\n";
  return kExitUsage;
}

int Main(const TArgs& args) {
  if (args.empty()) {
    return Usage();
  }
  for (const TCommand& command : Commands()) {
    if (command.Name != args[0]) {
      continue;
    }
    if (args.size() - 1 < command.MinArguments || args.size() - 1 > command.MaxArguments) {
      std::cerr << "usage: tavelune-tool " << command.Name << " " << command.Arguments << "\n";
      return kExitUsage;
    }
    return command.Run(TArgs(args.begin() + 1, args.end()));
  }
  return Usage();
}

}  // namespace
}  // namespace tavelune

int main(int argc, char** argv) {
  // Recorder texts are converted to UTF-8; have the console show them so.
  tavelune::platform::ShowUtf8OnConsole();
  return tavelune::Main(tavelune::TArgs(argv + 1, argv + argc));
}
