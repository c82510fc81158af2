#include "app/ByteSearch.h"

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

}  // namespace
}  // namespace tavelune
