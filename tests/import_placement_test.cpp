// Import with the header anywhere in the data file: in front of the
// elements, between them, behind all of them, or in a file of its own. The
// header is kept where it lies and patched there.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tests/rebuild_files.h"

namespace {

using e2e::Bytes;
using e2e::Scratch;
using rebuild::dfile;
using rebuild::headerAfter;
using rebuild::Piece;
using testing::HasSubstr;
using testing::Not;

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

const std::vector<Piece> kPieces = {{"ALPHA", "gg"}, {"BETA", ""}, {"GAMMA!", "tail"}};

/// The pieces without the bytes between them.
std::vector<Piece> withoutGaps(std::vector<Piece> pieces) {
  for (Piece& p : pieces) p.gap.clear();
  return pieces;
}

TEST(ImportPlacement, UneditedSplitAndImportGiveTheDataFileBackWhereverTheHeaderLies) {
  struct Placement {
    const char* name;
    std::size_t before;  // elements in front of the header
  };
  const Placement placements[] = {{"in front", 0}, {"between", 1}, {"behind all", 3}};
  const std::vector<std::vector<std::string>> runs = {{}, {"-f"}, {"-t", "t.tbl"}};
  for (const Placement& p : placements) {
    for (const auto& opts : runs) {
      SCOPED_TRACE(std::string(p.name) + (opts.empty() ? "" : " " + opts[0]));
      Scratch s;
      const auto data = headerAfter(p.before, "PRE", kPieces);
      s.write("data.bin", data.file);
      s.write("t.tbl", "A=aa\r\nB=bbb\r\n");
      const std::vector<std::string> common = with({"-hb", std::to_string(data.hbase)}, opts);
      auto split = s.dataport(with({"4440", "data.bin"}, common));
      ASSERT_EQ(split.status, 0) << split.err;
      auto r = s.dataport(with({"-i", "data.bin", "4440", "output.out", "new.bin"}, common));
      ASSERT_EQ(r.status, 0) << r.err;
      // Converted back, the text's bytes that no entry names are counted.
      const bool table = !opts.empty() && opts[0] == "-t";
      EXPECT_EQ(r.err, table ? "9 bytes had no table entry\n" : "");
      EXPECT_THAT(r.out, Not(HasSubstr("header moved")));
      EXPECT_EQ(s.read("new.bin"), data.file);
    }
  }
}

TEST(ImportPlacement, UneditedImportWithAnHfileGivesBothFilesBack) {
  Scratch s;
  const Bytes data = "LEAD" + rebuild::body(kPieces);
  const Bytes hfile = "h" + rebuild::header4440(4, kPieces) + "rest";
  s.write("data.bin", data);
  s.write("hdr.bin", hfile);
  const std::vector<std::string> opts = {"-h", "hdr.bin", "-hb", "1"};
  ASSERT_EQ(s.dataport(with({"4440", "data.bin"}, opts)).status, 0);
  auto r = s.dataport(with({"-i", "data.bin", "4440", "output.out", "new.bin", "new.hdr"}, opts));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("new.bin"), data);
  EXPECT_EQ(s.read("new.hdr"), hfile);
}

TEST(ImportPlacement, ElementsThatGrowInFrontOfTheHeaderMoveItAndSayWhere) {
  const std::vector<Bytes> edits = {"ALPHA+five", "BE", "GAMMA!"};
  std::vector<Piece> edited = kPieces;
  for (std::size_t k = 0; k < edits.size(); ++k) edited[k].data = edits[k];
  for (std::size_t before : {1u, 3u}) {
    for (bool append : {false, true}) {
      SCOPED_TRACE(std::to_string(before) + (append ? " appended" : ""));
      Scratch s;
      const auto old = headerAfter(before, "PRE", kPieces);
      const auto want = headerAfter(before, "PRE", edited);
      s.write("data.bin", old.file);
      s.write("edit.txt", dfile(edits));
      if (append) s.write("new.bin", "OLD");
      std::vector<std::string> args = {"-i", "data.bin", "4440", "edit.txt", "new.bin", "-hb",
                                       std::to_string(old.hbase)};
      if (append) args.push_back("-a");
      auto r = s.dataport(args);
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_THAT(r.out, HasSubstr("header moved to offset " + std::to_string(want.hbase) + "\n"));
      EXPECT_EQ(s.read("new.bin"), (append ? "OLD" : "") + want.file);
    }
  }
}

TEST(ImportPlacement, RecordsCarriedOverBehindTheLastEditedOneMoveWithATrailingHeader) {
  Scratch s;
  const auto old = headerAfter(3, "", kPieces);
  s.write("data.bin", old.file);
  s.write("edit.txt", dfile({"ALPHA-longer"}));
  auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "new.bin", "-hb",
                       std::to_string(old.hbase)});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Piece> edited = kPieces;
  edited[0].data = "ALPHA-longer";
  EXPECT_EQ(s.read("new.bin"), headerAfter(3, "", edited).file);
}

TEST(ImportPlacement, NoIndexDropsTheGapsButKeepsTheHeaderBehindItsElement) {
  for (std::size_t before : {1u, 3u}) {
    SCOPED_TRACE(before);
    Scratch s;
    const auto old = headerAfter(before, "PRE", kPieces);
    s.write("data.bin", old.file);
    s.write("edit.txt", dfile({"A", "BETA", "GAMMA!"}));
    auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "new.bin", "-ind", "-hb",
                         std::to_string(old.hbase)});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Piece> edited = withoutGaps(kPieces);
    edited[0].data = "A";
    EXPECT_EQ(s.read("new.bin"), headerAfter(before, "PRE", edited).file);
  }
}

TEST(ImportPlacement, HeaderOverlappingAnElementInRangeIsRefusedBeforeWriting) {
  struct Case {
    const char* name;
    Bytes file;
    std::vector<std::string> opts;
    const char* text;
  };
  const Case cases[] = {
      // The second element claims 6 bytes, 2 of them the header's.
      {"counted records behind the data",
       "AAAABBBB" + e2e::le(0, 4) + e2e::le(4, 4) + e2e::le(4, 4) + e2e::le(6, 4),
       {"-hb", "8", "-hc", "2"},
       "Error: the header at offset 8 (16 bytes) overlaps the element of header record 1 at 4 "
       "(6 bytes)\n"},
      // Read record by record up to the first position (12): the second
      // record, taken at 8, runs into the first element.
      {"record by record into the data",
       e2e::le(12, 4) + e2e::le(4, 4) + e2e::le(16, 4) + "ABCDEFGH",
       {},
       "Error: the header at offset 0 (16 bytes) overlaps the element of header record 0 at 12 "
       "(4 bytes)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch s;
    s.write("data.bin", c.file);
    s.write("edit.txt", dfile({"1", "2"}));
    auto r = s.dataport(with({"-i", "data.bin", "440", "edit.txt", "new.bin"}, c.opts));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.text);
    EXPECT_FALSE(s.exists("new.bin"));
  }
}

}  // namespace
