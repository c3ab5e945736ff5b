#include <gtest/gtest.h>

#include "dataport/job.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;

Bytes asBytes(const std::vector<std::uint8_t>& buf) { return Bytes(buf.begin(), buf.end()); }

// ---- buildHeader ----

TEST(BuildHeader, CountThenPositionAndSizePerRecord) {
  Job job;
  job.htype.decodeHtype("4440");
  job.elements = {{100, 150, 0}, {250, 20, 1}};
  std::vector<std::uint8_t> buf;
  job.buildHeader(buf);
  EXPECT_EQ(asBytes(buf), le(2, 4) + le(100, 4) + le(150, 4) + le(250, 4) + le(20, 4));
}

TEST(BuildHeader, GroupGapFollowsEveryGroup) {
  Job job;
  job.htype.decodeHtype("00404011");
  job.elements = {{1, 2, 0}, {3, 4, 1}};
  std::vector<std::uint8_t> buf;
  job.buildHeader(buf);
  EXPECT_EQ(asBytes(buf), le(1, 4) + le(2, 4) + Bytes(1, '\0') + le(3, 4) + le(4, 4) + Bytes(1, '\0'));
}

TEST(BuildHeader, StoresSizesLessShiftAndPositionsLessPbase) {
  Job job;
  job.htype.decodeHtype("440");
  job.shift = 2;
  job.pbase = 0x10;
  job.elements = {{0x110, 150, 0}, {0x210, 20, 1}};
  std::vector<std::uint8_t> buf;
  job.buildHeader(buf);
  EXPECT_EQ(asBytes(buf), le(0x100, 4) + le(148, 4) + le(0x200, 4) + le(18, 4));
  EXPECT_EQ(job.elements[0].size, 150);
  EXPECT_EQ(job.elements[1].size, 20);
  EXPECT_EQ(job.elements[0].pos, 0x110);
}

TEST(BuildHeader, NoElementsGiveCountAndCountGapOnly) {
  Job job;
  job.htype.decodeHtype("424040");
  std::vector<std::uint8_t> buf(40, 0xAB);
  job.buildHeader(buf);
  EXPECT_EQ(asBytes(buf), Bytes(6, '\0'));
}

TEST(BuildHeader, GapsAreZeroAndFieldsKeepTheirLowBytes) {
  Job job;
  job.htype.decodeHtype("1221");  // 1-byte count, 2-byte position, 2-byte size, 1 gap byte
  job.elements = {{0x12345, 0x1FFFF, 0}};
  std::vector<std::uint8_t> buf;
  job.buildHeader(buf);
  EXPECT_EQ(asBytes(buf), le(1, 1) + le(0x2345, 2) + le(0xFFFF, 2) + Bytes(1, '\0'));
}

TEST(BuildHeader, ReadHeaderReadsBackWhatWasBuilt) {
  WorkDir dir;
  Job job;
  job.htype.decodeHtype("40404024");
  job.pbase = 0x10;
  job.shift = 1;
  job.elements = {{0x40, 5, 0}, {0x50, 6, 1}, {0x70, 7, 2}};
  std::vector<std::uint8_t> buf;
  job.buildHeader(buf);
  writeFile("h.bin", asBytes(buf));

  Job reader;
  reader.htype.decodeHtype("40404024");
  reader.pbase = 0x10;
  reader.shift = 1;
  reader.hname = "h.bin";
  const auto o = capture([&] { reader.readHeader(false); });
  EXPECT_EQ(o.failure, "");
  ASSERT_EQ(reader.elements.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(reader.elements[k].pos, job.elements[k].pos);
    EXPECT_EQ(reader.elements[k].size, job.elements[k].size);
  }
}

// ---- patchImportHeader ----

