#pragma once

// Fuzz inputs arrive as bytes; the readers under test take file names. Each
// fuzzer process writes its inputs into a folder of its own in memory-backed
// /dev/shm when there is one.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace tavelune::fuzz {

inline const std::filesystem::path& Folder() {
  static const std::filesystem::path kFolder = [] {
    std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    std::filesystem::path folder = base / ("tavelune-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::atexit([] { std::filesystem::remove_all(Folder()); });
    return folder;
  }();
  return kFolder;
}

// Writes `bytes` to `relative` inside the folder; returns the full name.
inline std::string WriteInput(const std::string& relative, std::string_view bytes) {
  std::filesystem::path path = Folder() / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tavelune::fuzz
