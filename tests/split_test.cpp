// End-to-end runs of the split mode: data files and headers are built here,
// dataport cuts them apart, and the written files are compared byte for byte.

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace {

using e2e::Bytes;
using e2e::le;
using e2e::RunResult;
using e2e::Scratch;
using std::string_literals::operator""s;

Bytes u32(std::uint64_t v) { return le(v, 4); }
/// A record of a 440 layout: position, size.
Bytes rec(std::uint64_t pos, std::uint64_t size) { return u32(pos) + u32(size); }

/// The DFile that holds these elements, each followed by the default separator.
Bytes dfile(std::initializer_list<Bytes> elements) {
  Bytes b;
  for (const Bytes& e : elements) b += e + e2e::defaultSeparator();
  return b;
}

class SplitTest : public ::testing::Test {
 protected:
  RunResult run(const std::vector<std::string>& args) {
    RunResult r = s.dataport(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r;
  }
  /// A data file with a 4440 header (count, then position and size per
  /// element) followed by the elements back to back.
  void writeCounted(const std::string& name, std::initializer_list<Bytes> elements) {
    Bytes head = u32(elements.size()), body;
    std::uint64_t pos = 4 + 8 * elements.size();
    for (const Bytes& e : elements) {
      head += rec(pos + body.size(), e.size());
      body += e;
    }
    s.write(name, head + body);
  }

  Scratch s;
};

TEST_F(SplitTest, HeaderInDataFileGivesDFileWithSeparatorAfterEachElement) {
  writeCounted("data.bin", {"HELLO", "AB"});
  RunResult r = run({"4440", "data.bin"});
  EXPECT_EQ(s.read("output.out"), dfile({"HELLO", "AB"}));
  EXPECT_NE(r.out.find("404040\n4 0 4 0 4 0 0 0 (4 0 4 0 4 0 0 0)\n"
                       "20  5\n0 block 0 blockadd 0\n25  2\n0 block 0 blockadd 0\n"),
            std::string::npos)
      << r.out;
}

TEST_F(SplitTest, HeaderInHfileIsReadToItsEndAndSortedByPosition) {
  s.write("hdr.bin", rec(4, 3) + rec(0, 4));
  s.write("data.bin", "ABCDxyz");
  run({"440", "data.bin", "parts.txt", "-h", "hdr.bin"});
  EXPECT_EQ(s.read("parts.txt"), dfile({"ABCD", "xyz"}));
}

TEST_F(SplitTest, HeaderAtHbaseInsideDataFile) {
  s.write("data.bin", "JUNK!!" + u32(1) + rec(18, 3) + "abc");
  run({"-hb", "6", "4440", "data.bin"});
  EXPECT_EQ(s.read("output.out"), dfile({"abc"}));
}

TEST_F(SplitTest, RecordGapsAndGroupGapsAreSkipped) {
  // count 4, 2 skipped, records of position 4 + 1 gap + size 4 + 1 gap,
  // groups of two records followed by 4 bytes: 40 header bytes for 3 records.
  const auto r = [](std::uint64_t p, std::uint64_t n) { return u32(p) + "\xEE" + u32(n) + "\xEE"; };
  s.write("data.bin", u32(3) + "\xEE\xEE" + r(40, 2) + r(42, 3) + "GGGG" + r(45, 1) + "aabbbc");
  run({"42414124", "data.bin"});
  EXPECT_EQ(s.read("output.out"), dfile({"aa", "bbb", "c"}));
}

TEST_F(SplitTest, PositionsOnlyRecordsStopAtTheFirstElementAndSizesComeFromNeighbours) {
  s.write("data.bin", u32(12) + u32(15) + u32(20) + "abcdefghij");
  RunResult r = run({"4", "data.bin"});
  EXPECT_EQ(s.read("output.out"), dfile({"abc", "defgh", "ij"}));
  EXPECT_NE(r.out.find("12  3\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("20  2\n"), std::string::npos) << r.out;
}

TEST_F(SplitTest, RecordReadingOfHfileStopsAtHmax) {
  s.write("hdr.bin", u32(0) + u32(2) + u32(4));
  s.write("data.bin", "aabbcc");
  run({"4", "data.bin", "-h", "hdr.bin", "-hmax", "8"});
  EXPECT_EQ(s.read("output.out"), dfile({"aa", "bbcc"}));
}

TEST_F(SplitTest, SizesOnlyRecordsPlaceElementsBehindTheHeader) {
  s.write("data.bin", u32(2) + u32(10) + u32(20) + Bytes(10, 'a') + Bytes(20, 'b'));
  run({"40040", "data.bin"});
  EXPECT_EQ(s.read("output.out"), dfile({Bytes(10, 'a'), Bytes(20, 'b')}));

  s.write("data2.bin", u32(3) + u32(2) + "abcde");
  run({"040", "data2.bin", "out2", "-hc", "2"});
  EXPECT_EQ(s.read("out2"), dfile({"abc", "de"}));
}

TEST_F(SplitTest, MinAndMaxChooseTheElements) {
  s.write("hdr.bin", u32(0) + u32(2) + u32(4) + u32(6));
  s.write("data.bin", "aabbccdd");
  run({"4", "data.bin", "-h", "hdr.bin", "-min", "2", "-max", "6"});
  EXPECT_EQ(s.read("output.out"), dfile({"bb", "cc"}));
}

TEST_F(SplitTest, RepeatedPositionIsWrittenTwiceUnlessRd) {
  s.write("hdr.bin", rec(0, 2) + rec(0, 2) + rec(2, 1));
  s.write("data.bin", "abc");
  run({"440", "data.bin", "-h", "hdr.bin"});
  EXPECT_EQ(s.read("output.out"), dfile({"ab", "ab", "c"}));
  run({"440", "data.bin", "-h", "hdr.bin", "-rd"});
  EXPECT_EQ(s.read("output.out"), dfile({"ab", "c"}));
}

TEST_F(SplitTest, PerFileNumbersOnlyElementsInRange) {
  s.write("hdr.bin", rec(0, 2) + rec(2, 3) + rec(5, 2));
  s.write("data.bin", "aabbbcc");
  run({"440", "data.bin", "part", "-h", "hdr.bin", "-f", "-min", "1"});
  EXPECT_EQ(s.read("part.000"), "bbb");
  EXPECT_EQ(s.read("part.001"), "cc");
  EXPECT_FALSE(s.exists("part.002"));
  EXPECT_FALSE(s.exists("part"));

  s.write("part.000", "old");
  run({"440", "data.bin", "part", "-h", "hdr.bin", "-f", "-min", "1", "-a"});
  EXPECT_EQ(s.read("part.000"), "oldbbb");
  EXPECT_EQ(s.read("part.001"), "cccc");
}

TEST_F(SplitTest, SeparatorChoices) {
  writeCounted("data.bin", {"ab", "cde"});
  run({"4440", "data.bin", "-dd"});
  EXPECT_EQ(s.read("output.out"), "abcde");
  run({"4440", "data.bin", "-d", "XYZ"});
  EXPECT_EQ(s.read("output.out"), "abXYZcdeXYZ");
  run({"4440", "data.bin", "-d", "XYZW", "-ds", "2"});
  EXPECT_EQ(s.read("output.out"), "abXYcdeXY");
  s.write("sep.txt", "<\0>"s);
  run({"4440", "data.bin", "-df", "sep.txt"});
  EXPECT_EQ(s.read("output.out"), "ab<\0>cde<\0>"s);
  run({"4440", "data.bin", "-df", "sep.txt", "-ds", "1"});
  EXPECT_EQ(s.read("output.out"), "ab<cde<");
}

TEST_F(SplitTest, AppendKeepsOldOutput) {
  writeCounted("data.bin", {"abc"});
  s.write("output.out", "OLD");
  run({"4440", "data.bin", "-a"});
  EXPECT_EQ(s.read("output.out"), "OLD" + dfile({"abc"}));
}

TEST_F(SplitTest, CutInputEndsTheLastElementAtTheKeptData) {
  s.write("data.bin", u32(8) + u32(11) + "abcde" + Bytes(10, '\0'));
  RunResult r = run({"4", "data.bin", "-c"});
  EXPECT_EQ(s.read("output.out"), dfile({"abc", "de"}));
  EXPECT_EQ(s.read("tmpqzpm.qwe"), u32(8) + u32(11) + "abcde");
  EXPECT_NE(r.out.find("old size 23\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("new size 13\n"), std::string::npos) << r.out;

  run({"4", "data.bin", "-cl", "4"});
  EXPECT_EQ(s.read("output.out"), dfile({"abc", "de\0\0\0\0"s}));
}

TEST_F(SplitTest, TrimKindsCutEachElement) {
  writeCounted("data.bin", {"ab\0\0\0"s, "\0\0"s, "c\0"s});
  run({"4440", "data.bin", "-cb"});
  EXPECT_EQ(s.read("output.out"), dfile({"ab", "", "c"}));
  run({"4440", "data.bin", "-cbl", "1"});
  EXPECT_EQ(s.read("output.out"), dfile({"ab\0"s, "\0"s, "c\0"s}));
}

TEST_F(SplitTest, ElementTrimmedAwayStillGetsItsNumberedFile) {
  writeCounted("data.bin", {"ab\0"s, "\0\0"s, "c"});
  s.write("part.001", "STALE");
  run({"4440", "data.bin", "part", "-f", "-cb"});
  EXPECT_EQ(s.read("part.000"), "ab");
  EXPECT_EQ(s.read("part.001"), "");
  EXPECT_EQ(s.read("part.002"), "c");
}

TEST_F(SplitTest, PadKindsFillEachElement) {
  writeCounted("data.bin", {"ab", "cdefg"});
  run({"4440", "data.bin", "-eb", "8", "-ef", "."});
  EXPECT_EQ(s.read("output.out"), dfile({"ab......", "cdefg..."}));
  run({"4440", "data.bin", "-ebm", "4", "-ef", "."});
  EXPECT_EQ(s.read("output.out"), dfile({"ab..", "cdefg..."}));
  run({"4440", "data.bin", "-eba", "1", "-ef", "."});
  EXPECT_EQ(s.read("output.out"), dfile({"ab.", "cdefg."}));
}

TEST_F(SplitTest, ElementLongerThanExactBlockEndsRunWithStatus1) {
  writeCounted("data.bin", {"ab", "cdefg"});
  RunResult r = s.dataport({"4440", "data.bin", "-eb", "4", "-ef", "."});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: block is bigger than max(exact) block size\n");
  EXPECT_EQ(s.read("output.out"), dfile({"ab.."}) + "cdefg");
}

TEST_F(SplitTest, TableConvertsElementsEitherWay) {
  s.write("t.tbl", "a=AA\r\nxy=Z\r\n");
  writeCounted("data.bin", {"axy", "ba"});
  run({"4440", "data.bin", "-t", "t.tbl"});
  EXPECT_EQ(s.read("output.out"), dfile({"AAZ", "bAA"}));
  // "-tr" makes the split convert right to left: the b has no entry.
  writeCounted("back.bin", {"AAZ", "bAA"});
  RunResult r = s.dataport({"4440", "back.bin", "-t", "t.tbl", "-tr"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "1 bytes had no table entry\n");
  EXPECT_EQ(s.read("output.out"), dfile({"axy", "ba"}));
}

TEST_F(SplitTest, ShortElementEndsRunWithStatus1AndKeepsWhatWasWritten) {
  s.write("data.bin", u32(2) + rec(20, 5) + rec(25, 9) + "HELLOAB");
  RunResult r = s.dataport({"4440", "data.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: coping data\n");
  EXPECT_NE(r.out.find("ipos 25, opos 0 ,writen real 0\n"
                       "iname data.bin, oname output.out,copied 2  ,copy size 9 ,tbstable no\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(s.read("output.out"), dfile({"HELLO"}) + "AB");
}

// Writing no element is no error, but it is said.
RunResult expectNothingInRange(Scratch& s, const std::vector<std::string>& args) {
  RunResult r = s.dataport(args);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "no element lies in range\n");
  return r;
}

TEST_F(SplitTest, EmptyHeaderLeavesOutputAlone) {
  s.write("data.bin", u32(0) + "rest");
  s.write("output.out", "keep");
  expectNothingInRange(s, {"4440", "data.bin"});
  EXPECT_EQ(s.read("output.out"), "keep");
  expectNothingInRange(s, {"4440", "data.bin", "other.out"});
  EXPECT_FALSE(s.exists("other.out"));
}

TEST_F(SplitTest, NoElementInRangeEmptiesOutputAndWritesNoNumberedFile) {
  writeCounted("data.bin", {"abc"});
  s.write("output.out", "old");
  expectNothingInRange(s, {"4440", "data.bin", "-min", "100"});
  EXPECT_EQ(s.read("output.out"), "");
  expectNothingInRange(s, {"4440", "data.bin", "-min", "100", "-f"});
  EXPECT_FALSE(s.exists("output.out.000"));
}

TEST_F(SplitTest, OutputThatCannotBeWrittenEndsRunWithStatus1) {
  writeCounted("data.bin", {"abc"});
  std::filesystem::create_directory(s.path("outdir"));
  RunResult r = s.dataport({"4440", "data.bin", "outdir"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "outdir:error writing file: Is a directory\n");
}

TEST_F(SplitTest, OutputThatIsAnInputIsRefusedAndTheInputKept) {
  writeCounted("data.bin", {"abc", "de"});
  const Bytes data = s.read("data.bin");
  s.write("hdr.bin", rec(0, 4));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"4440", "data.bin", "./data.bin"},
        {"4440", "data.bin", "data.bin", "-c"},
        {"440", "data.bin", "hdr.bin", "-h", "hdr.bin"}}) {
    RunResult r = s.dataport(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, args[2] + ":output file is also an input file\n");
    EXPECT_EQ(s.read("data.bin"), data);
    EXPECT_EQ(s.read("hdr.bin"), rec(0, 4));
  }
  // Appending changes the input as well.
  RunResult r = s.dataport({"4440", "data.bin", "data.bin", "-a"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "data.bin:output file is also an input file\n");
  EXPECT_EQ(s.read("data.bin"), data);
}

TEST_F(SplitTest, ElementBeyond4GiBIsCopiedFromItsPosition) {
  const std::uint64_t at = (std::uint64_t{5} << 30) + 3;
  s.write("hdr.bin", le(at, 8) + le(4, 8));
  {
    std::ofstream f(s.path("data.bin"), std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write("DATA", 4);
  }
  run({"880", "data.bin", "-h", "hdr.bin"});
  EXPECT_EQ(s.read("output.out"), dfile({"DATA"}));
}

TEST_F(SplitTest, AppendGoesBeyond4GiBOfAnExistingOutput) {
  const std::uint64_t end = (std::uint64_t{5} << 30) + 7;
  writeCounted("data.bin", {"FAR"});
  {
    std::ofstream f(s.path("big.out"), std::ios::binary);
    f.seekp(static_cast<std::streamoff>(end - 1));
    f.put('E');
  }
  run({"4440", "data.bin", "big.out", "-a"});
  const Bytes added = dfile({"FAR"});
  std::ifstream f(s.path("big.out"), std::ios::binary);
  f.seekg(0, std::ios::end);
  EXPECT_EQ(static_cast<std::uint64_t>(f.tellg()), end + added.size());
  f.seekg(static_cast<std::streamoff>(end - 1));
  Bytes tail(added.size() + 1, '\0');
  f.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  EXPECT_EQ(tail, "E" + added);
}

}  // namespace
