// Container probing on arbitrary file contents, under a name whose
// extension makes every branch reachable.
#include "FuzzFiles.h"
#include "probe/ContainerProbe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelune;
  std::string name = fuzz::WriteInput("movie.vob", fuzz::AsText(data, size));
  std::string code = ProbeContainer(name);
  if (code.size() > 8) {
    __builtin_trap();  // a container type code is at most eight characters
  }
  return 0;
}
