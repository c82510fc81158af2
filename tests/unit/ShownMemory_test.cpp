// The memory of shown movies: what it keeps across runs, how it stays small,
// and what it does with files it cannot trust or cannot write.

#include "catalogue/ShownMemory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "helpers/TestFiles.h"

namespace tavelune {
namespace {

using test::TTempDir;

std::string ReadAll(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ShownMemory, KeepsWhatWasShownForTheNextRunInItsOwnFolder) {
  TTempDir dir;
  const std::string file = dir.Name("cache/tavelune/shown.txt");  // folders made on save
  {
    TShownMemory memory(file);
    EXPECT_EQ(memory.Size(), 0u);
    EXPECT_TRUE(memory.Remember("/movies/a.mp4"));
    EXPECT_TRUE(memory.Remember("/movies/b é.mkv"));
    EXPECT_TRUE(memory.Remember("/movies/a.mp4"));  // once
  }
  EXPECT_EQ(ReadAll(file),
            std::string(TShownMemory::kHeader) + "\n/movies/a.mp4\n/movies/b é.mkv\n");
  EXPECT_FALSE(std::filesystem::exists(file + ".new"));
  TShownMemory next(file);
  EXPECT_EQ(next.Size(), 2u);
  EXPECT_TRUE(next.Shown("/movies/b é.mkv"));
  EXPECT_FALSE(next.Shown("/movies/c.avi"));
  EXPECT_TRUE(next.Forget());
  EXPECT_EQ(TShownMemory(file).Size(), 0u);
}

TEST(ShownMemory, StaysBoundedByDroppingTheOldestNames) {
  TTempDir dir;
  const std::string file = dir.Name("shown.txt");
  std::string text = std::string(TShownMemory::kHeader) + "\n";
  for (std::size_t i = 0; i < TShownMemory::kMaxNames + 5; ++i) {
    text += "/m/" + std::to_string(i) + "\n";
  }
  dir.Write("shown.txt", text);
  TShownMemory memory(file);
  EXPECT_EQ(memory.Size(), TShownMemory::kMaxNames);
  EXPECT_FALSE(memory.Shown("/m/4"));
  EXPECT_TRUE(memory.Shown("/m/5"));
  memory.Remember("/m/new");
  EXPECT_FALSE(memory.Shown("/m/5"));
  EXPECT_EQ(TShownMemory(file).Size(), TShownMemory::kMaxNames);
}

TEST(ShownMemory, AFileItCannotTrustReadsAsEmptyAndIsReplacedOnTheNextSave) {
  TTempDir dir;
  const std::string header = std::string(TShownMemory::kHeader) + "\n";
  for (const std::string& bytes :
       {std::string("not a memory\n/m/a\n"), header + "/m/a\n" + std::string("\0x\n", 3),
        std::string(), header.substr(0, 5)}) {
    const std::string file = dir.Write("shown.txt", bytes);
    TShownMemory memory(file);
    EXPECT_EQ(memory.Size(), 0u) << bytes;
    EXPECT_TRUE(memory.Remember("/m/b"));
    EXPECT_EQ(ReadAll(file), header + "/m/b\n");
  }
  // A last line cut off by a crash of some other writer is not taken.
  EXPECT_EQ(TShownMemory(dir.Write("cut.txt", header + "/m/a\n/m/b")).Size(), 1u);
  // Larger than a memory can be: not read at all.
  const std::string huge =
      dir.Write("huge.txt", header + std::string(TShownMemory::kMaxFileBytes, 'x') + "\n");
  EXPECT_EQ(TShownMemory(huge).Size(), 0u);
  // Names a line cannot hold are not remembered.
  TShownMemory memory(dir.Name("lines.txt"));
  memory.Remember("/m/two\nlines");
  memory.Remember("");
  EXPECT_EQ(memory.Size(), 0u);
}

TEST(ShownMemory, AMemoryThatCannotBeSavedGoesOnInMemory) {
  TTempDir dir;
  dir.Write("blocked", "a file where the folder would be");
  TShownMemory memory(dir.Name("blocked/shown.txt"));
  EXPECT_FALSE(memory.Remember("/m/a"));
  EXPECT_TRUE(memory.Shown("/m/a"));
  TShownMemory nowhere("");
  EXPECT_FALSE(nowhere.Remember("/m/a"));
  EXPECT_TRUE(nowhere.Shown("/m/a"));
}

#ifndef _WIN32
TEST(ShownMemory, AFifoInItsPlaceIsNeitherWaitedOnNorWrittenThrough) {
  TTempDir dir;
  const std::string file = dir.Name("shown.txt");
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  TShownMemory memory(file);  // would block for good if opened for reading
  EXPECT_EQ(memory.Size(), 0u);
  memory.Remember("/m/a");  // renamed over the FIFO: a plain file now
  EXPECT_TRUE(std::filesystem::is_regular_file(file));
  EXPECT_EQ(TShownMemory(file).Size(), 1u);
}
#endif

}  // namespace
}  // namespace tavelune
