// Times the resampler and the rotation on the benchmark pictures, single
// threaded, and prints one "name=milliseconds" line per case (the median of
// repeated runs). bench/compare_imaging runs it and the anchors on the same
// pictures and prints the ratios.
//
// Usage: imaging_bench FOLDER   (writes FOLDER/small.bmp and FOLDER/large.bmp)

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "imaging/BmpFile.h"
#include "imaging/Resample.h"
#include "imaging/RotImg.h"

namespace {

using tavelune::TBitmap24;

// A photo-like picture: smooth gradients and shapes with a little noise,
// so that neither a uniform nor a random picture flatters any route.
TBitmap24 TestPicture(int width, int height) {
  TBitmap24 picture(width, height);
  std::mt19937 random(1);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double fx = static_cast<double>(x) / width;
      double fy = static_cast<double>(y) / height;
      double ring = std::sin(30 * std::hypot(fx - 0.4, fy - 0.6));
      std::uint8_t* p = picture.Pixel(x, y);
      p[0] = static_cast<std::uint8_t>(std::clamp(128 + 100 * ring + random() % 9, 0.0, 255.0));
      p[1] = static_cast<std::uint8_t>(std::clamp(255 * fx + random() % 5, 0.0, 255.0));
      p[2] = static_cast<std::uint8_t>(std::clamp(255 * fy * (1 - fx) + random() % 5, 0.0, 255.0));
    }
  }
  return picture;
}

template <typename F>
double MedianMilliseconds(int rounds, F f) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    f();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: imaging_bench FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const TBitmap24 large = TestPicture(1920, 1080);
  const TBitmap24 small = TestPicture(640, 360);
  tavelune::WriteBmpFile(large, folder + "/large.bmp");
  tavelune::WriteBmpFile(small, folder + "/small.bmp");
  const int rounds = 15;
  volatile int sink = 0;
  std::printf("reduce=%.3f\n", MedianMilliseconds(rounds, [&] {
                sink = sink + tavelune::ResampleBitmap(large, 1024, 576).Width();
              }));
  std::printf("enlarge=%.3f\n", MedianMilliseconds(rounds, [&] {
                sink = sink + tavelune::ResampleBitmap(small, 1920, 1080).Width();
              }));
  std::printf("rotate=%.3f\n", MedianMilliseconds(rounds, [&] {
                sink = sink + tavelune::RotateBitmap(large, 0, 17).Width();
              }));
  return 0;
}
