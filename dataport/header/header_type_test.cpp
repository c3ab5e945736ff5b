#include "dataport/header/header_type.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;

HeaderType decoded(const std::string& word) {
  HeaderType t;
  t.decodeHtype(word);
  return t;
}

/// The text of the Failure that decoding `word` throws, or "" when it passes.
std::string decodeError(const std::string& word) {
  HeaderType t;
  return failureOf([&] { t.decodeHtype(word); });
}

/// csize cskip psize pskip ssize sskip gcount gskip esize
using Fields = std::array<std::int32_t, 9>;

Fields fieldsOf(const HeaderType& t) {
  return {t.csize, t.cskip, t.psize, t.pskip, t.ssize, t.sskip, t.gcount, t.gskip, t.esize};
}

TEST(HeaderType, EachLengthAssignsItsFieldsInOrder) {
  struct Case {
    const char* word;
    Fields want;
  };
  const Case cases[] = {
      {"4", {0, 0, 4, 0, 0, 0, 0, 0, 4}},
      {"48", {0, 0, 4, 8, 0, 0, 0, 0, 12}},  // second character is a gap, not a size
      {"440", {0, 0, 4, 0, 4, 0, 0, 0, 8}},
      {"4440", {4, 0, 4, 0, 4, 0, 0, 0, 8}},
      {"40040", {4, 0, 0, 0, 4, 0, 0, 0, 4}},
      {"123456", {1, 2, 3, 4, 5, 6, 0, 0, 18}},
      {"40404024", {4, 0, 4, 0, 4, 0, 2, 4, 8}},
      {"1A", {0, 0, 1, 10, 0, 0, 0, 0, 11}},
      {"1a", {0, 0, 1, 10, 0, 0, 0, 0, 11}},
      {"1Z", {0, 0, 1, 35, 0, 0, 0, 0, 36}},
      {"0401040004Z1", {4, 1, 4, 0, 4, 1261, 0, 0, 1269}},
      {"040004000400021Z", {4, 0, 4, 0, 4, 0, 2, 71, 8}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fieldsOf(decoded(c.word)), c.want) << "htype " << c.word;
  }
}

TEST(HeaderType, ZeroValueEmptyAndOverlongWordsAreRejected) {
  for (const char* w : {"0", "00", "", "000000", "12345678901234567"}) {
    EXPECT_EQ(decodeError(w), "error reading htype\n") << "htype '" << w << "'";
  }
}

TEST(HeaderType, LengthsWithoutALayoutAreUnknownTypes) {
  for (const char* w : {"1234567", "123456789", "1234567890", "12345678901", "1234567890123",
                        "12345678901234", "123456789012345"}) {
    EXPECT_EQ(decodeError(w), "error reading htype(not knowen type)\n") << "htype " << w;
  }
}

TEST(HeaderType, CharactersThatAreNoDigitOrLetterAreRejected) {
  for (const char* w : {"4-0", "4.40", "44 0", "4_", "-4", "+44", " 4", "4\xC3\xA4"}) {
    EXPECT_EQ(decodeError(w), "error reading htype\n") << "htype '" << w << "'";
  }
}

TEST(HeaderType, WidthsBeyondTheirIntegersAreRejected) {
  EXPECT_EQ(decodeError("5440"), "error reading htype\n");  // csize 5
  EXPECT_EQ(decodeError("9"), "error reading htype\n");     // psize 9
  EXPECT_EQ(decodeError("490"), "error reading htype\n");   // ssize 9
  EXPECT_EQ(decodeError("000009000000"), "error reading htype\n");  // psize 9
  EXPECT_EQ(decodeError("000000000900"), "error reading htype\n");  // ssize 9
  EXPECT_EQ(decodeError("4880"), "");  // the widest accepted
  EXPECT_EQ(decodeError("8Z"), "");    // skips may be large
  EXPECT_EQ(decodeError("A"), "error reading htype\n");  // psize 10
  EXPECT_EQ(decodeError("a"), "error reading htype\n");
  EXPECT_EQ(decodeError("ZZ"), "error reading htype\n");
}

TEST(HeaderType, FailedDecodeLeavesTheFieldsAlone) {
  HeaderType t = decoded("4440");
  EXPECT_THROW(t.decodeHtype("5440"), Failure);
  EXPECT_EQ(fieldsOf(t), (Fields{4, 0, 4, 0, 4, 0, 0, 0, 8}));
}

