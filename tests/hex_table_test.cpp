// End-to-end runs with hex-key tables ("-tx"): a Shift-JIS table of every
// double-byte character, made here with the C library's iconv, plus end
// tokens, control codes and bytes without an entry; split, edit, import,
// join and the DFile modes, and the refusals.

#include <iconv.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace {

using e2e::Bytes;
using e2e::le;
using e2e::RunResult;
using e2e::Scratch;

/// One character converted by iconv, or "" when it has no mapping.
Bytes convertOne(iconv_t cd, const Bytes& in) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  Bytes src = in;
  char out[16];
  char* ip = src.data();
  char* op = out;
  std::size_t inLeft = src.size(), outLeft = sizeof out;
  if (iconv(cd, &ip, &inLeft, &op, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
    return "";
  }
  return Bytes(out, op);
}

struct SjisTable {
  Bytes text;                      ///< the table file
  std::vector<Bytes> characters;   ///< every mapped double-byte character
};

/// Every double-byte Shift-JIS character with its UTF-8 text, printable
/// ASCII but "<" and "\" (the table's own marks), an end token and two
/// control codes.
SjisTable makeSjisTable() {
  SjisTable t;
  iconv_t cd = iconv_open("UTF-8", "SHIFT_JIS");
  if (cd == reinterpret_cast<iconv_t>(-1)) return t;
  t.text = "\xEF\xBB\xBF# Shift-JIS, made with iconv\r\n@sjis\r\n";
  for (int b = 0x20; b < 0x7F; ++b) {
    if (b == '<' || b == '\\') continue;
    static const char kHex[] = "0123456789ABCDEF";
    t.text += Bytes{kHex[b >> 4], kHex[b & 15], '=', static_cast<char>(b)} + "\r\n";
  }
  for (int lead = 0x81; lead <= 0xEF; ++lead) {
    if (lead >= 0xA0 && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const Bytes c{static_cast<char>(lead), static_cast<char>(trail)};
      const Bytes u = convertOne(cd, c);
      if (u.empty()) continue;
      char hex[8];
      std::snprintf(hex, sizeof hex, "%02X%02X", lead, trail);
      t.text += Bytes(hex) + "=" + u + "\n";
      t.characters.push_back(c);
    }
  }
  iconv_close(cd);
  t.text += "/00=<end>\\n\n$F0=<color>,1\n$F1=<wait>,2\n";
  return t;
}

/// A data file with a 4440 header and the elements back to back.
Bytes counted(const std::vector<Bytes>& elements) {
  Bytes head = le(elements.size(), 4), body;
  const std::uint64_t start = 4 + 8 * elements.size();
  for (const Bytes& e : elements) {
    head += le(start + body.size(), 4) + le(e.size(), 4);
    body += e;
  }
  return head + body;
}

class HexTableRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { table_ = new SjisTable(makeSjisTable()); }
  static void TearDownTestSuite() { delete table_; }

  void SetUp() override {
    ASSERT_GT(table_->characters.size(), 6800u) << "iconv gave too few characters";
    s.write("sjis.tbl", table_->text);
  }

  /// Random game text: characters, ASCII, control codes with parameters,
  /// bytes without an entry, an end token at the end.
  Bytes element(std::mt19937& rng, int chars) {
    Bytes e;
    for (int i = 0; i < chars; ++i) {
      switch (rng() % 8) {
        case 0: e += static_cast<char>('a' + rng() % 26); break;
        case 1: e += Bytes("\xF0") + static_cast<char>(rng() % 256); break;
        case 2: e += Bytes("\xF1") + static_cast<char>(rng() % 256) + "\x00"; break;
        case 3: e += static_cast<char>(0xF2 + rng() % 14); break;  // no entry
        default: e += table_->characters[rng() % table_->characters.size()];
      }
    }
    return e + Bytes(1, '\0');
  }

  RunResult ok(const std::vector<std::string>& args) {
    RunResult r = s.dataport(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r;
  }

  static SjisTable* table_;
  Scratch s;
};

SjisTable* HexTableRun::table_ = nullptr;

TEST_F(HexTableRun, UneditedSplitAndImportGiveTheDataFileBackByteForByte) {
  std::mt19937 rng(7);
  std::vector<Bytes> elements;
  for (int i = 0; i < 40; ++i) elements.push_back(element(rng, 50 + static_cast<int>(rng() % 400)));
  // Every character of the table once, in one long element.
  Bytes all;
  for (const Bytes& c : table_->characters) all += c;
  elements.push_back(all + Bytes(1, '\0'));
  const Bytes data = counted(elements);
  s.write("data.bin", data);

  ok({"4440", "data.bin", "text.txt", "-tx", "sjis.tbl"});
  const Bytes text = s.read("text.txt");
  EXPECT_NE(text.find("\xE3\x80\x80"), Bytes::npos);   // 8140, the ideographic space
  EXPECT_NE(text.find("<end>\r\n"), Bytes::npos);
  EXPECT_NE(text.find("<$F2>"), Bytes::npos);
  ok({"4440", "text.txt", "new.bin", "-i", "data.bin", "-tx", "sjis.tbl"});
  EXPECT_TRUE(s.read("new.bin") == data);

  // The same through numbered files and join, which writes the same layout.
  ok({"4440", "data.bin", "el", "-f", "-tx", "sjis.tbl"});
  ok({"4440", "el", "joined.bin", "-j", "-f", "-tx", "sjis.tbl"});
  EXPECT_TRUE(s.read("joined.bin") == data);
}

