// Version records of program images: the PE resource parser with every
// query the reader makes, and the ELF attached-record reader.
#include <string>

#include "FuzzFiles.h"
#include "settings/AttachedVersion.h"
#include "settings/PeVersionResource.h"
#include "settings/VersionInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelune;
  std::string_view image = fuzz::AsText(data, size);
  std::string block = VersionInfoBlockFromImage(image);
  if (auto translation = FirstTranslation(block)) {
    (void)translation;
  }
  // The block itself is fuzzed too, so the tree walk sees more than what
  // survives the PE layers.
  for (std::string_view candidate : {std::string_view(block), image}) {
    FirstTranslation(candidate);
    for (const auto& field : kVersionFields) {
      if (auto value = QueryVersionValue(
              candidate, "\\StringFileInfo\\041104B0\\" + std::string(field.first))) {
        VersionText(*value, kMaxVersionText);
      }
    }
  }
  TVersionRecord record;
  ParseAttachedVersionText(AttachedVersionTextFromImage(image), record);
  return 0;
}