TEST(HeaderType, DigitValueIgnoresCase) {
  EXPECT_EQ(HeaderType::digitValue('0'), 0);
  EXPECT_EQ(HeaderType::digitValue('9'), 9);
  EXPECT_EQ(HeaderType::digitValue('A'), 10);
  EXPECT_EQ(HeaderType::digitValue('z'), 35);
  EXPECT_EQ(HeaderType::digitValue('Z'), 35);
  EXPECT_EQ(HeaderType::digitValue('/'), -1);
  EXPECT_EQ(HeaderType::digitValue(':'), -1);
  EXPECT_EQ(HeaderType::digitValue('@'), -1);
  EXPECT_EQ(HeaderType::digitValue('['), -1);
  EXPECT_EQ(HeaderType::digitValue('{'), -1);
}

TEST(HeaderType, HeaderSizeCountsCompleteGroupsOnly) {
  HeaderType t = decoded("40404024");  // 4-byte count, 8-byte records, pairs followed by 4 bytes
  EXPECT_EQ(t.headerSize(0), 4);
  EXPECT_EQ(t.headerSize(1), 4 + 8);
  EXPECT_EQ(t.headerSize(2), 4 + 16 + 4);
  EXPECT_EQ(t.headerSize(3), 4 + 24 + 4);
  EXPECT_EQ(t.headerSize(4), 4 + 32 + 8);
}

TEST(HeaderType, HeaderSizeWithoutGroupsAndStoresEsize) {
  HeaderType t = decoded("40040");
  EXPECT_EQ(t.headerSize(2), 12);
  t.esize = 0;
  t.cskip = 3;
  EXPECT_EQ(t.headerSize(10), 4 + 3 + 40);
  EXPECT_EQ(t.esize, 4);
}

TEST(HeaderType, HeaderSizeIs64BitAndSaturates) {
  HeaderType t = decoded("4440");
  EXPECT_EQ(t.headerSize(int64_t{1} << 32), 4 + (int64_t{1} << 35));
  EXPECT_EQ(t.headerSize(std::numeric_limits<std::int64_t>::max()),
            std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(t.headerSize(-5), 4);  // no fewer than zero records
}

TEST(HeaderType, HeaderExtentEndsWithTheLastRecordsLastField) {
  struct Case {
    const char* word;
    std::int64_t n, extent;
  };
  const Case cases[] = {
      {"40404024", 0, 4},            // the count field alone
      {"40404024", 1, 4 + 8},        // 4 + one record
      {"40404024", 2, 4 + 16},       // no group gap after the last pair
      {"40404024", 3, 4 + 16 + 4 + 8},
      {"4448", 2, 4 + 16 + 8},       // the 8 skip bytes after the last size stay out
      {"448", 1, 4 + 4},
      {"48", 3, 2 * 12 + 4},         // positions only: ends with the position
      {"00000800081C", 13, 12 * 64 + 16},  // 64-byte records, fields at their start
  };
  for (const Case& c : cases) {
    HeaderType t = decoded(c.word);
    EXPECT_EQ(t.headerExtent(c.n), c.extent) << c.word << " " << c.n;
    EXPECT_LE(t.headerExtent(c.n), t.headerSize(c.n)) << c.word;
  }
  EXPECT_EQ(decoded("4440").headerExtent(std::numeric_limits<std::int64_t>::max()),
            std::numeric_limits<std::int64_t>::max());
}

/// Everything printHtype writes to standard output.
std::string printed(const HeaderType& t) {
  Trace trace;
  t.printHtype();
  return trace.text();
}

TEST(HeaderType, PrintHtypeWritesHexRunThenDecimalsAndLowerHex) {
  EXPECT_EQ(printed(decoded("440")), "004040\n0 0 4 0 4 0 0 0 (0 0 4 0 4 0 0 0)\n");
  EXPECT_EQ(printed(decoded("4A8C8E")), "4A8C8E\n4 10 8 12 8 14 0 0 (4 a 8 c 8 e 0 0)\n");
  EXPECT_EQ(printed(decoded("44404024")), "444040\n4 4 4 0 4 0 2 4 (4 4 4 0 4 0 2 4)\n");
  EXPECT_EQ(printed(decoded("0401040004Z1")),
            "414044ED\n4 1 4 0 4 1261 0 0 (4 1 4 0 4 4ed 0 0)\n");
}

}  // namespace
}  // namespace dataport
