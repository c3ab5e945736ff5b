// DFile split and join through the built program.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tests/rebuild_files.h"

namespace {

using e2e::Bytes;
using e2e::Scratch;
using rebuild::dfile;
using testing::HasSubstr;

const Bytes kSep = e2e::defaultSeparator();

TEST(DFileSplit, WritesEachElementIntoANumberedFile) {
  Scratch s;
  s.write("in.txt", dfile({"A", "BB"}));
  auto r = s.dataport({"-sd", "4", "in.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("spliting DFIle\n"));
  EXPECT_EQ(s.read("output.out.000"), "A");
  EXPECT_EQ(s.read("output.out.001"), "BB");
  EXPECT_FALSE(s.exists("output.out.002"));
}

TEST(DFileSplit, SeparatorInDataStaysWithEachElement) {
  Scratch s;
  s.write("in.txt", dfile({"A", "BB"}));
  auto r = s.dataport({"-sd", "4", "in.txt", "-dd"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("output.out.000"), "A" + kSep);
  EXPECT_EQ(s.read("output.out.001"), "BB" + kSep);
}

TEST(DFileSplit, ElementsBelowMinUseNoNumber) {
  Scratch s;
  s.write("in.txt", dfile({"A", "BB", "CCC"}));
  auto r = s.dataport({"-sd", "4", "in.txt", "part", "-min", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("part.000"), "BB");
  EXPECT_EQ(s.read("part.001"), "CCC");
  EXPECT_FALSE(s.exists("part.002"));
}

TEST(DFileSplit, FileWithoutSeparatorIsRefusedAndWritesNothing) {
  Scratch s;
  s.write("in.txt", "no separator");
  auto r = s.dataport({"-sd", "4", "in.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: no element found in in.txt\n");
  EXPECT_THAT(r.out, HasSubstr("spliting DFIle\n"));
  EXPECT_FALSE(s.exists("output.out.000"));
}

TEST(DFileSplit, AppendAddsToExistingNumberedFiles) {
  Scratch s;
  s.write("in.txt", dfile({"A", "BB"}));
  s.write("output.out.000", "old");
  auto r = s.dataport({"-sd", "4", "in.txt", "-a"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("output.out.000"), "oldA");
  EXPECT_EQ(s.read("output.out.001"), "BB");
}

TEST(DFileSplit, TableConvertsRightSidesToLeftSides) {
  Scratch s;
  s.write("t.tbl", "A=aa\r\n");
  s.write("in.txt", dfile({"aaxa", "aaaa"}));
  auto r = s.dataport({"-sd", "4", "in.txt", "-t", "t.tbl"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("output.out.000"), "Axa");
  EXPECT_EQ(s.read("output.out.001"), "AA");
}

TEST(DFileJoin, WritesEachFileFollowedByTheSeparator) {
  Scratch s;
  s.write("input.000", "A");
  s.write("input.001", "BB");
  auto r = s.dataport({"-jd", "4", "input"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("Joining DFile\n"));
  EXPECT_EQ(s.read("output.out"), dfile({"A", "BB"}));
}

TEST(DFileJoin, StopsAtTheFirstMissingNumber) {
  Scratch s;
  s.write("input.000", "A");
  s.write("input.002", "CCC");
  auto r = s.dataport({"-jd", "4", "input", "out.txt", "-d", "#", "-ds", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.txt"), "A#");
}

TEST(DFileJoin, ExactSizeFillsTheOutput) {
  Scratch s;
  s.write("input.000", Bytes(9, 'a'));
  s.write("input.001", Bytes(9, 'b'));
  auto r = s.dataport({"-jd", "4", "input", "out.txt", "-e", "100", "-ef", "."});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.txt"), dfile({Bytes(9, 'a'), Bytes(9, 'b')}) + Bytes(40, '.'));
}

TEST(DFileJoin, AppendKeepsTheOldContentAndSepInDataWritesNoSeparator) {
  Scratch s;
  s.write("input.000", "A");
  s.write("input.001", "BB");
  s.write("out.txt", "old");
  auto r = s.dataport({"-jd", "4", "input", "out.txt", "-a"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.txt"), "old" + dfile({"A", "BB"}));
  r = s.dataport({"-jd", "4", "input", "plain.txt", "-dd"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("plain.txt"), "ABB");
}

TEST(DFileJoin, NoNumberedFileIsNotFoundAndWritesNothing) {
  Scratch s;
  auto r = s.dataport({"-jd", "4", "input", "out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "input.000:input file not found\n");
  EXPECT_FALSE(s.exists("out.txt"));
}

TEST(DFileJoin, UnwritableOutputEndsWithWriteError) {
  Scratch s;
  s.write("input.000", "A");
  auto r = s.dataport({"-jd", "4", "input", "no/dir/out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "no/dir/out.txt:error writing file: No such file or directory\n");
}

TEST(DFileRoundTrip, SplitThenJoinGivesTheDFileBackUpToItsLastSeparator) {
  struct Case {
    const char* name;
    std::vector<std::string> opts;
    Bytes sep;
  };
  const std::vector<Case> cases = {
      {"default separator", {}, kSep},
      {"own separator", {"-d", "<>", "-ds", "2"}, "<>"},
      {"separator in data", {"-dd"}, kSep},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch s;
    const Bytes whole = dfile({"first", "", Bytes("\0\r\n", 3), Bytes(5000, 'x')}, c.sep);
    s.write("in.txt", whole + "trailing bytes after the last separator");
    std::vector<std::string> split = {"-sd", "4", "in.txt", "part"};
    split.insert(split.end(), c.opts.begin(), c.opts.end());
    auto r = s.dataport(split);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> join = {"-jd", "4", "part", "back.txt"};
    join.insert(join.end(), c.opts.begin(), c.opts.end());
    r = s.dataport(join);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(s.read("back.txt"), whole);
  }
}

TEST(DFileRoundTrip, ReversibleTableRoundTrips) {
  Scratch s;
  s.write("t.tbl", "A=aa\r\nB=bbb\r\n");
  const Bytes whole = dfile({"aabbbC", "bbbxaa"});
  s.write("in.txt", whole);
  ASSERT_EQ(s.dataport({"-sd", "4", "in.txt", "part", "-t", "t.tbl"}).status, 0);
  EXPECT_EQ(s.read("part.001"), "BxA");
  ASSERT_EQ(s.dataport({"-jd", "4", "part", "back.txt", "-t", "t.tbl"}).status, 0);
  EXPECT_EQ(s.read("back.txt"), whole);
}

}  // namespace
