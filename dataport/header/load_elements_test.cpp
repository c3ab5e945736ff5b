#include <gtest/gtest.h>

#include <random>

#include "dataport/job.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;

const Bytes kSep = "\r\n******xEnDx******\r\n";
constexpr std::int64_t kWindow = 1048576;

class ScanDFile : public ::testing::Test {
 protected:
  ScanDFile() {
    job.iname = "d.txt";
    job.hname = "h.bin";
  }
  WorkDir dir;
  Job job;
};

TEST_F(ScanDFile, SeparatorsAreLeftOutOfSizesAndPositions) {
  writeFile("d.txt", "AAA" + kSep + "BB" + kSep);
  job.htype.decodeHtype("4440");
  const auto o = capture([&] { job.scanDFile(); });
  EXPECT_EQ(o.failure, "");
  EXPECT_EQ(o.out,
            "reading dfile d.txt\n"
            "reading data from dfile\n"
            "a 0 Epos: 0\n"
            "b 3 Epos: 0\n"
            "a 3 Epos: 3\n"
            "b 2 Epos: 3\n"
            "hbase0uheader size 20pbase0\n");
  expectElements(job.elements, {{0, 3, 0}, {3, 2, 1}});
}

TEST_F(ScanDFile, SeparatorInDataCountsInSizes) {
  writeFile("d.txt", "AAA" + kSep + "BB" + kSep);
  job.sepindata = true;
  capture([&] { job.scanDFile(); });
  expectElements(job.elements, {{0, 24, 0}, {24, 23, 1}});
}

TEST_F(ScanDFile, BytesAfterTheLastSeparatorFormNoElement) {
  writeFile("d.txt", "AAA" + kSep + "BB");
  capture([&] { job.scanDFile(); });
  expectElements(job.elements, {{0, 3, 0}});
}

TEST_F(ScanDFile, MissingFileGivesNoElement) {
  const auto o = capture([&] { job.scanDFile(); });
  EXPECT_EQ(o.failure, "");
  EXPECT_TRUE(job.elements.empty());
}

TEST_F(ScanDFile, SeparatorStraddlingTheWindowEndIsFound) {
  // The separator's first 20 bytes end the first window, its last byte
  // begins the next read.
  writeFile("d.txt", Bytes(kWindow - 20, 'a') + kSep + "BB" + kSep);
  const auto o = capture([&] { job.scanDFile(); });
  expectElements(job.elements, {{0, kWindow - 20, 0}, {kWindow - 20, 2, 1}});
  EXPECT_NE(o.out.find("reading data from dfile\nreading data from dfile\n"), std::string::npos);
}

TEST_F(ScanDFile, ShortSeparatorCutAfterItsFirstByte) {
  job.sep = {'X', 'Y'};
  job.seplen = 2;
  writeFile("d.txt", Bytes(kWindow - 1, 'a') + "XY" + "cc" + "XY");
  capture([&] { job.scanDFile(); });
  expectElements(job.elements, {{0, kWindow - 1, 0}, {kWindow - 1, 2, 1}});
}

TEST_F(ScanDFile, ElementsLongerThanTheWindowKeepTheirFullSize) {
  const std::int64_t big = 3 * kWindow + 5;
  writeFile("d.txt", "x" + kSep + Bytes(big, 'b') + kSep + "C" + kSep);
  capture([&] { job.scanDFile(); });
  expectElements(job.elements, {{0, 1, 0}, {1, big, 1}, {1 + big, 1, 2}});
}

TEST_F(ScanDFile, SeparatorLongerThanTheWindowIsStillFound) {
  std::mt19937 rng(7);
  Bytes sep(kWindow + 10, '\0');
  for (char& c : sep) c = static_cast<char>(rng() % 251);
  job.sep.assign(sep.begin(), sep.end());
  job.seplen = static_cast<std::uint32_t>(sep.size());
  writeFile("d.txt", "AB" + sep + "C" + sep);
  capture([&] { job.scanDFile(); });
  expectElements(job.elements, {{0, 2, 0}, {2, 1, 1}});
}

TEST_F(ScanDFile, SeplenZeroMakesTheWholeFileOneElement) {
  job.seplen = 0;
  writeFile("d.txt", "AAA" + kSep + "BB");
  capture([&] { job.scanDFile(); });
  expectElements(job.elements, {{0, 26, 0}});

  Job empty;
  empty.iname = "e.txt";
  empty.seplen = 0;
  writeFile("e.txt", "");
  capture([&] { empty.scanDFile(); });
  EXPECT_TRUE(empty.elements.empty());
}

