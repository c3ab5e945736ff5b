#include "dataport/table/tbs_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace dataport::table {
namespace {

std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::string str(const std::uint8_t* p, std::int32_t n) {
  return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
}

// Parses a table given as text; returns what went to standard error.
std::string parse(TbsTable& t, const std::string& text) {
  testing::internal::CaptureStderr();
  const bool ok = t.parseTable(bytes(text));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(ok);
  return err;
}

std::string convert(const TbsTable& t, int direction, const std::string& in) {
  std::vector<std::uint8_t> out;
  const auto input = bytes(in);
  EXPECT_EQ(t.convertBlock(direction, input, true, out), static_cast<std::int64_t>(in.size()));
  return {out.begin(), out.end()};
}

TEST(TbsTableParse, LongerKeyWinsInBothDirections) {
  TbsTable t;
  parse(t, "A=a\r\nBB=b\r\nB=c");
  EXPECT_EQ(t.entryCount(), 3);
  EXPECT_EQ(convert(t, 0, "BBB"), "bc");
  EXPECT_EQ(convert(t, 0, "AX"), "aX");
  EXPECT_EQ(convert(t, 1, "ab"), "ABB");
  EXPECT_EQ(convert(t, 7, "cab"), "BABB");
}

TEST(TbsTableParse, HexEscapedTwoByteKey) {
  TbsTable t;
  parse(t, "\\x81\\x40=  \r\n");
  ASSERT_EQ(t.forward().size(), 1u);
  EXPECT_EQ(str(t.forward()[0].key, t.forward()[0].keyLen), "\x81\x40");
  EXPECT_EQ(convert(t, 0, "a\x81\x40\x81"), "a  \x81");
}

TEST(TbsTableParse, EscapedLineEndJoinsLines) {
  TbsTable t;
  parse(t, "41\\\r\n=x\r\nq=r");
  ASSERT_EQ(t.entryCount(), 2);
  EXPECT_EQ(convert(t, 0, "41\r\n41q"), "x41r");
  EXPECT_EQ(convert(t, 1, "x"), "41\r\n");
}

TEST(TbsTableParse, EscapedAssignmentBelongsToTheLeftSide) {
  TbsTable t;
  parse(t, "a\\=b=d");
  ASSERT_EQ(t.forward().size(), 1u);
  EXPECT_EQ(str(t.forward()[0].key, t.forward()[0].keyLen), "a=b");
  EXPECT_EQ(str(t.forward()[0].value, t.forward()[0].valueLen), "d");
  EXPECT_EQ(convert(t, 1, "dd"), "a=ba=b");
}

TEST(TbsTableParse, FurtherAssignmentsBelongToTheRightSideAndSpacesCount) {
  TbsTable t;
  parse(t, " k =v=w \r\n");
  ASSERT_EQ(t.forward().size(), 1u);
  EXPECT_EQ(str(t.forward()[0].key, t.forward()[0].keyLen), " k ");
  EXPECT_EQ(str(t.forward()[0].value, t.forward()[0].valueLen), "v=w ");
}

// The number printed is the count of entries accepted before the line.
TEST(TbsTableParse, LineStartingWithAssignmentIsReportedAndSkipped) {
  TbsTable t;
  const std::string err = parse(t, "a=1\r\n\r\nb=2\r\n=3\r\nc=4\r\n=5");
  EXPECT_EQ(err,
            "Line 2 :must not start with assign string, skipping this line\n"
            "Line 3 :must not start with assign string, skipping this line\n");
  EXPECT_EQ(t.entryCount(), 3);
  EXPECT_EQ(convert(t, 0, "abc3"), "1243");
}

TEST(TbsTableParse, LineStartingWithEscapedAssignmentIsAnEntry) {
  TbsTable t;
  EXPECT_EQ(parse(t, "\\==eq"), "");
  EXPECT_EQ(convert(t, 0, "a=b"), "aeqb");
}

TEST(TbsTableParse, CommentLinesAndEmptyTablePassBytesUnchanged) {
  TbsTable t;
  EXPECT_EQ(parse(t, "\r\njust text\r\n\r\nno assignment \\= here\r\n"), "");
  EXPECT_TRUE(t.loaded());
  EXPECT_EQ(t.entryCount(), 0);
  const std::string all = [] {
    std::string s;
    for (int b = 0; b < 256; ++b) s.push_back(static_cast<char>(b));
    return s;
  }();
  EXPECT_EQ(convert(t, 0, all), all);
  EXPECT_EQ(convert(t, 1, all), all);
}

TEST(TbsTableParse, EmptyTextLoadsAsEmptyTable) {
  TbsTable t;
  parse(t, "");
  EXPECT_TRUE(t.loaded());
  EXPECT_EQ(t.entryCount(), 0);
  EXPECT_EQ(convert(t, 0, "xyz"), "xyz");
}

TEST(TbsTableParse, EmptyRightSideDeletesLeftToRight) {
  TbsTable t;
  parse(t, "A=\r\nB=b");
  EXPECT_EQ(convert(t, 0, "AAAA"), "");
  EXPECT_EQ(convert(t, 0, "xAByA"), "xby");
}

// A reverse entry with an empty key must neither match nor stall.
TEST(TbsTableParse, EmptyRightSideNeverMatchesRightToLeft) {
  TbsTable t;
  parse(t, "A=\r\nB=b");
  ASSERT_EQ(t.reverse().size(), 2u);
  EXPECT_EQ(convert(t, 1, "xyz"), "xyz");
  EXPECT_EQ(convert(t, 1, "bxb"), "BxB");
  std::vector<std::uint8_t> out;
  const auto in = bytes("q");
  EXPECT_EQ(t.convertBlock(1, in, false, out), 1);
  EXPECT_EQ(std::string(out.begin(), out.end()), "q");
}

TEST(TbsTableParse, LastLineWithoutLineEndLoads) {
  TbsTable t;
  parse(t, "a=1\r\nb=2");
  EXPECT_EQ(convert(t, 0, "ab"), "12");
}

TEST(TbsTableParse, LoneCrOrLfIsAnOrdinaryByte) {
  TbsTable t;
  parse(t, "a\n=1\rb\r\n");
  ASSERT_EQ(t.entryCount(), 1);
  EXPECT_EQ(convert(t, 0, "a\na"), "1\rba");
}

TEST(TbsTableParse, TwoByteKeysLeaveThreeUnmatchedBytes) {
  TbsTable t;
  parse(t, "ab=1\r\ncd=2");
  EXPECT_EQ(convert(t, 0, "xyz"), "xyz");
  EXPECT_EQ(convert(t, 0, "abc"), "1c");
}

// Equal keys: the first line of the file wins, in both directions.
TEST(TbsTableParse, FirstLineWinsAmongEqualKeys) {
  TbsTable t;
  parse(t, "A=x\r\nB=x\r\nA=y\r\nC=x");
  EXPECT_EQ(convert(t, 0, "A"), "x");
  EXPECT_EQ(convert(t, 1, "xyx"), "AAA");
  TbsTable u;
  parse(u, "B=x\r\nA=x");
  EXPECT_EQ(convert(u, 1, "x"), "B");
}

TEST(TbsTableParse, ListsAreSortedLongestKeyFirstAndMirrored) {
  TbsTable t;
  parse(t, "a=12345\r\nabc=1\r\nab=123");
  ASSERT_EQ(t.forward().size(), 3u);
  EXPECT_EQ(t.forward()[0].keyLen, 3);
  EXPECT_EQ(t.forward()[1].keyLen, 2);
  EXPECT_EQ(t.forward()[2].keyLen, 1);
  EXPECT_EQ(t.reverse()[0].keyLen, 5);
  EXPECT_EQ(str(t.reverse()[0].value, t.reverse()[0].valueLen), "a");
  EXPECT_EQ(t.reverse()[2].keyLen, 1);
}

TEST(TbsTableParse, ReleaseEmptiesAndIsHarmlessTwice) {
  TbsTable t;
  parse(t, "A=a");
  t.releaseTable();
  t.releaseTable();
  EXPECT_FALSE(t.loaded());
  EXPECT_EQ(t.entryCount(), 0);
  EXPECT_TRUE(t.forward().empty());
  EXPECT_EQ(convert(t, 0, "A"), "A");
}

TEST(TbsTableParse, ParsingAgainReplacesTheTable) {
  TbsTable t;
  parse(t, "A=a");
  parse(t, "B=b");
  EXPECT_EQ(t.entryCount(), 1);
  EXPECT_EQ(convert(t, 0, "AB"), "Ab");
}

TEST(TbsTableConvert, HoldsBackOnlyBytesThatCouldStartALongerMatch) {
  TbsTable t;
  parse(t, "A=1\r\nABC=2");
  std::vector<std::uint8_t> out;
  auto in = bytes("xAB");
  EXPECT_EQ(t.convertBlock(0, in, false, out), 1);
  EXPECT_EQ(std::string(out.begin(), out.end()), "x");
  out.clear();
  in = bytes("xAZ");
  EXPECT_EQ(t.convertBlock(0, in, false, out), 3);
  EXPECT_EQ(std::string(out.begin(), out.end()), "x1Z");
  out.clear();
  in = bytes("ABC");
  EXPECT_EQ(t.convertBlock(0, in, false, out), 3);
  EXPECT_EQ(std::string(out.begin(), out.end()), "2");
  out.clear();
  in = bytes("AB");
  EXPECT_EQ(t.convertBlock(0, in, true, out), 2);
  EXPECT_EQ(std::string(out.begin(), out.end()), "1B");
}

TEST(TbsTableConvert, AppendsToWhatTheOutputHolds) {
  TbsTable t;
  parse(t, "A=bcd");
  std::vector<std::uint8_t> out = bytes("<");
  const auto in = bytes("AAxA");
  EXPECT_EQ(t.convertBlock(0, in, true, out), 4);
  EXPECT_EQ(std::string(out.begin(), out.end()), "<bcdbcdxbcd");
}

TEST(TbsTableConvert, LargeExpansionGrowsTheOutput) {
  TbsTable t;
  parse(t, "a=" + std::string(5000, 'z'));
  EXPECT_EQ(convert(t, 0, std::string(300, 'a')), std::string(300 * 5000, 'z'));
  EXPECT_EQ(convert(t, 1, std::string(10001, 'z')), "aaz");
}

// Conversion through the index against the plain algorithm: try the list
// entries in order (longest key first, equal keys in file order), first hit
// wins, empty keys skipped.
std::string plainConvert(const std::vector<TableEntry>& list, const std::string& in) {
  std::string out;
  std::size_t p = 0;
  while (p < in.size()) {
    const TableEntry* win = nullptr;
    for (const TableEntry& e : list) {
      const auto k = static_cast<std::size_t>(e.keyLen);
      if (k == 0 || k > in.size() - p) continue;
      if (in.compare(p, k, str(e.key, e.keyLen)) == 0) {
        win = &e;
        break;
      }
    }
    if (win) {
      out += str(win->value, win->valueLen);
      p += static_cast<std::size_t>(win->keyLen);
    } else {
      out += in[p++];
    }
  }
  return out;
}

std::string randomText(std::mt19937& rng, std::size_t n, const std::string& alphabet) {
  std::string s(n, '\0');
  for (char& c : s) c = alphabet[rng() % alphabet.size()];
  return s;
}

// Piecewise conversion with final=false gives the bytes of converting
// everything at once, wherever the pieces end.
std::string convertInPieces(const TbsTable& t, int direction, const std::string& in,
                            std::mt19937& rng) {
  const auto& list = direction == 0 ? t.forward() : t.reverse();
  const std::size_t longest = list.empty() ? 0 : static_cast<std::size_t>(list[0].keyLen);
  std::vector<std::uint8_t> out;
  std::string pending;
  std::size_t p = 0;
  while (p < in.size()) {
    const std::size_t piece = 1 + rng() % 7;
    pending += in.substr(p, piece);
    p += piece;
    const bool final = p >= in.size();
    const auto block = bytes(pending);
    const std::int64_t used = t.convertBlock(direction, block, final, out);
    EXPECT_GE(used, 0);
    pending.erase(0, static_cast<std::size_t>(used));
    EXPECT_LT(pending.size(), std::max<std::size_t>(longest, 1));  // only a key's start waits
  }
  EXPECT_TRUE(pending.empty());
  return {out.begin(), out.end()};
}

TEST(TbsTableConvert, AgreesWithPlainAlgorithmAndIgnoresPieceEnds) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    std::string tbl;
    const int lines = 1 + static_cast<int>(rng() % 12);
    for (int i = 0; i < lines; ++i) {
      tbl += randomText(rng, 1 + rng() % 4, "abc") + "=" + randomText(rng, rng() % 4, "abcd");
      tbl += "\r\n";
    }
    TbsTable t;
    parse(t, tbl);
    for (int direction = 0; direction < 2; ++direction) {
      const std::string in = randomText(rng, rng() % 60, "abcde");
      const auto& list = direction == 0 ? t.forward() : t.reverse();
      const std::string want = plainConvert(list, in);
      ASSERT_EQ(convert(t, direction, in), want) << tbl << " / " << in;
      ASSERT_EQ(convertInPieces(t, direction, in, rng), want) << tbl << " / " << in;
    }
  }
}