TEST_F(HexTableRun, EditedTextGoesBackThroughTheTableAndLineEndsAreDropped) {
  const Bytes data = counted({Bytes("\x82\xA0\x82\xA2\x00", 5), Bytes("ab\xF0\x05\x00", 5)});
  s.write("data.bin", data);
  ok({"4440", "data.bin", "text.txt", "-tx", "sjis.tbl"});
  const Bytes sep = e2e::defaultSeparator();
  ASSERT_EQ(s.read("text.txt"),
            "\xE3\x81\x82\xE3\x81\x84<end>\r\n" + sep + "ab<color><$05><end>\r\n" + sep);

  // Longer first text, an editor's LF line ends, a parameter edited.
  s.write("edit.txt", "\xE3\x81\x82\xE3\x81\x82\n\xE3\x81\x84<end>\n" + sep +
                          "ab<color><$0a><end>\n" + sep);
  ok({"4440", "edit.txt", "new.bin", "-i", "data.bin", "-tx", "sjis.tbl"});
  EXPECT_EQ(s.read("new.bin"), le(2, 4) + le(20, 4) + le(7, 4) + le(27, 4) + le(5, 4) +
                                   Bytes("\x82\xA0\x82\xA0\x82\xA2\x00", 7) +
                                   Bytes("ab\xF0\x0A\x00", 5));
}

TEST_F(HexTableRun, TextWithoutEntryEndsImportJoinAndDFileSplitWithNothingWritten) {
  const Bytes sep = e2e::defaultSeparator();
  s.write("data.bin", counted({"abc", "def", "ghi"}));
  s.write("edit.txt", "abc" + sep + "de" + sep + "g<hi>\xE3\x81\x82 and more text here" + sep);
  const std::vector<std::vector<std::string>> runs = {
      {"4440", "edit.txt", "out.bin", "-i", "data.bin", "-tx", "sjis.tbl"},
      {"4440", "edit.txt", "out.bin", "-j", "-tx", "sjis.tbl"},
      {"4440", "edit.txt", "out.bin", "-sd", "-tx", "sjis.tbl"},
  };
  for (const auto& args : runs) {
    RunResult r = s.dataport(args);
    EXPECT_EQ(r.status, 1) << args[3];
    // The notice of the ignored table name, then the error.
    EXPECT_EQ(r.err,
              "sjis.tbl: line 2: notice: table name ignored: @sjis\n"
              "element 2: no table entry for: <hi>\xE3\x81\x82 and more tex\n")
        << args[3];
    EXPECT_FALSE(s.exists("out.bin")) << args[3];
    EXPECT_FALSE(s.exists("out.bin.000")) << args[3];
  }
}

TEST_F(HexTableRun, DFileSplitAndJoinConvertBothWays) {
  const Bytes sep = e2e::defaultSeparator();
  s.write("text.txt", "\xE3\x81\x82<$FF>" + sep + "a<wait><$01><$02>" + sep);
  ok({"4440", "text.txt", "el", "-sd", "-tx", "sjis.tbl"});
  EXPECT_EQ(s.read("el.000"), "\x82\xA0\xFF");
  EXPECT_EQ(s.read("el.001"), "a\xF1\x01\x02");
  ok({"4440", "el", "back.txt", "-jd", "-tx", "sjis.tbl"});
  EXPECT_EQ(s.read("back.txt"), s.read("text.txt"));
}

TEST_F(HexTableRun, ReversedTableTurnsTextInTheDataFileIntoBytesOnSplit) {
  // The data file holds text; -tr makes the split convert it to bytes.
  s.write("text.bin", counted({"\xE3\x81\x82<end>", "ab<$FF>"}));
  ok({"4440", "text.bin", "bytes.out", "-tx", "sjis.tbl", "-tr"});
  const Bytes sep = e2e::defaultSeparator();
  EXPECT_EQ(s.read("bytes.out"), Bytes("\x82\xA0\x00", 3) + sep + "ab\xFF" + sep);

  s.write("bad.bin", counted({"ab", "a<x"}));
  RunResult r = s.dataport({"4440", "bad.bin", "bad.out", "-tx", "sjis.tbl", "-tr"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("element 1: no table entry for: <x\n"), Bytes::npos) << r.err;
  EXPECT_FALSE(s.exists("bad.out"));
}

TEST_F(HexTableRun, BadTableLineAndTwoTablesAreRefused) {
  s.write("data.bin", counted({"abc"}));
  s.write("bad.tbl", "41=A\r\n# fine\r\n8140 =x\r\n");
  RunResult r = s.dataport({"4440", "data.bin", "-tx", "bad.tbl"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "bad.tbl: line 3: 8140 =x\n");
  EXPECT_FALSE(s.exists("output.out"));

  r = s.dataport({"4440", "data.bin", "-tx", "sjis.tbl", "-t", "sjis.tbl"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "-t and -tx can not be used together\n");

  r = s.dataport({"4440", "data.bin", "-tx", "missing.tbl"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing.tbl:tbs table file error initialization\n"), Bytes::npos);
}

}  // namespace
