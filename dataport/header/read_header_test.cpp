#include <gtest/gtest.h>

#include <random>

#include "dataport/job.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;

Bytes rec(std::uint64_t pos, std::uint64_t size) { return le(pos, 4) + le(size, 4); }

class ReadHeader : public ::testing::Test {
 protected:
  WorkDir dir;
  Job job;
};

// ---- one record at a time ----

TEST_F(ReadHeader, RecordByRecordStopsWhereTheDataBegins) {
  writeFile("data.bin", rec(16, 4) + rec(20, 4) + "AAAABBBB");
  job.htype.decodeHtype("440");
  job.iname = "data.bin";
  job.pmax = 24;
  const auto o = capture([&] { job.readHeader(false); });
  EXPECT_EQ(o.failure, "");
  EXPECT_EQ(o.out,
            "reading HFILE: data.bin, hbase 0, pbase 0\n"
            "pbase :0   esize:8  hmax 0 head.csize0\n"
            "hpos set to:0\n"
            "pmax:24\n"
            "Element 0\tEPos 10\tMin 24\tEPos 10\tEPos+pbaase 10\tESize 4\tHpos 0\t\n"
            "Element 1\tEPos 14\tMin 16\tEPos 14\tEPos+pbaase 14\tESize 4\tHpos 8\t\n");
  expectElements(job.elements, {{16, 4, 0}, {20, 4, 1}});
}

TEST_F(ReadHeader, PositionsBelowPminDoNotMarkTheData) {
  writeFile("data.bin", rec(8, 0) + rec(24, 4) + rec(28, 4) + "AAAABBBB");
  job.htype.decodeHtype("440");
  job.iname = "data.bin";
  job.pmax = 32;
  job.pmin = 24;
  capture([&] { job.readHeader(false); });
  expectElements(job.elements, {{8, 0, 0}, {24, 4, 1}, {28, 4, 2}});

  Job plain;
  plain.htype.decodeHtype("440");
  plain.iname = "data.bin";
  plain.pmax = 32;
  capture([&] { plain.readHeader(false); });
  expectElements(plain.elements, {{8, 0, 0}});
}

TEST_F(ReadHeader, PositionsOnlyAreSortedAndSizedFromNeighbours) {
  writeFile("h.bin", le(300, 4) + le(100, 4) + le(200, 4));
  job.htype.decodeHtype("4");
  job.hname = "h.bin";
  job.iname = "data.bin";
  job.pmax = 1000;
  const auto o = capture([&] { job.readHeader(false); });
  EXPECT_EQ(o.failure, "");
  expectElements(job.elements, {{100, 100, 1}, {200, 100, 2}, {300, 700, 0}});
  // The file ends exactly after a record: one more label, no line end.
  const std::string tail = "Hpos 8\t\nElement 3\t";
  ASSERT_GE(o.out.size(), tail.size());
  EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail);
}

TEST_F(ReadHeader, DuplicatePositionsKeptInRecordOrderUnlessNodups) {
  writeFile("h.bin", le(50, 4) + le(50, 4) + le(10, 4));
  job.htype.decodeHtype("4");
  job.hname = "h.bin";
  job.pmax = 100;
  capture([&] { job.readHeader(false); });
  expectElements(job.elements, {{10, 40, 2}, {50, 0, 0}, {50, 50, 1}});

  Job nodup;
  nodup.htype.decodeHtype("4");
  nodup.hname = "h.bin";
  nodup.pmax = 100;
  nodup.nodups = true;
  capture([&] { nodup.readHeader(false); });
  expectElements(nodup.elements, {{10, 40, 2}, {50, 50, 0}});
}

TEST_F(ReadHeader, SizesOnlyWithoutCountReadToTheEndOrHmax) {
  writeFile("h.bin", le(10, 4) + le(20, 4) + le(30, 4));
  job.htype.decodeHtype("040");
  job.hname = "h.bin";
  capture([&] { job.readHeader(false); });
  expectElements(job.elements, {{0, 10, 0}, {10, 20, 1}, {30, 30, 2}});

  Job limited;
  limited.htype.decodeHtype("040");
  limited.hname = "h.bin";
  limited.hmax = 8;
  capture([&] { limited.readHeader(false); });
  expectElements(limited.elements, {{0, 10, 0}, {10, 20, 1}});
}

TEST_F(ReadHeader, SkipPastTheEndIsNoErrorByItself) {
  writeFile("h.bin", le(5, 2));
  job.htype.decodeHtype("22");
  job.hname = "h.bin";
  job.pmax = 100;
  const auto o = capture([&] { job.readHeader(false); });
  EXPECT_EQ(o.failure, "");
  expectElements(job.elements, {{5, 95, 0}});
  const std::string tail = "Hpos 0\t\nElement 1\t";
  ASSERT_GE(o.out.size(), tail.size());
  EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail);
}

