#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataport/table/tbs_table.h"

namespace dataport::table {
namespace {

std::span<const std::uint8_t> bytesOf(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::int64_t find(const std::string& text, const std::string& marker) {
  return findUnescaped(bytesOf(text).data(), static_cast<std::int64_t>(text.size()),
                       bytesOf(marker), bytesOf("\\"));
}

std::string unescaped(std::string s) {
  const std::int64_t n =
      unescape(reinterpret_cast<std::uint8_t*>(s.data()), static_cast<std::int64_t>(s.size()));
  s.resize(static_cast<std::size_t>(n));
  return s;
}

TEST(FindUnescaped, OddEscapeRunCancelsMarkerEvenRunKeepsIt) {
  EXPECT_EQ(find("a\\=b=d", "="), 4);
  EXPECT_EQ(find("a\\\\=b", "="), 3);
  EXPECT_EQ(find("a\\\\\\=b=", "="), 6);
  EXPECT_EQ(find("ab\\=", "="), -1);
}

TEST(FindUnescaped, MarkerAtFirstByteCountsAndMustFit) {
  EXPECT_EQ(find("=x", "="), 0);
  EXPECT_EQ(find("\r\n", "\r\n"), 0);
  EXPECT_EQ(find("\r", "\r\n"), -1);
  EXPECT_EQ(find("", "="), -1);
  EXPECT_EQ(find("abc", ""), -1);
}

TEST(FindUnescaped, EscapesAreCountedOnlyBackToTheTextStart) {
  const std::string text = "\\\\a\\=b";
  // Seen from offset 3 the "=" has one escape before it: cancelled.
  EXPECT_EQ(findUnescaped(bytesOf(text).data() + 3, 3, bytesOf("="), bytesOf("\\")), -1);
  // Seen from offset 4 the escape lies outside the text: the marker counts.
  EXPECT_EQ(findUnescaped(bytesOf(text).data() + 4, 2, bytesOf("="), bytesOf("\\")), 0);
}

TEST(FindUnescaped, EscapedLineEndIsSkippedForTheNextOne) {
  EXPECT_EQ(find("41\\\r\n=x\r\nB=y", "\r\n"), 7);
  EXPECT_EQ(find("a=\\\\\r\nb", "\r\n"), 4);
  EXPECT_EQ(find("a\rb\nc\r\n", "\r\n"), 5);
}

TEST(FindUnescaped, MultiByteEscapeIsCountedInWholeSteps) {
  const std::string text = "a##=b";
  EXPECT_EQ(findUnescaped(bytesOf(text).data(), 5, bytesOf("="), bytesOf("##")), -1);
  const std::string text2 = "a###=b";
  EXPECT_EQ(findUnescaped(bytesOf(text2).data(), 6, bytesOf("="), bytesOf("##")), -1);
  const std::string text3 = "a####=b";
  EXPECT_EQ(findUnescaped(bytesOf(text3).data(), 7, bytesOf("="), bytesOf("##")), 5);
}

TEST(Unescape, MarkersAfterAnEscapeStandForThemselves) {
  EXPECT_EQ(unescaped("a\\\\b"), "a\\b");
  EXPECT_EQ(unescaped("a\\=b"), "a=b");
  EXPECT_EQ(unescaped("41\\\r\n"), "41\r\n");
  EXPECT_EQ(unescaped("\\\\\\="), "\\=");
}

TEST(Unescape, HexEscapeGivesOneByteFirstDigitHigh) {
  EXPECT_EQ(unescaped("\\x41"), "A");
  EXPECT_EQ(unescaped("\\x81\\x40"), "\x81\x40");
  EXPECT_EQ(unescaped("\\xfF\\x00z"), std::string("\xff\0z", 3));
  EXPECT_EQ(unescaped("\\x0D\\x0A"), "\r\n");
  EXPECT_EQ(unescaped("\\x5C\\x3D"), "\\=");
}

TEST(Unescape, BrokenHexEscapeStaysAndItsTwoBytesAreNotExamined) {
  EXPECT_EQ(unescaped("\\x4g"), "\\x4g");
  EXPECT_EQ(unescaped("\\x\\="), "\\x\\=");
  EXPECT_EQ(unescaped("\\x\\=\\="), "\\x\\==");
  EXPECT_EQ(unescaped("a\\x4"), "a\\x4");
  EXPECT_EQ(unescaped("\\x"), "\\x");
}

TEST(Unescape, OtherBytesAndATrailingEscapeStay) {
  EXPECT_EQ(unescaped("\\q\\n"), "\\q\\n");
  EXPECT_EQ(unescaped("ab\\"), "ab\\");
  EXPECT_EQ(unescaped("\\\r"), "\\\r");
  EXPECT_EQ(unescaped("\\\rx"), "\\\rx");
  EXPECT_EQ(unescaped(""), "");
}

TEST(Unescape, LongRunOfEscapesHalves) {
  EXPECT_EQ(unescaped(std::string(200000, '\\')), std::string(100000, '\\'));
}

}  // namespace
}  // namespace dataport::table
