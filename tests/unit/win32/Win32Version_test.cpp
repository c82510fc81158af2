// The portable version reader against the platform's own version service,
// on a program built by the Windows toolchain.

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/SystemDirs.h"
#include "settings/VersionInfo.h"

namespace tavelune {
namespace {

std::string PlatformVersionText(const std::string& fileName, const std::string& key) {
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeA(fileName.c_str(), &handle);
  if (size == 0) {
    return {};
  }
  std::vector<char> buffer(size);
  if (!::GetFileVersionInfoA(fileName.c_str(), 0, size, buffer.data())) {
    return {};
  }
  char* value = nullptr;
  UINT length = 0;
  std::string path = "\\StringFileInfo\\041104B0\\" + key;
  if (!::VerQueryValueA(buffer.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
      value == nullptr) {
    return {};
  }
  return std::string(value);
}

TEST(Win32Version, ReadsWhatThePlatformsVersionServiceReads) {
  std::string self = platform::ProgramDir() + "tavelune_unit_tests.exe";
  TVersionRecord record;
  ReadVersionRecord(self, record);
  for (const auto& [key, member] : kVersionFields) {
    EXPECT_EQ(record.*member, PlatformVersionText(self, std::string(key))) << key;
  }
  EXPECT_EQ(record.ProductName, "Tavelune");
}

}  // namespace
}  // namespace tavelune
