#include "catalogue/MFindFirst.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "base/ProcessUtils.h"
#include "base/Synchronize.h"
#include "helpers/TestFiles.h"
#include "platform/PathStyle.h"

namespace tavelune {
namespace {

using Lines = std::vector<std::string>;

// Plays the UI thread: serves the worker's hand-overs until `done` or a
// generous time limit.
template <typename Done>
bool ServeUiUntil(Done done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    WaitForSynchronizeRequests(std::chrono::milliseconds(5));
    YieldToMessages();
  }
  return true;
}

Lines Sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

const Lines kExtensions = {"avi", "MPG"};

TEST(IsMovieFile, ComparesExtensionsWithoutRegardToAsciiCase) {
  for (const char* name : {"CLIP.Avi", "clip.AVI", "clip.avi", "a.b.mpg"}) {
    EXPECT_TRUE(IsMovieFile(name, kExtensions)) << name;
  }
  for (const char* name : {".", "..", "clip", "clip.avi.txt", "clip.av"}) {
    EXPECT_FALSE(IsMovieFile(name, kExtensions)) << name;
  }
  std::string folderDot = std::string("dir.avi") + platform::kPathDelimiter + "clip";
  EXPECT_FALSE(IsMovieFile(folderDot, kExtensions));
  // Entries are used as stored: a leading dot or blanks match nothing.
  EXPECT_FALSE(IsMovieFile("clip.avi", {".avi", " avi", "avi "}));
  // Non-ASCII letters are compared byte for byte, never folded.
  EXPECT_TRUE(IsMovieFile("x.\xC3\xA9", {"\xC3\xA9"}));
  EXPECT_FALSE(IsMovieFile("x.\xC3\x89", {"\xC3\xA9"}));
}

class MFindFirst : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"b.avi", "A.MPG", "notes.txt", ".hidden.avi", "noext"}) {
      FDir.Write("movies/" + std::string(name), "x");
    }
    FDir.Write("movies/folder.avi/inside.avi", "x");
    FFolder = FDir.Name("movies");
  }
  test::TTempDir FDir;
  std::string FFolder;
};

TEST_F(MFindFirst, FindsTheMoviesOfEachFolderAtItsTopLevel) {
  Lines folders = {FFolder, FFolder + platform::kPathDelimiter, FDir.Name("missing")};
  Lines movies;
  TMFindFirst finder(folders, kExtensions, movies);
  EXPECT_FALSE(finder.SearchDone());
  finder.Resume();
  ASSERT_TRUE(ServeUiUntil([&] { return finder.SearchDone(); }));
  const std::string base = FFolder + platform::kPathDelimiter;
  Lines once = {base + ".hidden.avi", base + "A.MPG", base + "b.avi", base + "folder.avi"};
  Lines twice;  // registered with and without the delimiter: found twice
  for (const std::string& name : once) {
    twice.push_back(name);
    twice.push_back(name);
  }
  EXPECT_EQ(Sorted(movies), Sorted(twice));
}

TEST_F(MFindFirst, WalksAgainOnEveryResumeAfterAWalk) {
  Lines folders = {FFolder};
  Lines movies;
  TMFindFirst finder(folders, kExtensions, movies);
  finder.Resume();
  ASSERT_TRUE(ServeUiUntil([&] { return finder.SearchDone(); }));
  Lines first = movies;
  ASSERT_EQ(first.size(), 4u);
  movies.clear();
  finder.Resume();  // at once: the thread may not have gone to sleep yet
  ASSERT_TRUE(ServeUiUntil([&] { return movies.size() == 4 && finder.SearchDone(); }));
  EXPECT_EQ(movies, first);  // the same entries in the same found order
}

TEST_F(MFindFirst, EndsAWalkOverNoFoldersAtOnce) {
  Lines folders;
  Lines movies;
  TMFindFirst finder(folders, kExtensions, movies);
  finder.Resume();
  ASSERT_TRUE(ServeUiUntil([&] { return finder.SearchDone(); }));
  EXPECT_TRUE(movies.empty());
}

TEST_F(MFindFirst, StopsCleanlyWhileAWalkWaitsForTheUiThread) {
  for (int i = 0; i < 3000; ++i) {
    FDir.Write("many/" + std::to_string(i) + ".avi", "");
  }
  Lines folders = {FDir.Name("many")};
  Lines movies;
  {
    TMFindFirst finder(folders, kExtensions, movies);
    finder.Resume();
    // Serve a few hand-overs, then close as the saver window does.
    ServeUiUntil([&] { return !movies.empty(); });
  }  // terminates, wakes and joins without the UI thread's help
  EXPECT_LT(movies.size(), 3000u);
}

TEST_F(MFindFirst, FoldersThatDoNotExistNeverWaitForTheUiThread) {
  // Each hand-over waits for the UI thread's next pass, which a playing
  // saver makes only now and then: ten thousand missing folders must not
  // cost ten thousand of them before the real one's movies arrive.
  Lines folders;
  for (int i = 0; i < 10000; ++i) {
    folders.push_back(FDir.Name("missing" + std::to_string(i)));
  }
  folders.push_back(FFolder);
  Lines movies;
  TMFindFirst finder(folders, kExtensions, movies);
  finder.Resume();
  int handOvers = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!finder.SearchDone() && std::chrono::steady_clock::now() < deadline) {
    WaitForSynchronizeRequests(std::chrono::milliseconds(5));
    handOvers += RunSynchronizeRequests();
  }
  EXPECT_EQ(movies.size(), 4u);
  EXPECT_LE(handOvers, 2);
}

TEST_F(MFindFirst, NeverStartsWithoutAResume) {
  Lines folders = {FFolder};
  Lines movies;
  TMFindFirst finder(folders, kExtensions, movies);
  ServeUiUntil([&, start = std::chrono::steady_clock::now()] {
    return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(50);
  });
  EXPECT_TRUE(movies.empty());
  EXPECT_FALSE(finder.SearchDone());
}

TEST(MFindFirstEnd, AThreadEndedBeforeItsFirstWalkCountsAsDone) {
  // The play loop waits for a movie until the walk is done; a thread told
  // to end before it ever walked must not leave it waiting.
  const std::vector<std::string> folders = {"/nowhere"};
  const std::vector<std::string> extensions = {"avi"};
  std::vector<std::string> movies;
  TMFindFirst finder(folders, extensions, movies);
  finder.Terminate();
  EXPECT_TRUE(ServeUiUntil([&] { return finder.SearchDone(); }));
}

}  // namespace
}  // namespace tavelune
