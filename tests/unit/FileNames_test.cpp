#include "base/FileNames.h"

#include <gtest/gtest.h>

#include "base/TextUtils.h"
#include "platform/PathStyle.h"

namespace tavelune {
namespace {

std::string Native(std::string name) {
  for (char& c : name) {
    if (c == '/') {
      c = platform::kPathDelimiter;
    }
  }
  return name;
}

TEST(FileNames, SplitsNamesAtTheLastDelimiterAndDot) {
  EXPECT_EQ(ExtractFileExt(Native("/movies/a.b/clip.Vob")), ".Vob");
  EXPECT_EQ(ExtractFileExt(Native("/movies/a.b/clip")), "");
  EXPECT_EQ(ExtractFileExt("clip."), ".");
  EXPECT_EQ(ExtractFilePath(Native("/movies/clip.mpg")), Native("/movies/"));
  EXPECT_EQ(ExtractFilePath("clip.mpg"), "");
  EXPECT_EQ(ExtractFileName(Native("/movies/clip.mpg")), "clip.mpg");
  EXPECT_EQ(ChangeFileExt(Native("/a.b/clip.mpg"), ".SDB"), Native("/a.b/clip.SDB"));
  EXPECT_EQ(ChangeFileExt(Native("/a.b/clip"), ".SDB"), Native("/a.b/clip.SDB"));
  EXPECT_EQ(IncludeTrailingDelimiter(""), std::string(1, platform::kPathDelimiter));
  EXPECT_EQ(IncludeTrailingDelimiter(Native("/tmp")), Native("/tmp/"));
  EXPECT_EQ(IncludeTrailingDelimiter(Native("/tmp/")), Native("/tmp/"));
}

TEST(TextUtils, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(AsciiUpper("avi \x82\xa0 list"), "AVI \x82\xa0 LIST");
  EXPECT_EQ(AsciiLower("DVSD\xC3\x89"), "dvsd\xC3\x89");
  EXPECT_TRUE(SameTextAscii("SGPDBTape.SVD", "sgpdbtape.svd"));
  EXPECT_FALSE(SameTextAscii("a", "ab"));
}

TEST(TextUtils, ReadsNumbersStrictlyWithFallbacks) {
  EXPECT_EQ(IntegerOr(" 12 ", 0), 12);
  EXPECT_EQ(IntegerOr("+7", 0), 7);
  EXPECT_EQ(IntegerOr("-7", 0), -7);
  EXPECT_EQ(IntegerOr("1 2", 9), 9);
  EXPECT_EQ(IntegerOr("", 9), 9);
  EXPECT_EQ(IntegerOr("99999999999999999999", 9), 9);
  EXPECT_EQ(NumberOr("  123.5 ", 0), 123.5);
  EXPECT_EQ(NumberOr("1e3", 0), 1000);
  EXPECT_EQ(NumberOr("12ab", 0), 0);
  EXPECT_EQ(ShortestNumberText(0), "0");
  EXPECT_EQ(ShortestNumberText(0.1), "0.1");
  EXPECT_EQ(ShortestNumberText(1234.5), "1234.5");
}

TEST(TextUtils, TakesColumnsAsFarAsTheTextReaches) {
  EXPECT_EQ(Columns("abcdef", 2, 4), "bcd");
  EXPECT_EQ(Columns("abc", 2, 9), "bc");
  EXPECT_EQ(Columns("abc", 4, 9), "");
  EXPECT_EQ(TrimControl("\t a b \r\n"), "a b");
}

}  // namespace
}  // namespace tavelune
