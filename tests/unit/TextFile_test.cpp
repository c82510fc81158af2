#include "base/TextFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "helpers/TestFiles.h"

namespace tavelune {
namespace {

std::vector<std::string> LinesOf(const std::string& name, std::size_t maxKept = 8192) {
  TTextFile file(name, maxKept);
  EXPECT_TRUE(file.Open());
  std::vector<std::string> lines;
  TTextLine line;
  while (file.ReadLine(line)) {
    lines.push_back(line.Text);
  }
  EXPECT_TRUE(file.Eof());
  return lines;
}

using Lines = std::vector<std::string>;

TEST(TextFile, EndsLinesAtCrLfLfOrCr) {
  test::TTempDir dir;
  EXPECT_EQ(LinesOf(dir.Write("a.txt", "one\r\ntwo\nthree\rfour")),
            (Lines{"one", "two", "three", "four"}));
  EXPECT_EQ(LinesOf(dir.Write("b.txt", "one\r\n\r\n\nlast\r\n")), (Lines{"one", "", "", "last"}));
  EXPECT_EQ(LinesOf(dir.Write("c.txt", "")), Lines{});
  EXPECT_EQ(LinesOf(dir.Write("d.txt", "\r")), Lines{""});
}

TEST(TextFile, KeepsLineEndsThatStraddleItsReadBuffer) {
  test::TTempDir dir;
  // CR as the last byte of the first 64 KiB read, LF as the first of the next.
  std::string first(64 * 1024 - 1, 'a');
  Lines lines = LinesOf(dir.Write("a.txt", first + "\r\nb"), first.size());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0] == first);
  EXPECT_EQ(lines[1], "b");
}

TEST(TextFile, BoundsWhatItKeepsOfALineButCountsItWhole) {
  test::TTempDir dir;
  std::string huge(3 * 1024 * 1024, 'x');
  std::string name = dir.Write("a.txt", huge + "\nshort\n");
  TTextFile file(name, 100);
  ASSERT_TRUE(file.Open());
  TTextLine line;
  ASSERT_TRUE(file.ReadLine(line));
  EXPECT_EQ(line.Text, std::string(100, 'x'));
  EXPECT_EQ(line.Length, huge.size());
  ASSERT_TRUE(file.ReadLine(line));
  EXPECT_EQ(line.Text, "short");
  EXPECT_EQ(line.Length, 5u);
  EXPECT_FALSE(file.ReadLine(line));
}

TEST(TextFile, CannotOpenMissingFilesOrFolders) {
  test::TTempDir dir;
  TTextFile missing(dir.Name("missing.txt"));
  EXPECT_FALSE(missing.Open());
  TTextLine line;
  EXPECT_FALSE(missing.ReadLine(line));
  TTextFile folder(dir.Name(""));
  EXPECT_FALSE(folder.Open());
}

}  // namespace
}  // namespace tavelune
