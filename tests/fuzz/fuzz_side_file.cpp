// The recorder's side file beside a movie, with arbitrary contents.
#include "FuzzFiles.h"
#include "probe/RecorderLib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelune;
  fuzz::WriteInput("0000.SDB", fuzz::AsText(data, size));
  TRecorderTapeLib record;
  if (!LookupSideFile((fuzz::Folder() / "0000.mpg").string(), record)) {
    __builtin_trap();  // the side file exists, so the lookup must say found
  }
  return 0;
}
