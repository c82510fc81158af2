#include "probe/ByteSearch.h"

#include <gtest/gtest.h>

#include <random>

#include "helpers/TestFiles.h"

namespace tavelune {
namespace {

// The definition: the first position where every pattern byte matches.
std::size_t FindByTestingEveryPosition(std::string_view haystack, std::string_view needle) {
  for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    if (haystack.substr(i, needle.size()) == needle) {
      return i;
    }
  }
  return std::string_view::npos;
}

TEST(FindBytes, AgreesWithTestingEveryPositionOnRandomTexts) {
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    // A small alphabet makes partial and overlapping matches common.
    std::size_t size = random() % 300;
    std::size_t alphabet = 1 + random() % 4;
    std::string haystack(size, '\0');
    for (char& c : haystack) {
      c = static_cast<char>(random() % alphabet);
    }
    std::size_t needleSize = 1 + random() % 8;
    std::string needle(needleSize, '\0');
    for (char& c : needle) {
      c = static_cast<char>(random() % alphabet);
    }
    ASSERT_EQ(FindBytes(haystack, needle), FindByTestingEveryPosition(haystack, needle))
        << "round " << round;
  }
}

TEST(FindBytes, FindsANeedlePlantedAtEveryOffsetOfAVectorBlock) {
  const std::string needle("\x00\x00\x01\xB3", 4);
  for (std::size_t at = 0; at < 200; ++at) {
    std::string haystack(204, 'x');
    haystack.replace(at, needle.size(), needle);
    EXPECT_EQ(FindBytes(haystack, needle), at);
    // Only the first three bytes: never a match.
    haystack.replace(at, needle.size(), "xxxx");
    haystack.replace(std::min<std::size_t>(at, 201), 3, needle.substr(0, 3));
    EXPECT_EQ(FindBytes(haystack, needle), std::string_view::npos) << at;
  }
}

TEST(FindBytes, HandlesEmptyAndOversizedNeedles) {
  EXPECT_EQ(FindBytes("abc", ""), 0u);
  EXPECT_EQ(FindBytes("abc", "abcd"), std::string_view::npos);
  EXPECT_EQ(FindBytes("", "a"), std::string_view::npos);
  EXPECT_EQ(FindBytes("xxa", "a"), 2u);
}

TEST(FindBytes, FindsLongNeedlesInLongTexts) {
  std::string haystack = test::RandomBytes(100000, 3);
  std::string needle = haystack.substr(77777, 1000);
  EXPECT_EQ(FindBytes(haystack, needle), FindByTestingEveryPosition(haystack, needle));
}

// The same definition as a file offset, -1 for no match.
std::int64_t FindByTestingEveryPosition(const std::string& bytes, const std::string& pattern) {
  std::size_t at = FindByTestingEveryPosition(std::string_view(bytes), std::string_view(pattern));
  return at == std::string_view::npos ? -1 : static_cast<std::int64_t>(at);
}

TEST(FindBytesInFile, FindsTheFirstMatchWhereverItLies) {
  test::TTempDir dir;
  const std::string header("\x00\x00\x01\xB3", 4);
  // Around the block boundaries of the file reader (256 KiB) and at the ends.
  const std::size_t size = 3 * 256 * 1024 + 5;
  for (std::size_t at : {std::size_t{0}, std::size_t{1}, std::size_t{262141}, std::size_t{262142},
                         std::size_t{262143}, std::size_t{262144}, std::size_t{524287}, size - 4}) {
    std::string bytes(size, '\x01');
    bytes.replace(at, 4, header);
    std::string name = dir.Write("movie.mpg", bytes);
    EXPECT_EQ(FindBytesInFile(name, header), static_cast<std::int64_t>(at)) << at;
  }
}

TEST(FindBytesInFile, AgreesWithTestingEveryPositionOnRandomFiles) {
  test::TTempDir dir;
  std::mt19937 random(11);
  for (int round = 0; round < 40; ++round) {
    std::string bytes(random() % 700000, '\0');
    for (char& c : bytes) {
      c = static_cast<char>(random() % 3);
    }
    std::string pattern(1 + random() % 12, '\0');
    for (char& c : pattern) {
      c = static_cast<char>(random() % 3);
    }
    std::string name = dir.Write("f.bin", bytes);
    ASSERT_EQ(FindBytesInFile(name, pattern), FindByTestingEveryPosition(bytes, pattern));
  }
}

TEST(FindBytesInFile, ReportsNoMatchForPartialPatternsAndUnreadableFiles) {
  test::TTempDir dir;
  const std::string header("\x00\x00\x01\xB3", 4);
  EXPECT_EQ(FindBytesInFile(dir.Write("end.bin", "abc" + header.substr(0, 3)), header), -1);
  EXPECT_EQ(FindBytesInFile(dir.Write("start.bin", header + "abc"), header), 0);
  EXPECT_EQ(FindBytesInFile(dir.Write("empty.bin", ""), header), -1);
  EXPECT_EQ(FindBytesInFile(dir.Name("missing.bin"), header), -1);
  EXPECT_EQ(FindBytesInFile(dir.Name(""), header), -1);  // a folder
}

TEST(FindBytesInFile, SearchesOnlyAsFarAsItsLimit) {
  test::TTempDir dir;
  std::string name = dir.Write("f.bin", std::string(1000, 'x') + "HIT");
  EXPECT_EQ(FindBytesInFile(name, "HIT", 1003), 1000);
  EXPECT_EQ(FindBytesInFile(name, "HIT", 1002), -1);
}

}  // namespace
}  // namespace tavelune