TEST_F(ReadHeader, RecordByRecordGroupGapsAreSkipped) {
  const Bytes gap = "\xEE\xEE";
  writeFile("h.bin", rec(100, 5) + gap + rec(200, 6) + gap);
  job.htype.decodeHtype("00404012");
  job.hname = "h.bin";
  const auto o = capture([&] { job.readHeader(false); });
  EXPECT_EQ(o.failure, "");
  expectElements(job.elements, {{100, 5, 0}, {200, 6, 1}});
  EXPECT_NE(o.out.find("Hpos 8\t\n"), std::string::npos) << "hpos does not count the gap";
}

// ---- one block ----

TEST_F(ReadHeader, SizesOnlyBlockPlacesElementsBehindTheHeader) {
  writeFile("data.bin", le(2, 4) + le(10, 4) + le(20, 4) + Bytes(30, 'x'));
  job.htype.decodeHtype("40040");
  job.iname = "data.bin";
  job.pmax = 42;
  const auto o = capture([&] { job.readHeader(false); });
  EXPECT_EQ(o.failure, "");
  EXPECT_EQ(o.out,
            "reading HFILE: data.bin, hbase 0, pbase 0\n"
            "pbase :0   esize:4  hmax 0 head.csize4\n"
            "elements 2\n"
            "bufsize 8\n"
            "Element 0\tEPos 0\tEPos+pbase 0\tESize A\tHpos 4\t\n"
            "Element 1\tEPos 0\tEPos+pbase 0\tESize 14\tHpos 4\t\n");
  expectElements(job.elements, {{12, 10, 0}, {22, 20, 1}});
}

TEST_F(ReadHeader, BlockAddsPbaseAndShiftAndPrintsBoth) {
  writeFile("data.bin", Bytes(3, 'p') + le(1, 4) + rec(0x10, 0x20));
  job.htype.decodeHtype("4440");
  job.iname = "data.bin";
  job.hbase = 3;
  job.pbase = 0x100;
  job.shift = 3;
  const auto o = capture([&] { job.readHeader(false); });
  EXPECT_EQ(o.failure, "");
  EXPECT_EQ(o.out,
            "reading HFILE: data.bin, hbase 3, pbase 100\n"
            "pbase :100   esize:8  hmax 0 head.csize4\n"
            "elements 1\n"
            "bufsize 8\n"
            "Element 0\tEPos 10\tEPos+pbase 110\tESize 23\tHpos 7\t\n");
  expectElements(job.elements, {{0x110, 0x23, 0}});
}

TEST_F(ReadHeader, CountZeroGivesAnEmptyList) {
  writeFile("data.bin", le(0, 4));
  job.htype.decodeHtype("4440");
  job.iname = "data.bin";
  job.elements = {{1, 1, 1}};
  const auto o = capture([&] { job.readHeader(false); });
  EXPECT_EQ(o.failure, "");
  EXPECT_NE(o.out.find("elements 0\nbufsize 0\n"), std::string::npos);
  EXPECT_TRUE(job.elements.empty());
}

TEST_F(ReadHeader, HcountSkipsTheCountFieldUnread) {
  writeFile("data.bin", le(99, 4) + rec(100, 1) + rec(110, 2) + rec(120, 3) + rec(130, 4));
  job.htype.decodeHtype("4440");
  job.iname = "data.bin";
  job.hcount = 3;
  const auto o = capture([&] { job.readHeader(false); });
  EXPECT_EQ(o.failure, "");
  EXPECT_NE(o.out.find("elements 3\nbufsize 24\n"), std::string::npos);
  expectElements(job.elements, {{100, 1, 0}, {110, 2, 1}, {120, 3, 2}});
}

TEST_F(ReadHeader, BlockGroupGapFollowsEveryCompleteGroup) {
  writeFile("data.bin", le(3, 4) + rec(100, 1) + rec(200, 2) + "GGGG" + rec(300, 3));
  job.htype.decodeHtype("40404024");
  job.iname = "data.bin";
  const auto o = capture([&] { job.readHeader(false); });
  EXPECT_EQ(o.failure, "");
  EXPECT_NE(o.out.find("bufsize 28\n"), std::string::npos);
  expectElements(job.elements, {{100, 1, 0}, {200, 2, 1}, {300, 3, 2}});
}

