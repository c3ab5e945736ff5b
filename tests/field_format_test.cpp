// End-to-end runs with header fields stored otherwise than as little-endian
// byte counts: big-endian fields ("-be") and positions and sizes in units
// ("-pu", "-su").

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace {

using e2e::Bytes;
using e2e::RunResult;
using e2e::Scratch;

/// The low `width` bytes of v, most significant first.
Bytes be(std::uint64_t v, int width) {
  Bytes b(static_cast<std::size_t>(width), '\0');
  for (int i = width - 1; i >= 0; --i, v >>= 8) b[static_cast<std::size_t>(i)] = static_cast<char>(v & 0xFF);
  return b;
}

Bytes dfile(const std::vector<Bytes>& elements) {
  Bytes b;
  for (const Bytes& e : elements) b += e + e2e::defaultSeparator();
  return b;
}

/// A data file with a count field of min(width, 4) bytes and records of a
/// position and a size of `width` bytes each, big-endian, then the elements
/// back to back.
Bytes bigEndianFile(int width, const std::vector<Bytes>& elements) {
  const int csize = width < 4 ? width : 4;
  Bytes head = be(elements.size(), csize), body;
  const std::uint64_t start = static_cast<std::uint64_t>(csize) + 2u * width * elements.size();
  for (const Bytes& e : elements) {
    head += be(start + body.size(), width) + be(e.size(), width);
    body += e;
  }
  return head + body;
}

RunResult ok(const Scratch& s, const std::vector<std::string>& args) {
  RunResult r = s.dataport(args);
  EXPECT_EQ(r.status, 0) << r.err;
  return r;
}

TEST(BigEndianFields, SplitImportAndJoinRoundTripsForEveryWidth) {
  for (int width : {2, 3, 4, 8}) {
    SCOPED_TRACE(width);
    Scratch s;
    const std::string w = std::to_string(width);
    const std::string htype = std::to_string(width < 4 ? width : 4) + w + w + "0";
    const std::vector<Bytes> elements = {"HELLO", "AB", Bytes(300, 'z')};
    const Bytes data = bigEndianFile(width, elements);
    s.write("data.bin", data);

    ok(s, {htype, "data.bin", "text.out", "-be"});
    EXPECT_EQ(s.read("text.out"), dfile(elements));
    ok(s, {htype, "text.out", "new.bin", "-i", "data.bin", "-be"});
    EXPECT_EQ(s.read("new.bin"), data);
    ok(s, {htype, "text.out", "joined.bin", "-j", "-be"});
    EXPECT_EQ(s.read("joined.bin"), data);

    // An element edited longer: the header says so, big-endian.
    const std::vector<Bytes> edited = {"HELLO", "ABCD", Bytes(300, 'z')};
    s.write("edit.out", dfile(edited));
    ok(s, {htype, "edit.out", "new.bin", "-i", "data.bin", "-be"});
    EXPECT_EQ(s.read("new.bin"), bigEndianFile(width, edited));
  }
}

/// A data file whose 4-byte count, 2-byte positions and 2-byte sizes count
/// 16-byte units (htype 4220), the header padded to 16 bytes: each element
/// starts at a multiple of 16, its size field counts its units, and its
/// bytes are filled with '.' up to that.
Bytes unitFile(const std::vector<Bytes>& elements) {
  Bytes head = e2e::le(elements.size(), 4), body;
  const std::uint64_t start = 16;
  for (const Bytes& e : elements) {
    const std::size_t units = (e.size() + 15) / 16;
    head += e2e::le((start + body.size()) / 16, 2) + e2e::le(units, 2);
    body += e + Bytes(units * 16 - e.size(), '.');
  }
  head += Bytes(16 - head.size(), '\0');
  return head + body;
}

TEST(Units, SplitReadsUnitsAndImportKeepsPositionsAndSizesWhole) {
  Scratch s;
  const std::vector<Bytes> elements = {"first element", "2nd", "third one here!"};
  const Bytes data = unitFile(elements);
  ASSERT_EQ(data.size(), 64u);
  s.write("data.bin", data);

  ok(s, {"4220", "data.bin", "text.out", "-pu", "16", "-su", "16", "-ef", "."});
  std::vector<Bytes> padded;
  for (const Bytes& e : elements) padded.push_back(e + Bytes((16 - e.size() % 16) % 16, '.'));
  EXPECT_EQ(s.read("text.out"), dfile(padded));

  ok(s, {"4220", "text.out", "new.bin", "-i", "data.bin", "-pu", "16", "-su", "16", "-ef", "."});
  EXPECT_EQ(s.read("new.bin"), data);

  // The second element grows past its unit: it is padded to two units and
  // the third moves by one unit.
  const std::vector<Bytes> edited = {elements[0] + "...", "now 17 bytes long", elements[2] + "."};
  s.write("edit.out", dfile(edited));
  ok(s, {"4220", "edit.out", "new.bin", "-i", "data.bin", "-pu", "16", "-su", "16", "-ef", "."});
  EXPECT_EQ(s.read("new.bin"), unitFile(edited));

  ok(s, {"4220", "edit.out", "joined.bin", "-j", "-pu", "16", "-su", "16", "-ef", "."});
  EXPECT_EQ(s.read("joined.bin"), unitFile(edited));
}

TEST(Units, PositionUnitsAlignEachElementAfterItsGapAndCarriedRecordsMove) {
  Scratch s;
  // htype 4440, positions in units of 8 bytes, sizes in bytes. Element 0 at
  // 32 (5 bytes, then a gap of 3), element 1 at 40 (6 bytes, then 2), and
  // element 2 at 48, which the import carries over.
  const Bytes head = e2e::le(3, 4) + e2e::le(4, 4) + e2e::le(5, 4) + e2e::le(5, 4) +
                     e2e::le(6, 4) + e2e::le(6, 4) + e2e::le(4, 4) + Bytes(4, '\0');
  const Bytes data = head + "AAAAAgg1BBBBBBg2CCCC";
  ASSERT_EQ(head.size(), 32u);
  s.write("data.bin", data);
  s.write("edit.out", dfile({"AAAAAA", "BBBBBBB"}));
  ok(s, {"4440", "edit.out", "new.bin", "-i", "data.bin", "-pu", "8", "-max", "48", "-ef", "-"});
  // Element 0 (6 bytes) + gap 3 = 41: fill to 48 for element 1 (7 bytes) +
  // gap 2 = 57: fill to 64, where element 2 now starts.
  EXPECT_EQ(s.read("new.bin"), e2e::le(3, 4) + e2e::le(4, 4) + e2e::le(6, 4) + e2e::le(6, 4) +
                                   e2e::le(7, 4) + e2e::le(8, 4) + e2e::le(4, 4) +
                                   Bytes(4, '\0') + "AAAAAAgg1-------BBBBBBBg2-------CCCC");
}

TEST(Units, JoinFillsBeforeEachElementUpToItsPositionUnit) {
  Scratch s;
  s.write("text.out", dfile({"abc", "hello"}));
  ok(s, {"4440", "text.out", "joined.bin", "-j", "-pu", "8", "-ef", "="});
  // The 20-byte header, fill to 24, "abc" to 27, fill to 32, "hello".
  EXPECT_EQ(s.read("joined.bin"), e2e::le(2, 4) + e2e::le(3, 4) + e2e::le(3, 4) + e2e::le(4, 4) +
                                      e2e::le(5, 4) + "====abc=====hello");
  ok(s, {"4440", "joined.bin", "split.out", "-pu", "8"});
  EXPECT_EQ(s.read("split.out"), dfile({"abc", "hello"}));
}

TEST(Units, ZeroNegativeAndTooLargeUnitsAreRefused) {
  Scratch s;
  s.write("data.bin", Bytes(8, '\0'));
  for (const char* opt : {"-pu", "-su"}) {
    for (const char* value : {"0", "-2", "2147483648", "x"}) {
      RunResult r = s.dataport({"4440", "data.bin", opt, value});
      EXPECT_EQ(r.status, 1) << opt << " " << value;
      EXPECT_EQ(r.err, std::string(opt) + ":error parse\n") << value;
    }
  }
  EXPECT_EQ(s.dataport({"4440", "data.bin", "-pu", "2147483647", "-su", "1"}).status, 0);
}

}  // namespace
