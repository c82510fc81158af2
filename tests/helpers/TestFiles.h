#pragma once

// Files for tests: a fresh temporary folder per test, and writers of bytes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace tavelune::test {

// A folder of its own for one test, removed with everything in it afterwards.
class TTempDir {
 public:
  TTempDir() {
    static std::mt19937_64 random(std::random_device{}());
    FPath = std::filesystem::temp_directory_path() / ("tavelune-test-" + std::to_string(random()));
    std::filesystem::create_directories(FPath);
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // The full name of `relative` inside the folder, in the platform's spelling.
  std::string Name(const std::string& relative) const {
    return (FPath / std::filesystem::path(relative).make_preferred()).string();
  }

  // Writes `bytes` to `relative` (creating its folders) and returns the full name.
  std::string Write(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path path = FPath / std::filesystem::path(relative).make_preferred();
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

 private:
  std::filesystem::path FPath;
};

inline std::string RandomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(random() & 0xFF);
  }
  return bytes;
}

}  // namespace tavelune::test
