// The settings file's parser: any text parses, and what it writes back
// parses to the same values.
#include <string>

#include "FuzzFiles.h"
#include "settings/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelune;
  TRegFile file = TRegFile::Parse(fuzz::AsText(data, size));
  const std::string key = "\\Software\\Norvane\\Tavelune";
  std::optional<TStoreValue> before = file.ReadValue(key, "LogFile");
  file.WriteValue(key, "Draw Wait", {TValueKind::Integer, {}, 59});
  TRegFile again = TRegFile::Parse(file.Serialize());
  std::optional<TStoreValue> after = again.ReadValue(key, "LogFile");
  std::optional<TStoreValue> wait = again.ReadValue(key, "Draw Wait");
  if (before.has_value() != after.has_value() || (before && before->Text != after->Text) || !wait ||
      wait->Number != 59) {
    __builtin_trap();  // a rewrite lost or changed a value
  }
  return 0;
}
