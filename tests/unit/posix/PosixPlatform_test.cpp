// Linux platform services that only a real second process or the real file
// system can show.

#include <fcntl.h>
#include <sys/resource.h>
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

TEST(PosixLogFile, AFifoOrADeviceNamedAsTheHistoryMeansNoHistory) {
  TSpecialFiles special;
  for (const std::string& name : {special.Fifo, std::string("/dev/null")}) {
    TLogFile log(platform::ProgramFileName());
    log.SetLogFileName(name);
    log.SetActive(true);  // neither an error nor a wait for a reader
    EXPECT_FALSE(log.Active()) << name;
    EXPECT_FALSE(log.WriteLine("x")) << name;
    EXPECT_EQ(WhyHistoryIsNotKept(name), name + " is a device");
    EXPECT_THROW(log.TrimHistory(), EInOutError) << name;  // never read either
  }
}

// The largest resident set the process has had so far, in KiB.
long PeakResidentKib() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A 3 GiB history (a hole, then 1500 lines) is cut to its last 1000 lines
// without being read whole.
TEST(PosixLogFile, CutsAThreeGigabyteHistoryInBoundedMemory) {
  test::TTempDir dir;
  const std::string name = dir.Name("play.log");
  const off_t hole = 3LL << 30;
  {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, hole), 0);
    ::close(fd);
  }
  std::string lines;
  for (int i = 1; i <= 1500; ++i) {
    lines += "line " + std::to_string(i) + "\r\n";
  }
  platform::AppendToFile(name, lines);
  TLogFile log(platform::ProgramFileName());
  log.SetLogFileName(name);
  const long before = PeakResidentKib();
  log.TrimHistory();
  EXPECT_LT(PeakResidentKib() - before, 16 * 1024);
  struct stat info {};
  ASSERT_EQ(::stat(name.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, static_cast<off_t>(lines.size() - lines.find("line 501\r\n")));
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