// A header of six records with 4-byte position and size, two bytes after the
// count and four bytes after each record; record 5 holds the lowest position.
class PatchImportHeader : public ::testing::Test {
 protected:
  PatchImportHeader() {
    job.htype.decodeHtype("424044");
    job.ifile = "old.bin";
    job.iname = "edited.txt";
    const std::int64_t positions[6] = {500, 600, 700, 800, 900, 400};
    header = le(6, 4) + "CC";
    for (std::int64_t p : positions) header += record(p, 100);
    writeFile("old.bin", header + Bytes(1000, 'd'));
    job.headerList = {{400, 100, 5}, {500, 100, 0}, {600, 100, 1},
                      {700, 100, 2}, {800, 100, 3}, {900, 100, 4}};
  }
  static Bytes record(std::int64_t pos, std::int64_t size) {
    return le(static_cast<std::uint64_t>(pos), 4) + le(static_cast<std::uint64_t>(size), 4) +
           "\xEE\xEE\xEE\xEE";
  }
  /// What the patch covers: the header up to the last record's size field,
  /// without the four skip bytes behind it.
  static Bytes patched(const Bytes& h) { return h.substr(0, h.size() - 4); }
  /// The header with record r replaced.
  Bytes with(Bytes h, int r, std::int64_t pos, std::int64_t size) {
    return h.replace(6 + 12 * r, 12, record(pos, size));
  }
  WorkDir dir;
  Job job;
  Bytes header;
};

TEST_F(PatchImportHeader, FirstElementGoesToTheRecordOfTheLowestPosition) {
  job.elements = {{400, 103, 0}, {503, 100, 1}};
  std::vector<std::uint8_t> buf;
  const auto o = capture([&] { job.patchImportHeader(buf); });
  EXPECT_EQ(o.failure, "");
  EXPECT_EQ(o.out,
            "pbase:0\n"
            "epos:5;uhead.pos:190;uhead.size:67\n"
            "epos:0;uhead.pos:1F7;uhead.size:64\n");
  EXPECT_EQ(asBytes(buf), patched(with(with(header, 5, 400, 103), 0, 503, 100)));
}

TEST_F(PatchImportHeader, RecordsBehindTheLastReplacedOneMoveByTailShift) {
  job.elements = {{400, 103, 0}, {503, 100, 1}};
  std::vector<std::uint8_t> buf;
  capture([&] { job.patchImportHeader(buf, 3); });
  Bytes want = with(with(header, 5, 400, 103), 0, 503, 100);
  for (int r = 1; r <= 4; ++r) want = with(want, r, 500 + 100 * r + 3, 100);
  EXPECT_EQ(asBytes(buf), patched(want));
}

TEST_F(PatchImportHeader, RecordsBeforeTheFirstInRangeOneStayAsRead) {
  job.pmin = 450;
  job.elements = {{500, 90, 0}};
  std::vector<std::uint8_t> buf;
  capture([&] { job.patchImportHeader(buf, -10); });
  Bytes want = with(header, 0, 500, 90);
  for (int r = 1; r <= 4; ++r) want = with(want, r, 500 + 100 * r - 10, 100);
  EXPECT_EQ(asBytes(buf), patched(want));
}

TEST_F(PatchImportHeader, StoresPositionsLessPbaseAndSizesLessShift) {
  job.pbase = 16;
  job.shift = 1;
  job.elements = {{416, 51, 0}};
  std::vector<std::uint8_t> buf;
  const auto o = capture([&] { job.patchImportHeader(buf); });
  EXPECT_EQ(o.out, "pbase:16\nepos:5;uhead.pos:190;uhead.size:32\n");
  EXPECT_EQ(asBytes(buf), patched(with(header, 5, 400, 50)));
  EXPECT_EQ(job.elements[0].pos, 416);
  EXPECT_EQ(job.elements[0].size, 51);
}

TEST_F(PatchImportHeader, MoreElementsThanRecordsStopAtTheListEnd) {
  job.headerList.resize(2);
  job.elements = {{1, 1, 0}, {2, 2, 1}, {3, 3, 2}};
  std::vector<std::uint8_t> buf;
  const auto o = capture([&] { job.patchImportHeader(buf); });
  EXPECT_EQ(o.failure, "");
  EXPECT_EQ(asBytes(buf), patched(with(with(header, 5, 1, 1), 0, 2, 2)));
}

