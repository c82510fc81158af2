// The sequence-header search against the cost of simply reading the file.
//
// Anchor: a plain sequential read of the same page-cached file, in the same
// process, with the same block size. Prints the ratio search / read (median
// of repeated runs; target <= 1.5), the probe time for a 4 GiB sparse file
// without a sequence header, and, for scale, what a 4-byte read per
// position would cost.
//
// Usage: find_bytes_bench [FOLDER]   (default: the temporary folder)

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/ByteFile.h"
#include "probe/ByteSearch.h"
#include "probe/ContainerProbe.h"

namespace {

using Clock = std::chrono::steady_clock;
using tavelune::platform::TByteFile;
using tavelune::platform::TShareMode;

constexpr std::size_t kFileSize = 256u << 20;
constexpr std::size_t kBlock = 256 * 1024;
constexpr int kRounds = 9;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

template <typename F>
double TimeOnce(F f) {
  auto start = Clock::now();
  f();
  return Seconds(Clock::now() - start);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Random bytes without 0xB3, so the planted header is the only one.
void WriteSearchFile(const std::string& name, std::size_t headerAt) {
  std::mt19937_64 random(42);
  std::vector<char> block(kBlock);
  FILE* out = std::fopen(name.c_str(), "wb");
  for (std::size_t done = 0; done < kFileSize; done += kBlock) {
    for (std::size_t i = 0; i < kBlock; i += 8) {
      std::uint64_t r = random();
      for (int b = 0; b < 8; ++b) {
        unsigned char c = static_cast<unsigned char>(r >> (8 * b));
        block[i + b] = static_cast<char>(c == 0xB3 ? 0xB4 : c);
      }
    }
    if (headerAt >= done && headerAt < done + kBlock) {
      const char header[] = {0x00, 0x00, 0x01, static_cast<char>(0xB3)};
      std::copy(header, header + 4, block.begin() + static_cast<long>(headerAt - done));
    }
    std::fwrite(block.data(), 1, kBlock, out);
  }
  std::fclose(out);
}

std::uint64_t PlainRead(const std::string& name) {
  TByteFile file;
  file.Open(name, TShareMode::DenyNone);
  std::vector<char> buffer(kBlock);
  std::uint64_t total = 0;
  while (std::size_t got = file.Read(buffer.data(), buffer.size())) {
    total += got + static_cast<unsigned char>(buffer[got - 1]);
  }
  return total;
}

// One 4-byte read per position, as a literal sliding window would do it.
std::int64_t FourBytesPerPosition(const std::string& name, std::size_t limit) {
  int fd = ::open(name.c_str(), O_RDONLY);
  unsigned char window[4];
  for (std::size_t pos = 0; pos < limit; ++pos) {
    if (::pread(fd, window, 4, static_cast<off_t>(pos)) == 4 && window[0] == 0 && window[1] == 0 &&
        window[2] == 1 && window[3] == 0xB3) {
      ::close(fd);
      return static_cast<std::int64_t>(pos);
    }
  }
  ::close(fd);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path folder =
      argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  std::string searchFile = (folder / "tavelune-bench-search.mpg").string();
  std::string sparseFile = (folder / "tavelune-bench-sparse.mpg").string();
  const std::size_t headerAt = kFileSize - 4096 - 3;
  WriteSearchFile(searchFile, headerAt);
  PlainRead(searchFile);  // into the page cache

  std::vector<double> reads;
  std::vector<double> searches;
  std::int64_t found = -1;
  volatile std::uint64_t sink = 0;
  for (int round = 0; round < kRounds; ++round) {
    reads.push_back(TimeOnce([&] { sink = sink + PlainRead(searchFile); }));
    searches.push_back(TimeOnce([&] {
      found = tavelune::FindBytesInFile(searchFile, std::string("\x00\x00\x01\xB3", 4));
    }));
  }
  double read = Median(reads);
  double search = Median(searches);
  std::printf(
      "find-bytes 256 MiB page-cached: search %.1f ms (%.2f GB/s), plain read %.1f ms "
      "(%.2f GB/s), ratio search/read %.2f (target <= 1.5), match at %lld (expected %zu)\n",
      search * 1e3, kFileSize / search / 1e9, read * 1e3, kFileSize / read / 1e9, search / read,
      static_cast<long long>(found), headerAt);

  const std::size_t naiveBytes = 2u << 20;
  double naive = TimeOnce([&] { FourBytesPerPosition(searchFile, naiveBytes); });
  std::printf(
      "for scale, a 4-byte read per position: %.3f GB/s, %.0f times slower than the search\n",
      naiveBytes / naive / 1e9, (naive / naiveBytes) / (search / kFileSize));

  // A 4 GiB file that starts like an MPEG pack and holds no sequence header.
  {
    int fd = ::open(sparseFile.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    const unsigned char pack[] = {0x00, 0x00, 0x01, 0xBA};
    if (::write(fd, pack, 4) != 4 || ::ftruncate(fd, off_t{4} << 30) != 0) {
      std::perror("sparse file");
    }
    ::close(fd);
  }
  std::string code;
  std::vector<double> probes;
  for (int round = 0; round < 5; ++round) {
    probes.push_back(TimeOnce([&] { code = tavelune::ProbeContainer(sparseFile); }));
  }
  double whole =
      TimeOnce([&] { tavelune::FindBytesInFile(sparseFile, std::string("\x00\x00\x01\xB3", 4)); });
  std::printf(
      "probe of a 4 GiB sparse file without sequence header: %.1f ms (code \"%s\"); "
      "an unbounded search of it would take %.0f ms\n",
      Median(probes) * 1e3, code.c_str(), whole * 1e3);
  std::filesystem::remove(searchFile);
  std::filesystem::remove(sparseFile);
  return found == static_cast<std::int64_t>(headerAt) ? 0 : 1;
}