// A table shaped like a real double-byte code page: lead bytes with dense
// nodes of two-byte keys, a lead byte that is also a key of its own, a few
// three-byte keys below a dense node, single-byte keys, and values of every
// length class (empty, short, 15 and more than 16 bytes).
TEST(TbsTableConvert, CodePageShapedTableAgreesWithPlainAlgorithm) {
  std::mt19937 rng(21);
  auto hex = [](int b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", b);
    return std::string(buf);
  };
  auto value = [&](std::size_t len) {
    std::string v;
    for (std::size_t i = 0; i < len; ++i) v += hex(static_cast<int>(rng() % 256));
    return v;
  };
  const std::size_t lens[] = {0, 1, 2, 3, 3, 3, 4, 15, 17, 40};
  std::string tbl;
  for (int lead = 0x81; lead <= 0x88; ++lead) {
    for (int trail = 0x40; trail < 0x40 + 60; ++trail) {
      if (rng() % 5 == 0) continue;
      tbl += hex(lead) + hex(trail) + "=" + value(lens[rng() % 10]) + "\r\n";
    }
  }
  tbl += hex(0x83) + "=" + value(2) + "\r\n";                              // lead that is a key
  tbl += hex(0x84) + hex(0x41) + hex(0x30) + "=" + value(5) + "\r\n";      // below a dense node
  tbl += hex(0x85) + hex(0x20) + "=" + value(3) + "\r\n";
  for (int b = 0xA1; b < 0xB0; ++b) tbl += hex(b) + "=" + value(lens[rng() % 10]) + "\r\n";
  TbsTable t;
  parse(t, tbl);
  ASSERT_GT(t.entryCount(), 380);
  for (int round = 0; round < 200; ++round) {
    std::string in(rng() % 400, '\0');
    for (char& c : in) {
      const unsigned r = rng() % 10;
      c = static_cast<char>(r < 3 ? 0x81 + rng() % 9 : r < 6 ? 0x40 + rng() % 64 : r < 8 ? 0xA0 + rng() % 20 : rng() % 256);
    }
    for (int direction = 0; direction < 2; ++direction) {
      const auto& list = direction == 0 ? t.forward() : t.reverse();
      const std::string want = plainConvert(list, in);
      ASSERT_EQ(convert(t, direction, in), want) << round;
      ASSERT_EQ(convertInPieces(t, direction, in, rng), want) << round;
    }
  }
}