TEST_F(ReadHeader, TableEndingItsFileNeedsNoBytesBehindTheLastRecordsLastField) {
  struct Case {
    const char* what;
    const char* htype;
    Bytes file;
    std::uint32_t hcount;
  };
  const Case cases[] = {
      {"skip bytes after each size", "4448", le(2, 4) + rec(100, 1) + "SKIPSKIP" + rec(200, 2), 0},
      {"a group gap after the last pair", "40404024", le(2, 4) + rec(100, 1) + rec(200, 2), 0},
      {"-hc with skip bytes", "4448", "CNT!" + rec(100, 1) + "SKIPSKIP" + rec(200, 2), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile("tail.bin", "DATA" + c.file);
    Job j;
    j.htype.decodeHtype(c.htype);
    j.iname = "tail.bin";
    j.hbase = 4;
    j.hcount = c.hcount;
    const auto o = capture([&] { j.readHeader(false); });
    EXPECT_EQ(o.failure, "");
    expectElements(j.elements, {{100, 1, 0}, {200, 2, 1}});

    // One byte less cuts into the last field: that header is short.
    writeFile("tail.bin", "DATA" + c.file.substr(0, c.file.size() - 1));
    Job cut;
    cut.htype.decodeHtype(c.htype);
    cut.iname = "tail.bin";
    cut.hbase = 4;
    cut.hcount = c.hcount;
    EXPECT_EQ(capture([&] { cut.readHeader(false); }).failure, "error reading elements(block)\n");
  }
}

TEST_F(ReadHeader, ImportingFillsHeaderListAndBoundsPmaxByTheImportFile) {
  writeFile("old.bin", rec(16, 4) + rec(20, 4) + "AAAABBBB");
  job.htype.decodeHtype("440");
  job.iname = "edited.txt";
  job.ifile = "old.bin";
  job.elements = {{1, 2, 0}};
  capture([&] { job.readHeader(true); });
  EXPECT_EQ(job.pmax, 24);
  expectElements(job.headerList, {{16, 4, 0}, {20, 4, 1}});
  expectElements(job.elements, {{1, 2, 0}});
}

// ---- headers that cannot be ----

struct Malformed {
  const char* what;
  const char* htype;
  Bytes file;  // written as h.bin unless empty
  std::uint32_t hcount;
  std::int64_t hbase;
  const char* failure;
};

TEST_F(ReadHeader, MalformedHeadersEndWithTheirMessage) {
  const Malformed cases[] = {
      {"negative count", "4440", le(0xFFFFFFFF, 4) + rec(1, 1), 0, 0, "error alloc elements buf\n"},
      {"count whose records could never be held", "4440", le(0x7FFFFFFF, 4) + Bytes(96, 'x'), 0,
       0, "error alloc elements buf\n"},
      {"count a few records beyond the file", "4440", le(20, 4) + Bytes(96, 'x'), 0, 0,
       "error reading elements(block)\n"},
      {"one record short", "4440", le(2, 4) + rec(1, 1) + "abc", 0, 0,
       "error reading elements(block)\n"},
      {"-hc beyond the file", "4440", le(1, 4) + rec(1, 1), 2, 0,
       "error reading elements(block)\n"},
      {"hbase behind the file end", "440", rec(1, 1), 1, 9, "error reading elements(block)\n"},
      {"missing file with count field", "4440", "", 0, 0, "error reading elements(block)\n"},
      {"short count field", "4440", "\x01\x00", 0, 0, "error reading elements(block)\n"},
      {"missing file with -hc", "440", "", 3, 0, "error reading elements(block)\n"},
      {"-hc beyond 2^31", "440", rec(1, 1), 0xFFFFFFFF, 0, "error alloc elements buf\n"},
      {"block before the file start", "440", rec(1, 1), 1, -4, "error reading elements(block)\n"},
      {"missing file one by one", "440", "", 0, 0, "error opening header file\n"},
      {"records before the file start", "440", rec(1, 1), 0, -4,
       "error cant seek to hpos at hfile file\n"},
      {"records without position or size", "01", rec(1, 1), 0, 0, "error reading htype\n"},
  };
  for (const Malformed& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove("h.bin");
    if (!c.file.empty()) writeFile("h.bin", c.file);
    Job j;
    j.htype.decodeHtype(c.htype);
    j.hname = "h.bin";
    j.hcount = c.hcount;
    j.hbase = c.hbase;
    j.elements = {{7, 7, 7}};
    const auto o = capture([&] { j.readHeader(false); });
    EXPECT_EQ(o.failure, c.failure);
    expectElements(j.elements, {{7, 7, 7}});
    if (c.file.substr(0, 4) == le(0xFFFFFFFF, 4)) {
      EXPECT_NE(o.out.find("elements -1\nbufsize -8\n"), std::string::npos);
    }
  }
}

// Whatever bytes a header holds, the reading ends with a list or a message.
TEST_F(ReadHeader, RandomHeaderBytesNeverCrash) {
  const char* htypes[] = {"440", "4440", "40040", "1", "8", "2418", "40404024", "0404",
                          "11", "4", "040", "88", "1111"};
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; ++round) {
    Bytes bytes(rng() % 64, '\0');
    for (char& b : bytes) b = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng() % 40);
    writeFile("h.bin", bytes);
    Job j;
    j.htype.decodeHtype(htypes[round % std::size(htypes)]);
    j.iname = "h.bin";
    j.pmax = static_cast<std::int64_t>(bytes.size());
    if (round % 3 == 0) j.hname = "h.bin";
    if (round % 5 == 0) j.nodups = true;
    if (round % 7 == 0) j.hmax = static_cast<std::int64_t>(rng() % 40);
    const auto o = capture([&] { j.readHeader(false); });
    if (o.failure.empty()) {
      EXPECT_LE(j.elements.size(), bytes.size() + 1);
    } else {
      EXPECT_EQ(o.failure.back(), '\n');
    }
  }
}

}  // namespace
}  // namespace dataport
