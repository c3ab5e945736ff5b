// Join mode through the built program: a new data file with a freshly built
// header from a DFile or from numbered files.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tests/rebuild_files.h"

namespace {

using e2e::Bytes;
using e2e::le;
using e2e::Scratch;
using rebuild::dfile;
using testing::HasSubstr;

const Bytes kA(10, 'a'), kB(20, 'b'), kC(30, 'c');

/// A 440 header (position, size per record, no count field).
Bytes header440(const std::vector<std::pair<int, int>>& records) {
  Bytes h;
  for (auto [pos, size] : records) h += le(pos, 4) + le(size, 4);
  return h;
}

Scratch& withElements(Scratch& s) {
  s.write("in.txt", dfile({kA, kB, kC}));
  return s;
}

TEST(Join, BuildsTheHeaderInFrontOfTheElements) {
  Scratch s;
  auto r = withElements(s).dataport({"-j", "440", "in.txt", "out.bin"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("joining\n"));
  EXPECT_EQ(s.read("out.bin"), header440({{24, 10}, {34, 20}, {54, 30}}) + kA + kB + kC);
}

TEST(Join, CountFieldAndHeaderBaseComeBeforeThePositions) {
  Scratch s;
  s.write("in.txt", dfile({"abc", "de"}));
  auto r = s.dataport({"-j", "4440", "in.txt", "out.bin", "-hb", "4", "-ef", "x"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.bin"),
            "xxxx" + le(2, 4) + le(24, 4) + le(3, 4) + le(27, 4) + le(2, 4) + "abcde");
}

TEST(Join, BlockPaddingRewritesSizesAndPositions) {
  Scratch s;
  auto r = withElements(s).dataport({"-j", "440", "in.txt", "out.bin", "-ebm", "16"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.bin"), header440({{24, 16}, {40, 32}, {72, 32}}) + kA + Bytes(6, '\0') +
                                   kB + Bytes(12, '\0') + kC + Bytes(2, '\0'));
}

TEST(Join, HeaderBaseIsFilledWithTheFillByte) {
  Scratch s;
  auto r = withElements(s).dataport({"-j", "440", "in.txt", "out.bin", "-hb", "4", "-ef", "x"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.bin"), "xxxx" + header440({{28, 10}, {38, 20}, {58, 30}}) + kA + kB + kC);
}

TEST(Join, HfileNameSendsFillAndHeaderToTheHeaderOutput) {
  Scratch s;
  auto r = withElements(s).dataport(
      {"-j", "440", "in.txt", "out.bin", "out.hdr", "-h", "x", "-hb", "2", "-ef", "#", "-ebm", "16"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.hdr"), "##" + header440({{0, 16}, {16, 32}, {48, 32}}));
  EXPECT_EQ(s.read("out.bin"),
            kA + Bytes(6, '#') + kB + Bytes(12, '#') + kC + Bytes(2, '#'));
}

TEST(Join, AppendRewritesTheHeaderBehindTheOldContent) {
  Scratch s;
  s.write("out.bin", "OLD");
  auto r = withElements(s).dataport({"-j", "440", "in.txt", "out.bin", "-a", "-ebm", "16"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.bin"), "OLD" + header440({{24, 16}, {40, 32}, {72, 32}}) + kA +
                                   Bytes(6, '\0') + kB + Bytes(12, '\0') + kC + Bytes(2, '\0'));
}

TEST(Join, ExactSizePadsTheOutput) {
  Scratch s;
  auto r = withElements(s).dataport({"-j", "440", "in.txt", "out.bin", "-e", "100", "-ef", "z"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.bin"),
            header440({{24, 10}, {34, 20}, {54, 30}}) + kA + kB + kC + Bytes(16, 'z'));
}

TEST(Join, NumberedFilesJoinLikeTheDFile) {
  Scratch s;
  s.write("el.000", kA);
  s.write("el.001", kB);
  s.write("el.002", kC);
  s.write("el.004", "not joined: el.003 is missing");
  auto r = s.dataport({"-j", "440", "el", "out.bin", "-f"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.bin"), header440({{24, 10}, {34, 20}, {54, 30}}) + kA + kB + kC);
}

TEST(Join, TableConvertsBackAndTheHeaderCountsConvertedBytes) {
  Scratch s;
  s.write("t.tbl", "A=aa\r\nB=bbb\r\n");
  s.write("in.txt", dfile({"aabbbC", "bbbx"}));
  auto r = s.dataport({"-j", "440", "in.txt", "out.bin", "-t", "t.tbl"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.bin"), header440({{16, 3}, {19, 2}}) + "ABC" + "Bx");
}

TEST(Join, PositionBaseGivesAFileThatSplitReadsBack) {
  Scratch s;
  auto r = withElements(s).dataport({"-j", "440", "in.txt", "out.bin", "-b", "16"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.bin"), header440({{8, 10}, {18, 20}, {38, 30}}) + kA + kB + kC);
  r = s.dataport({"440", "out.bin", "back.txt", "-b", "16"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("back.txt"), s.read("in.txt"));
}

TEST(Join, NothingToJoinIsRefusedAndWritesNothing) {
  Scratch s;
  s.write("in.txt", "no separator in here");
  auto r = s.dataport({"-j", "440", "in.txt", "out.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: no element found in in.txt\n");
  EXPECT_THAT(r.out, HasSubstr("joining\n"));
  EXPECT_FALSE(s.exists("out.bin"));
}

TEST(Join, OutputThatIsTheDFileIsRefusedAndTheDFileKept) {
  Scratch s;
  withElements(s);
  const Bytes dfileBytes = s.read("in.txt");
  auto r = s.dataport({"-j", "440", "in.txt", "in.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "in.txt:output file is also an input file\n");
  r = s.dataport({"-j", "440", "in.txt", "out.bin", "./in.txt", "-h", "x"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "./in.txt:output file is also an input file\n");
  EXPECT_EQ(s.read("in.txt"), dfileBytes);
  EXPECT_FALSE(s.exists("out.bin"));
}

TEST(Join, UnwritableOutputsEndWithWriteError) {
  Scratch s;
  withElements(s);
  auto r = s.dataport({"-j", "440", "in.txt", "no/dir/out.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "no/dir/out.bin:error writing file: No such file or directory\n");
  r = s.dataport({"-j", "440", "in.txt", "out.bin", "no/dir/out.hdr", "-h", "x"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "no/dir/out.hdr:error writing file: No such file or directory\n");
}

}  // namespace
