// What can block a reader on Windows: pipes and devices are refused before
// anything waits on them; the input clock the watchdog reads.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>

#include "helpers/TestFiles.h"
#include "platform/ByteFile.h"
#include "platform/FileSystem.h"
#include "platform/InputWatch.h"

namespace tavelune {
namespace {

TEST(Win32ByteFile, RefusesPipesAndDevicesButReadsFilesOnADisk) {
  const std::string pipe = "\\\\.\\pipe\\tavelune-test-" + std::to_string(std::random_device{}());
  HANDLE server =
      ::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  for (const std::string& name : {pipe, std::string("NUL"), std::string("CONIN$")}) {
    platform::TByteFile file;
    EXPECT_FALSE(file.Open(name, platform::TShareMode::DenyNone)) << name;
  }
  ::CloseHandle(server);
  test::TTempDir dir;
  platform::TByteFile file;
  EXPECT_TRUE(file.Open(dir.Write("movie.avi", "RIFF"), platform::TShareMode::DenyNone));
}

TEST(Win32ByteFile, AppendsToFilesOnADiskOnly) {
  test::TTempDir dir;
  const std::string log = dir.Name("play.log");
  platform::AppendToFile(log, "one\r\n");
  platform::AppendToFile(log, "two\r\n");
  std::string text(10, '\0');
  platform::TByteFile file;
  ASSERT_TRUE(file.Open(log, platform::TShareMode::DenyWrite));
  EXPECT_TRUE(file.ReadAt(0, text.data(), text.size()));
  EXPECT_EQ(text, "one\r\ntwo\r\n");
  EXPECT_THROW(platform::AppendToFile("NUL", "line\r\n"), platform::EFCreateError);
}

TEST(Win32FileSystem, TellsDeviceNamesWhereverTheyStand) {
  test::TTempDir dir;
  const std::string folder = dir.Name("");
  for (const std::string& name :
       {std::string("NUL"), std::string("CON"), std::string("com1"), folder + "CON.txt",
        folder + "nul", std::string("\\\\.\\pipe\\x")}) {
    EXPECT_TRUE(platform::NamesDevice(name)) << name;
  }
  for (const std::string& name :
       {dir.Write("play.log", "x"), folder + "CONSOLE.txt", folder + "new.log", folder}) {
    EXPECT_FALSE(platform::NamesDevice(name)) << name;
  }
}

TEST(Win32InputWatch, TheHooksSeeInputThatNoWindowOfOursGets) {
  std::atomic<int> inputs{0};
  const auto watch = platform::WatchDesktopInput([&] { ++inputs; });
  ASSERT_NE(watch, nullptr);
  INPUT move{};
  move.type = INPUT_MOUSE;
  move.mi.dx = 3;
  move.mi.dwFlags = MOUSEEVENTF_MOVE;
  for (int i = 0; i < 500 && inputs == 0; ++i) {
    if (i % 50 == 0) {
      ::SendInput(1, &move, sizeof move);
    }
    ::Sleep(10);
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace tavelune
