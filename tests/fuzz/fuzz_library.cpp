// The recorder's library file and the extension file of tape "0000": the
// input is split at its first "|" into the two files' contents.
#include "FuzzFiles.h"
#include "probe/RecorderLib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelune;
  std::string_view input = fuzz::AsText(data, size);
  std::size_t split = std::min(input.find('|'), input.size());
  fuzz::WriteInput("SGPDB/SGPDBTape.SVD", input.substr(0, split));
  fuzz::WriteInput("SGPDB/TapeExt/TxTx0000.SVB", input.substr(std::min(split + 1, input.size())));
  TRecorderTapeLib record;
  LookupLibrary((fuzz::Folder() / "0000.mpg").string(), record);
  return 0;
}
