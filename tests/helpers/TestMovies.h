#pragma once

// Movies for the media tests, made at test time with the ffmpeg command-line
// program: a short seed is encoded once and long movies are made from it by
// looping with stream copy, which takes a fraction of a second. The seed
// (testsrc2) changes every frame and has a key frame every second, so the
// key frame at or before any position is known.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tavelune::test {

// Runs a shell command; fails the test (and returns false) when it fails.
inline bool Shell(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  EXPECT_EQ(status, 0) << command;
  return status == 0;
}

// Reads what a shell command prints.
inline std::string ShellOutput(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[65536];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
      output.append(buffer, got);
    }
    pclose(pipe);
  }
  return output;
}

// One folder of generated movies for a whole test program.
class TTestMovies {
 public:
  static TTestMovies& Get() {
    static TTestMovies movies;
    return movies;
  }
  const std::string& Folder() const { return FFolder; }
  std::string Path(const std::string& name) const { return FFolder + "/" + name; }

  // Makes `name` with ffmpeg `arguments` (inputs and outputs relative to the
  // folder) unless it exists; returns its full name.
  std::string Make(const std::string& name, const std::string& arguments) {
    const std::string path = Path(name);
    if (!std::filesystem::exists(path)) {
      Shell("cd '" + FFolder + "' && ffmpeg -nostdin -v error -y " + arguments + " '" + name +
            ".part' && mv '" + name + ".part' '" + name + "'");
    }
    return path;
  }

  // 320×240 H.264 at 25 frames a second, a key frame every 25 frames, 7 s.
  std::string Seed() {
    return Make("seed.mp4",
                "-f lavfi -i testsrc2=size=320x240:rate=25 -t 7 -c:v libx264 -preset ultrafast "
                "-g 25 -keyint_min 25 -sc_threshold 0 -pix_fmt yuv420p -f mp4");
  }
  // The seed looped to `loops` × 7 seconds.
  std::string Looped(const std::string& name, int loops, const std::string& format) {
    Seed();
    return Make(name,
                "-stream_loop " + std::to_string(loops - 1) + " -i seed.mp4 -c copy " + format);
  }

 private:
  TTestMovies() {
    FFolder = (std::filesystem::temp_directory_path() /
               ("tavelune-movies-" + std::to_string(static_cast<long>(getpid()))))
                  .string();
    std::filesystem::create_directories(FFolder);
  }
  ~TTestMovies() {
    std::error_code ignored;
    std::filesystem::remove_all(FFolder, ignored);
  }
  std::string FFolder;
};

}  // namespace tavelune::test