// Random bytes, rich in markers, must parse without reading outside the text
// (the sanitizer build checks) into consistent lists that convert.
TEST(TbsTableParse, RandomBytesParseIntoConsistentTable) {
  std::mt19937 rng(5);
  const std::string rich = "\\\\\\==\r\n\r\nx0aF9g";
  for (int round = 0; round < 3000; ++round) {
    std::string text(rng() % 200, '\0');
    for (char& c : text)
      c = rng() % 2 ? rich[rng() % rich.size()] : static_cast<char>(rng() % 256);
    TbsTable t;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(t.parseTable(bytes(text)));
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(t.forward().size(), static_cast<std::size_t>(t.entryCount()));
    ASSERT_EQ(t.reverse().size(), t.forward().size());
    for (std::size_t i = 0; i < t.forward().size(); ++i) {
      const TableEntry& e = t.forward()[i];
      ASSERT_GE(e.keyLen, 1);
      ASSERT_GE(e.valueLen, 0);
      ASSERT_LE(e.keyLen + e.valueLen + 1, static_cast<std::int32_t>(text.size()));
      if (i > 0) {
        ASSERT_LE(e.keyLen, t.forward()[i - 1].keyLen);
      }
    }
    const std::string in = randomText(rng, 50, rich + "ab");
    for (int direction = 0; direction < 2; ++direction) {
      const auto& list = direction == 0 ? t.forward() : t.reverse();
      ASSERT_EQ(convert(t, direction, in), plainConvert(list, in));
    }
  }
}

}  // namespace
}  // namespace dataport::table
