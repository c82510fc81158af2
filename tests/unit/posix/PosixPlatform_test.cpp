// Linux platform services that only a real second process or the real file
// system can show.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>

#include "base/ProcessUtils.h"
#include "base/Synchronize.h"
#include "catalogue/LogFile.h"
#include "catalogue/MFindFirst.h"
#include "helpers/TestFiles.h"
#include "platform/ByteFile.h"
#include "platform/FileSystem.h"
#include "platform/InstanceGuard.h"
#include "platform/SystemDirs.h"
#include "probe/ByteSearch.h"
#include "probe/ContainerProbe.h"

namespace tavelune {
namespace {

// Runs `body` in a child process and returns its exit code.
template <typename Body>
int InChildProcess(Body body) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::_exit(body() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PosixInstanceGuard, RefusesTheNameToOtherProcessesUntilItsHolderEnds) {
  std::string name = "TaveluneGuardTest" + std::to_string(std::random_device{}());
  // A child takes the name and ends: the name is free again.
  EXPECT_EQ(InChildProcess([&] { return platform::TryTakeInstanceName(name); }), 0);
  ASSERT_TRUE(platform::TryTakeInstanceName(name));
  EXPECT_EQ(InChildProcess([&] { return !platform::TryTakeInstanceName(name); }), 0);
  platform::ReleaseInstanceName();
  EXPECT_EQ(InChildProcess([&] { return !platform::TryTakeInstanceName(name); }), 0);
}

TEST(PosixFileSystem, FindsFilesWhoseNamesDifferOnlyInLetterCase) {
  test::TTempDir dir;
  dir.Write("SGPDB/sgpdbtape.svd", "entry");
  dir.Write("movie.sdb", "side");
  EXPECT_TRUE(platform::FileExists(dir.Name("SGPDB/SGPDBTape.SVD")));
  EXPECT_TRUE(platform::FileExists(dir.Name("sgpdb/SGPDBTAPE.svd")));
  EXPECT_TRUE(platform::FileExists(dir.Name("movie.SDB")));
  EXPECT_FALSE(platform::FileExists(dir.Name("movie.SDX")));
  EXPECT_FALSE(platform::FileExists(dir.Name("SGPDB")));  // a folder is no file
  platform::TByteFile file;
  ASSERT_TRUE(file.Open(dir.Name("MOVIE.SDB"), platform::TShareMode::DenyWrite));
  char bytes[4];
  EXPECT_TRUE(file.ReadAt(0, bytes, 4));
  EXPECT_EQ(std::string(bytes, 4), "side");
}

TEST(PosixFileSystem, PrefersTheNameAsSpelled) {
  test::TTempDir dir;
  dir.Write("a.SDB", "upper");
  dir.Write("a.sdb", "lower");
  EXPECT_EQ(platform::ResolveFileName(dir.Name("a.sdb")), dir.Name("a.sdb"));
  EXPECT_EQ(platform::ResolveFileName(dir.Name("a.Sdb")), dir.Name("a.SDB"));
}

// Files that could block whoever opens or reads them: a FIFO nobody writes
// to, a device that never ends, a folder.
struct TSpecialFiles {
  test::TTempDir Dir;
  std::string Fifo = Dir.Name("x.mp4");
  std::string Folder = Dir.Name("folder.avi");
  TSpecialFiles() {
    EXPECT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
    std::filesystem::create_directories(Folder);
  }
  std::vector<std::string> All() const { return {Fifo, Folder, "/dev/zero", "/dev/tty"}; }
};

TEST(PosixByteFile, RefusesWhatIsNotARegularFileWithoutWaitingOnIt) {
  TSpecialFiles special;
  for (const std::string& name : special.All()) {
    platform::TByteFile file;
    EXPECT_FALSE(file.Open(name, platform::TShareMode::DenyNone)) << name;
  }
  // Probing then answers as for an unreadable file: the extension.
  EXPECT_EQ(ProbeContainer(special.Fifo), ".MP4");
  EXPECT_EQ(FindBytesInFile(special.Fifo, "\x00\x00\x01\xB3"), -1);
}

TEST(PosixByteFile, AppendsToRegularFilesOnlyAndNeverWaitsForAReader) {
  TSpecialFiles special;
  const std::string log = special.Dir.Name("play.log");
  platform::AppendToFile(log, "one\r\n");
  platform::AppendToFile(log, "two\r\n");
  std::string text(10, '\0');
  platform::TByteFile file;
  ASSERT_TRUE(file.Open(log, platform::TShareMode::DenyWrite));
  EXPECT_TRUE(file.ReadAt(0, text.data(), text.size()));
  EXPECT_EQ(text, "one\r\ntwo\r\n");
  for (const std::string& name : {special.Fifo, special.Folder}) {
    EXPECT_THROW(platform::AppendToFile(name, "line\r\n"), platform::EFCreateError) << name;
  }
}

TEST(PosixLogFile, AHistoryThatIsAFifoIsAnErrorNotAWait) {
  TSpecialFiles special;
  TLogFile log(platform::ProgramFileName());
  log.SetLogFileName(special.Fifo);
  EXPECT_THROW(log.SetActive(true), EInOutError);
  EXPECT_FALSE(log.Active());
  EXPECT_THROW(log.TrimHistory(1000), EInOutError);
}

TEST(PosixDiscovery, KeepsNamesThatAreNotUtf8AsTheirBytes) {
  test::TTempDir dir;
  dir.Write("movies/\x83\x65\x83\x58\x83\x67.avi", "");  // a CP932 name copied from Windows
  std::vector<std::string> folders = {dir.Name("movies"), dir.Name("vanished")};
  std::vector<std::string> extensions = {"avi"};
  std::vector<std::string> movies;
  TMFindFirst finder(folders, extensions, movies);
  finder.Resume();
  while (!finder.SearchDone()) {
    WaitForSynchronizeRequests(std::chrono::milliseconds(5));
    YieldToMessages();
  }
  ASSERT_EQ(movies.size(), 1u);
  EXPECT_EQ(movies[0], dir.Name("movies") + "/\x83\x65\x83\x58\x83\x67.avi");
}

}  // namespace
}  // namespace tavelune
