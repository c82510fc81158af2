#include "settings/RegFile.h"

#include <gtest/gtest.h>

#include <string>

namespace tavelune {
namespace {

const std::string kKey = "\\Software\\Norvane\\Tavelune";

std::string Text(const TRegFile& file, const std::string& name) {
  std::optional<TStoreValue> value = file.ReadValue(kKey, name);
  return value ? value->Text : "(none)";
}

TEST(RegFile, TheLastLineOfANameWinsAndAWriteLeavesOnlyItInItsPlace) {
  TRegFile file = TRegFile::Parse(
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Norvane\\Tavelune]\n"
      "\"LogFile\"=\"first\"\n\"Other\"=\"x\"\n\"LOGFILE\"=\"second\"\n\"Last\"=\"y\"\n");
  EXPECT_EQ(Text(file, "logfile"), "second");  // names compare without ASCII case
  file.WriteValue(kKey, "LogFile", {TValueKind::String, "third", 0});
  EXPECT_EQ(Text(file, "LogFile"), "third");
  EXPECT_EQ(Text(file, "Other"), "x");
  EXPECT_EQ(Text(file, "Last"), "y");
  const std::string saved = file.Serialize();
  EXPECT_EQ(saved.find("first"), std::string::npos);
  EXPECT_LT(saved.find("\"Other\""), saved.find("\"LogFile\"=\"third\""));
  EXPECT_LT(saved.find("\"LogFile\"=\"third\""), saved.find("\"Last\""));
  file.WriteValue(kKey, "Last", {TValueKind::String, "z", 0});  // found after the clean-up
  EXPECT_EQ(Text(file, "Last"), "z");
  EXPECT_EQ(Text(file, "Missing"), "(none)");
}

TEST(RegFile, ATenThousandValueListIsWrittenAndReadBackWhole) {
  TRegFile file = TRegFile::Parse("REGEDIT4\n");
  file.CreateKey(kKey);
  for (int i = 0; i < 10000; ++i) {
    file.WriteValue(kKey, std::to_string(i),
                    {TValueKind::String, "/movies/" + std::to_string(i), 0});
  }
  const TRegFile read = TRegFile::Parse(file.Serialize());
  for (int i = 0; i < 10000; i += 999) {
    EXPECT_EQ(Text(read, std::to_string(i)), "/movies/" + std::to_string(i));
  }
}

}  // namespace
}  // namespace tavelune
