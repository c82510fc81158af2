// The version reader's text-header path on arbitrary file contents.
#include "FuzzFiles.h"
#include "settings/VersionInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelune;
  std::string name = fuzz::WriteInput("header.txt", fuzz::AsText(data, size));
  TVersionRecord record;
  ReadVersionRecord(name, record);
  TrimFullWidth(fuzz::AsText(data, size));
  return 0;
}