TEST_F(ScanDFile, JoinPlacesElementsBehindHbaseAndTheHeaderWithoutPbase) {
  writeFile("d.txt", "AAA" + kSep + "BB" + kSep);
  job.hname.reset();
  job.mode = kJoin;
  job.htype.decodeHtype("4440");
  job.hbase = 5;
  job.pbase = 7;
  const auto o = capture([&] { job.scanDFile(); });
  EXPECT_NE(o.out.find("hbase5uheader size 20pbase7\n"), std::string::npos);
  expectElements(job.elements, {{25, 3, 0}, {28, 2, 1}});
}

TEST_F(ScanDFile, ImportPlacesElementsBehindTheWholeOldHeader) {
  writeFile("d.txt", "AAA" + kSep + "BB" + kSep);
  job.hname.reset();
  job.mode = kImport;
  job.ifile = "old.bin";
  job.htype.decodeHtype("4440");
  job.hbase = 2;
  // Records 2 and 3 were left out ("-rd"): the header still has five.
  job.headerList = {{100, 1, 0}, {200, 1, 1}, {300, 1, 4}};
  capture([&] { job.scanDFile(); });
  expectElements(job.elements, {{46, 3, 0}, {49, 2, 1}});
}

TEST_F(ScanDFile, DFileSplitKeepsPositionsFromZero) {
  writeFile("d.txt", "AAA" + kSep + "BB" + kSep);
  job.hname.reset();
  job.mode = kSplitDFile;
  job.htype.decodeHtype("4440");
  capture([&] { job.scanDFile(); });
  expectElements(job.elements, {{0, 3, 0}, {3, 2, 1}});
}

class ScanNumbered : public ::testing::Test {
 protected:
  ScanNumbered() {
    job.iname = "el";
    writeFile("el.000", "AAA");
    writeFile("el.001", "");
    writeFile("el.003", "DDDD");
  }
  WorkDir dir;
  Job job;
};

TEST_F(ScanNumbered, AMissingNumberEndsTheList) {
  job.hname = "h.bin";
  job.htype.decodeHtype("4440");
  capture([&] { job.scanNumberedFiles(); });
  expectElements(job.elements, {{0, 3, 0}, {3, 0, 1}});
}

TEST_F(ScanNumbered, PositionsFollowHbaseAndTheHeader) {
  job.htype.decodeHtype("4440");
  job.hbase = 1;
  job.pbase = 9;
  capture([&] { job.scanNumberedFiles(); });
  expectElements(job.elements, {{21, 3, 0}, {24, 0, 1}});
}

TEST_F(ScanNumbered, ImportCountsTheOldHeadersRecords) {
  job.htype.decodeHtype("440");
  job.ifile = "old.bin";
  job.headerList = {{100, 1, 0}, {200, 1, 1}, {300, 1, 2}};
  capture([&] { job.scanNumberedFiles(); });
  expectElements(job.elements, {{24, 3, 0}, {27, 0, 1}});
}

TEST(LoadElements, EachModeFillsItsLists) {
  WorkDir dir;
  writeFile("old.bin", le(8, 4) + le(3, 4) + "abc");
  writeFile("d.txt", "XYZW" + kSep);
  writeFile("d.txt.000", "Q");

  Job split;
  split.htype.decodeHtype("440");
  split.iname = "old.bin";
  split.pmax = 11;
  capture([&] { split.loadElements(); });
  expectElements(split.elements, {{8, 3, 0}});
  EXPECT_TRUE(split.headerList.empty());

  Job import;
  import.mode = kImport;
  import.htype.decodeHtype("440");
  import.iname = "d.txt";
  import.ifile = "old.bin";
  capture([&] { import.loadElements(); });
  expectElements(import.headerList, {{8, 3, 0}});
  expectElements(import.elements, {{8, 4, 0}});

  Job join;
  join.mode = kJoin;
  join.perfile = true;
  join.htype.decodeHtype("440");
  join.iname = "d.txt";
  capture([&] { join.loadElements(); });
  expectElements(join.elements, {{8, 1, 0}});

  Job joinDFile;
  joinDFile.mode = kJoinDFile;
  joinDFile.htype.decodeHtype("440");
  joinDFile.hname = "h.bin";
  joinDFile.iname = "d.txt";
  capture([&] { joinDFile.loadElements(); });
  expectElements(joinDFile.elements, {{0, 1, 0}});

  Job splitDFile;
  splitDFile.mode = kSplitDFile;
  splitDFile.htype.decodeHtype("440");
  splitDFile.iname = "d.txt";
  capture([&] { splitDFile.loadElements(); });
  expectElements(splitDFile.elements, {{0, 4, 0}});
}

}  // namespace
}  // namespace dataport