TEST_F(PatchImportHeader, NoElementsReturnTheHeaderAsReadAndWriteNothing) {
  writeFile("h.bin", header);
  job.hname = "h.bin";
  std::vector<std::uint8_t> buf;
  const auto o = capture([&] { job.patchImportHeader(buf); });
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(asBytes(buf), patched(header));
  job.finishFiles();
  EXPECT_FALSE(readFile("output.hdr").has_value());
}

TEST_F(PatchImportHeader, ShortSourceFailsAfterDescribingTheHeader) {
  writeFile("old.bin", header.substr(0, 10));
  job.elements = {{400, 103, 0}};
  std::vector<std::uint8_t> buf;
  const auto o = capture([&] { job.patchImportHeader(buf); });
  EXPECT_EQ(o.failure, "Error reading import header\n");
  EXPECT_EQ(o.out,
            "424044\n"
            "4 2 4 0 4 4 0 0 (4 2 4 0 4 4 0 0)\n"
            "file:old.bin bufsize: 74 elements 6 hbase 0\n");
}

TEST_F(PatchImportHeader, HfileIsCopiedWithTheNewHeaderAtHbase) {
  writeFile("h.bin", "PREFIX" + header + "TRAILER");
  job.hname = "h.bin";
  job.hbase = 6;
  job.hdrname = "new.hdr";
  job.elements = {{400, 103, 0}};
  std::vector<std::uint8_t> buf;
  const auto o = capture([&] { job.patchImportHeader(buf); });
  EXPECT_EQ(o.failure, "");
  job.finishFiles();
  EXPECT_EQ(readFile("new.hdr"), "PREFIX" + with(header, 5, 400, 103) + "TRAILER");
  EXPECT_EQ(readFile("h.bin"), "PREFIX" + header + "TRAILER");
}

// Emptying the output header file would lose the HFILE it is copied from.
TEST_F(PatchImportHeader, HfileNamedAsOutputIsRefusedAndKept) {
  writeFile("h.bin", "PREFIX" + header + "TRAILER");
  job.hname = "h.bin";
  job.hbase = 6;
  job.hdrname = "./h.bin";
  job.elements = {{400, 103, 0}};
  std::vector<std::uint8_t> buf;
  const auto o = capture([&] { job.patchImportHeader(buf); });
  EXPECT_EQ(o.failure, "./h.bin:output file is also an input file\n");
  job.finishFiles();
  EXPECT_EQ(readFile("h.bin"), "PREFIX" + header + "TRAILER");
}

TEST(PatchImportHeaderNodups, BufferCoversTheHighestRecordNumber) {
  WorkDir dir;
  Job job;
  job.htype.decodeHtype("440");
  job.hname = "h.bin";
  job.hdrname = "new.hdr";
  // Record 2 repeated record 1's position and was left out ("-rd").
  const Bytes header = le(10, 4) + le(1, 4) + le(20, 4) + le(1, 4) + le(20, 4) + le(1, 4) +
                       le(30, 4) + le(1, 4);
  writeFile("h.bin", header);
  job.headerList = {{10, 1, 0}, {20, 1, 1}, {30, 1, 3}};
  job.elements = {{10, 2, 0}, {20, 3, 1}, {30, 4, 2}};
  std::vector<std::uint8_t> buf;
  const auto o = capture([&] { job.patchImportHeader(buf); });
  EXPECT_EQ(o.failure, "");
  const Bytes want = le(10, 4) + le(2, 4) + le(20, 4) + le(3, 4) + le(20, 4) + le(1, 4) +
                     le(30, 4) + le(4, 4);
  EXPECT_EQ(asBytes(buf), want);
  job.finishFiles();
  EXPECT_EQ(readFile("new.hdr"), want);
}

}  // namespace
}  // namespace dataport
