// The hex-key table: its line forms, conversion both ways, and conversion
// of a file range in pieces.

#include "dataport/table/hex_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "dataport/io/file_helpers.h"

namespace dataport::table {
namespace {

std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

/// Parses `text` as table "t.tbl"; stderr (the notices) goes to `notices`.
bool parse(HexTable& t, const std::string& text, std::string& error,
           std::string* notices = nullptr) {
  testing::internal::CaptureStderr();
  const bool ok = t.parse("t.tbl", bytes(text), error);
  const std::string err = testing::internal::GetCapturedStderr();
  if (notices) *notices = err;
  return ok;
}

std::string exportAll(const HexTable& t, const std::string& in) {
  std::vector<std::uint8_t> out;
  bool unmatched = false;
  EXPECT_EQ(t.convert(0, bytes(in), true, out, unmatched), static_cast<std::int64_t>(in.size()));
  EXPECT_FALSE(unmatched);
  return {out.begin(), out.end()};
}

const char kTable[] =
    "\xEF\xBB\xBF# a table\r\n"
    "41=A\r\n"
    "4142=AB\n"
    "8140=\xE3\x80\x80\n"
    "8141=x y \n"
    "/00=<end>\\n\n"
    "$F0=<ctl>,2\n"
    "$F1=<c=,>,0\n"
    "/<page>\n"
    "42=A\n"
    "43=B\n"
    "43=C\n"
    "\n";

TEST(HexTableExport, LongestKeyWinsAndUnmatchedBytesBecomeTokens) {
  HexTable t;
  std::string error;
  ASSERT_TRUE(parse(t, kTable, error)) << error;
  EXPECT_EQ(t.entryCount(), 11);
  struct Case {
    std::string in, out;
  } cases[] = {
      {"AB", "AB"},
      {"AAB", "AAB"},
      {"\x81\x40\x81\x41", "\xE3\x80\x80x y "},
      {"\x81\x7F", "<$81><$7F>"},  // 81 starts keys, but none matches
      {std::string("\x00", 1), "<end>\r\n"},
      {"\xF0\x01\xFF" "A", "<ctl><$01><$FF>A"},
      {"\xF0\x01", "<ctl><$01>"},  // parameters cut short by the end
      {"\xF1" "C", "<c=,>B"},       // first of equal keys wins
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(exportAll(t, c.in), c.out) << c.in;
}

TEST(HexTableImport, LongestTextWinsLineEndsDropAndTokensGiveBytes) {
  HexTable t;
  std::string error;
  ASSERT_TRUE(parse(t, kTable, error)) << error;
  struct Case {
    std::string in, out;
  } cases[] = {
      {"AB", "\x41\x42"},
      {"A", "\x41"},                       // "42=A" comes after "41=A"
      {"A\r\nB", "\x41\x42"},               // a line end inside a text
      {"A\nB\r\n", "\x41\x42"},
      {"<end>\r\n", std::string("\x00", 1)},
      {"<ctl><$01><$ff>", "\xF0\x01\xFF"},
      {"<$aB><$Ab>", "\xAB\xAB"},
      {"<page>x y ", "\x81\x41"},
      {"C", "\x43"},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> out;
    std::string rest;
    EXPECT_TRUE(t.toBytes(bytes(c.in), out, rest)) << c.in << " rest " << rest;
    EXPECT_EQ(std::string(out.begin(), out.end()), c.out) << c.in;
  }
}

TEST(HexTableImport, UnmatchedTextReportsItsFirstTwentyBytes) {
  HexTable t;
  std::string error;
  ASSERT_TRUE(parse(t, kTable, error)) << error;
  struct Case {
    std::string in, rest;
  } cases[] = {
      {"ABz", "z"},
      {"A\rB", "\rB"},  // a lone CR is text
      {"<$4G>", "<$4G>"},
      {"AB0123456789abcdefghijklm", "0123456789abcdefghij"},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> out;
    std::string rest;
    EXPECT_FALSE(t.toBytes(bytes(c.in), out, rest)) << c.in;
    EXPECT_EQ(rest, c.rest) << c.in;
  }
}

TEST(HexTableParse, BadLinesNameFileLineAndText) {
  const char* bad[] = {"4=A", "4G=A", "=A", "41", "$41=x", "$41=x,y", "$41=x,", "!4=x",
                       " 41=A", "$4=x,1"};
  for (const char* line : bad) {
    HexTable t;
    std::string error;
    EXPECT_FALSE(parse(t, std::string("# c\n41=A\r\n") + line + "\r\n42=B\n", error)) << line;
    EXPECT_EQ(error, std::string("t.tbl: line 3: ") + line + "\n");
  }
}

TEST(HexTableParse, IgnoredAndUnmatchableLinesGiveNotices) {
  HexTable t;
  std::string error, notices;
  ASSERT_TRUE(parse(t, "@main\n!80=other\n0D0A=\\n\n41=\n42=B\n", error, &notices)) << error;
  EXPECT_EQ(notices,
            "t.tbl: line 1: notice: table name ignored: @main\n"
            "t.tbl: line 2: notice: table switch ignored: !80=other\n"
            "t.tbl: line 3: notice: no text that import could match: 0D0A=\\n\n"
            "t.tbl: line 4: notice: no text that import could match: 41=\n");
  EXPECT_EQ(exportAll(t, "\r\nAB"), "\r\nB");
}

TEST(HexTablePieces, ConversionInPiecesEqualsWholeConversion) {
  HexTable t;
  std::string error;
  ASSERT_TRUE(parse(t, kTable, error)) << error;
  std::mt19937 rng(13);
  const std::string alphabet[] = {"A", "B", "C", "x y ", "\xE3\x80\x80", "<end>\r\n", "<ctl>",
                                  "<$0F>", "\r\n", "\n", "<page>"};
  const std::string exportAlphabet[] = {"A", "B", "\x81\x40", "\x81", std::string("\x00", 1),
                                        "\xF0", "\xF1", "\x7F"};
  for (int direction = 0; direction < 2; ++direction) {
    std::string in;
    for (int i = 0; i < 3000; ++i) {
      in += direction == 0 ? exportAlphabet[rng() % std::size(exportAlphabet)]
                           : alphabet[rng() % std::size(alphabet)];
    }
    // Line ends are dropped before conversion in direction 1.
    std::vector<std::uint8_t> plain = bytes(in);
    bool held = false;
    if (direction == 1) {
      plain.resize(static_cast<std::size_t>(dropLineEnds(
          plain.data(), static_cast<std::int64_t>(plain.size()), plain.data(), false, held)));
    }
    std::vector<std::uint8_t> whole, pieces;
    bool unmatched = false;
    ASSERT_EQ(t.convert(direction, plain, true, whole, unmatched),
              static_cast<std::int64_t>(plain.size()));
    std::size_t at = 0;
    std::vector<std::uint8_t> pending;
    while (at < plain.size() || !pending.empty()) {
      const std::size_t take = std::min<std::size_t>(rng() % 7, plain.size() - at);
      pending.insert(pending.end(), plain.begin() + at, plain.begin() + at + take);
      at += take;
      const bool final = at == plain.size();
      const std::int64_t used = t.convert(direction, pending, final, pieces, unmatched);
      ASSERT_FALSE(unmatched);
      pending.erase(pending.begin(), pending.begin() + used);
      if (final) {
        ASSERT_TRUE(pending.empty());
      }
    }
    EXPECT_EQ(pieces, whole) << "direction " << direction;
  }
}

TEST(HexTableLineEnds, DropLineEndsKeepsLoneCrAndHoldsTrailingCr) {
  struct Case {
    std::string in, out;
    bool hold, held;
  } cases[] = {
      {"a\r\nb\nc\rd", "abc\rd", false, false},
      {"\n\n\r\n", "", false, false},
      {"ab\r", "ab\r", false, false},
      {"ab\r", "ab", true, true},
      {"ab\r\n", "ab", true, false},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> buf = bytes(c.in);
    bool held = false;
    const std::int64_t n =
        dropLineEnds(buf.data(), static_cast<std::int64_t>(buf.size()), buf.data(), c.hold, held);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + n), c.out);
    EXPECT_EQ(held, c.held);
  }
}

/// A text range larger than one work area, with a CR LF standing across the
/// area's end: streamed to a file it gives the bytes of converting at once,
/// and prepare() finds a text without an entry before anything is written.
TEST(HexTableRange, StreamedRangeEqualsWholeConversionAndPrepareFindsErrors) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("hex_range_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  HexTable t;
  std::string error;
  ASSERT_TRUE(parse(t, kTable, error)) << error;
  std::string text = "<page>";
  while (text.size() < io::kWorkArea - 1) text += "AB";
  text.resize(io::kWorkArea - 1);
  text += "\r\nx y <ctl><$01><$02>";
  const std::string in = (dir / "in.txt").string();
  std::ofstream(in, std::ios::binary) << "pre" << text;

  std::vector<std::uint8_t> expect;
  std::string rest;
  ASSERT_TRUE(t.toBytes(bytes(text), expect, rest)) << rest;
  const auto count = static_cast<std::int64_t>(text.size());
  for (bool prepared : {false, true}) {
    io::Disk disk;
    if (prepared) {
      ASSERT_TRUE(t.prepare(disk, in, 3, count, 1, rest)) << rest;
    }
    std::int64_t written = 0;
    const std::string out = (dir / "out.bin").string();
    EXPECT_EQ(t.convertRange(disk, in, out, 3, 0, count, "wb", 1, written), count);
    std::string failed;
    ASSERT_TRUE(disk.closeAll(&failed));
    std::ifstream f(out, std::ios::binary);
    const std::string got{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    EXPECT_EQ(got, std::string(expect.begin(), expect.end())) << "prepared " << prepared;
    EXPECT_EQ(written, static_cast<std::int64_t>(expect.size()));
  }

  std::ofstream(in, std::ios::binary) << text << "??";
  io::Disk disk;
  EXPECT_FALSE(t.prepare(disk, in, 0, count + 2, 1, rest));
  EXPECT_EQ(rest, "??");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace dataport::table
