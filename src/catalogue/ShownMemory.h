#pragma once

// The movies that earlier runs showed, so that shuffle can prefer the others
// until every movie has had its turn ("Remember Shown").
//
// The memory is a small text file in the user's cache folder: a header line,
// then one movie file name per line, oldest first. It is replaced as a whole
// (written beside the old one and renamed over it) after every change, so a
// crash leaves the old memory or the new one, never half of either. A file
// that is missing, not a plain file, too large or not a memory at all reads
// as an empty memory; a memory that cannot be saved goes on in memory. None
// of it ever stops a run. UI thread only.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_set>

namespace tavelune {

class TShownMemory {
 public:
  // The first line of every memory file.
  static constexpr const char* kHeader = "Tavelune shown movies 1";
  // Names beyond this drop the oldest: the memory of a library of any size
  // stays small.
  static constexpr std::size_t kMaxNames = 10000;
  // A file larger than this is not read at all (bytes).
  static constexpr std::uint64_t kMaxFileBytes = 4u << 20;

  // Reads the memory at `fileName`; an empty name keeps it in memory only.
  explicit TShownMemory(std::string fileName);

  bool Shown(const std::string& movie) const { return FNames.count(movie) != 0; }
  std::size_t Size() const { return FOrder.size(); }
  // Adds `movie` (once) and saves; false when the save failed.
  bool Remember(const std::string& movie);
  // Every movie has been shown once: the memory starts again, and saves.
  bool Forget();

 private:
  void Load();
  bool Save() const;

  std::string FFileName;
  std::deque<std::string> FOrder;  // oldest first
  std::unordered_set<std::string> FNames;
};

// Where the memory lives: "shown.txt" in the saver's folder of the user's
// cache, or "" when the platform names no such folder.
std::string ShownMemoryFileName();

}  // namespace tavelune
