#include "dataport/io/byte_search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace dataport::io {
namespace {

// Offset of the first occurrence, or -1.
std::int64_t find(const std::string& range, const std::string& pattern) {
  const auto* r = reinterpret_cast<const std::uint8_t*>(range.data());
  const auto* hit = findBytes(r, static_cast<std::int64_t>(range.size()),
                              reinterpret_cast<const std::uint8_t*>(pattern.data()),
                              static_cast<std::int64_t>(pattern.size()));
  return hit == nullptr ? -1 : hit - r;
}

TEST(FindBytes, FindsFirstOfSeveralOccurrences) {
  EXPECT_EQ(find("xxabcxxabc", "abc"), 2);
  EXPECT_EQ(find("abc", "abc"), 0);
  EXPECT_EQ(find("xyz", "abc"), -1);
}

TEST(FindBytes, FindsOverlappingOccurrenceAfterFailedCandidate) {
  EXPECT_EQ(find("aaab", "aab"), 1);
  EXPECT_EQ(find("abababc", "ababc"), 2);
}

TEST(FindBytes, PatternEndingAtRangeEndIsFoundOnePastIsNot) {
  const std::string data = "0123456789";
  EXPECT_EQ(find(data, "789"), 7);
  // The same bytes, but the range stops one byte short of the pattern's end.
  const auto* r = reinterpret_cast<const std::uint8_t*>(data.data());
  EXPECT_EQ(findBytes(r, 9, reinterpret_cast<const std::uint8_t*>("789"), 3), nullptr);
  EXPECT_EQ(findBytes(r, 9, reinterpret_cast<const std::uint8_t*>("678"), 3), r + 6);
}

TEST(FindBytes, FirstByteNearEndWithoutRoomIsNoMatch) {
  // The first byte occurs where the pattern can no longer fit.
  EXPECT_EQ(find("xxxxa", "ab"), -1);
  EXPECT_EQ(find("xxxab", "ab"), 3);
}

TEST(FindBytes, EmptyOrShortInputsYieldNothingWithoutReading) {
  // nullptr pointers prove nothing is read: the sanitizers would catch it.
  EXPECT_EQ(findBytes(nullptr, 0, reinterpret_cast<const std::uint8_t*>("a"), 1), nullptr);
  EXPECT_EQ(findBytes(reinterpret_cast<const std::uint8_t*>("a"), 1, nullptr, 0), nullptr);
  EXPECT_EQ(findBytes(nullptr, -5, nullptr, 1), nullptr);
  EXPECT_EQ(findBytes(reinterpret_cast<const std::uint8_t*>("ab"), 2, nullptr, -1), nullptr);
  EXPECT_EQ(find("ab", "abc"), -1);
}

TEST(FindBytes, RangeShorterThanPatternReadsNoByte) {
  // A range of one byte that sits at the end of a heap block: a read past
  // it would be caught by the address sanitizer.
  auto* one = new std::uint8_t[1]{'a'};
  EXPECT_EQ(findBytes(one, 1, reinterpret_cast<const std::uint8_t*>("ab"), 2), nullptr);
  delete[] one;
}

TEST(FindBytes, NulBytesAreOrdinary) {
  const std::string range("ab\0\0cd\0e", 8);
  EXPECT_EQ(find(range, std::string("\0e", 2)), 6);
  EXPECT_EQ(find(range, std::string("\0\0c", 3)), 2);
  EXPECT_EQ(find(range, std::string("\0", 1)), 2);
  EXPECT_EQ(find(std::string("abc"), std::string("b\0", 2)), -1);
}

TEST(FindBytes, OneBytePatternIsPlainScan) {
  EXPECT_EQ(find("hello", "l"), 2);
  EXPECT_EQ(find("hello", "o"), 4);
  EXPECT_EQ(find("hello", "z"), -1);
}

TEST(FindBytes, SeparatorInLargeWindow) {
  std::string window(1 << 20, '*');
  const std::string sep = "\r\n******xEnDx******\r\n";
  window.replace(700000, sep.size(), sep);
  EXPECT_EQ(find(window, sep), 700000);
  window.replace(700000, 1, "x");
  EXPECT_EQ(find(window, sep), -1);
}

}  // namespace
}  // namespace dataport::io
