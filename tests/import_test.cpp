// Import mode through the built program: split a data file, edit (or not)
// what came out, import it back, and compare every byte of the result.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tests/rebuild_files.h"

namespace {

using e2e::Bytes;
using e2e::Scratch;
using rebuild::dataFile;
using rebuild::dfile;
using rebuild::Piece;
using testing::HasSubstr;

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// Splits data.bin into output.out (or numbered files with -f) and imports
// the result unedited into new.bin; both runs get `opts`.
void splitAndImport(const Scratch& s, const std::vector<std::string>& opts) {
  auto split = s.dataport(with({"4440", "data.bin"}, opts));
  ASSERT_EQ(split.status, 0) << split.err;
  auto import = s.dataport(with({"-i", "data.bin", "4440", "output.out", "new.bin"}, opts));
  ASSERT_EQ(import.status, 0) << import.err;
}

const std::vector<Piece> kPieces = {{"ALPHA", ""}, {"BETA", "gg"}, {"GAMMA!", "tail"}};

TEST(ImportRoundTrip, UneditedSplitAndImportGiveTheDataFileBack) {
  struct Layout {
    const char* name;
    Bytes front, lead;
    std::vector<Piece> pieces;
  };
  const std::vector<Layout> layouts = {
      {"packed", "", "", {{"ALPHA", ""}, {"BETA", ""}, {"GAMMA!", ""}}},
      {"bytes before hbase", "PRE", "", {{"ALPHA", ""}, {"BETA", ""}}},
      {"lead space", "", Bytes("\0\1\2lead", 7), {{"ALPHA", ""}, {"BETA", ""}}},
      {"gaps and tail", "", "", kPieces},
      {"everything", "PRE", "LEAD", {{"ALPHA", "g1"}, {"", "g2"}, {"BETA", ""}, {"Z", "end"}}},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    Scratch s;
    const Bytes data = dataFile(l.front, l.lead, l.pieces);
    s.write("data.bin", data);
    const std::string hb = std::to_string(l.front.size());
    splitAndImport(s, {"-hb", hb});
    EXPECT_EQ(s.read("new.bin"), data);
    splitAndImport(s, {"-hb", hb, "-f"});
    EXPECT_EQ(s.read("new.bin"), data) << "through numbered files";
  }
}

TEST(ImportRoundTrip, HeaderInHfileGoesToTheHeaderOutputFile) {
  for (const char* numbered : {"", "-f"}) {
    for (bool table : {false, true}) {
      SCOPED_TRACE(std::string(numbered) + (table ? " with a table" : ""));
      Scratch s;
      const std::vector<Piece> pieces = {{"ALPHA", "gg"}, {"BETA", "tail"}};
      const Bytes data = "LEADBYTES" + rebuild::body(pieces);
      const Bytes hfile = "hb!" + rebuild::header4440(9, pieces) + "after";
      s.write("data.bin", data);
      s.write("hdr.bin", hfile);
      s.write("t.tbl", "A=aa\r\nB=bbb\r\n");
      std::vector<std::string> opts = {"-h", "hdr.bin", "-hb", "3"};
      if (*numbered) opts.push_back(numbered);
      if (table) opts.insert(opts.end(), {"-t", "t.tbl"});
      ASSERT_EQ(s.dataport(with({"4440", "data.bin"}, opts)).status, 0);
      auto r = s.dataport(with({"-i", "data.bin", "4440", "output.out", "new.bin", "new.hdr"}, opts));
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_THAT(r.out, HasSubstr(" space between file start and data 9\n"));
      EXPECT_EQ(s.read("new.bin"), data);
      EXPECT_EQ(s.read("new.hdr"), hfile);
      EXPECT_EQ(s.read("hdr.bin"), hfile);
    }
  }
}

TEST(ImportRoundTrip, ReversibleTableGivesTheDataFileBack) {
  Scratch s;
  // Only A and B change; the exported text never holds a lone a or b.
  s.write("t.tbl", "A=aa\r\nB=bbb\r\n");
  const Bytes data = dataFile("FR", "lead", {{"ABC", "g"}, {"BBxA", "gap"}, {"CAB", "end"}});
  s.write("data.bin", data);
  splitAndImport(s, {"-hb", "2", "-t", "t.tbl"});
  EXPECT_EQ(s.read("output.out"), dfile({"aabbbC", "bbbbbbxaa", "Caabbb"}));
  EXPECT_EQ(s.read("new.bin"), data);
  splitAndImport(s, {"-hb", "2", "-t", "t.tbl", "-f"});
  EXPECT_EQ(s.read("output.out.001"), "bbbbbbxaa");
  EXPECT_EQ(s.read("new.bin"), data) << "through numbered files";
}

TEST(ImportRoundTrip, PositionBaseIsStoredAsTheHeaderHoldsIt) {
  Scratch s;
  const Bytes data = dataFile("", "ld", kPieces, 16);
  s.write("data.bin", data);
  splitAndImport(s, {"-b", "16"});
  EXPECT_EQ(s.read("output.out"), dfile({"ALPHA", "BETA", "GAMMA!"}));
  EXPECT_EQ(s.read("new.bin"), data);
}

TEST(ImportRoundTrip, RecordsLeftOutWithRdKeepTheirPlaceInTheHeader) {
  Scratch s;
  // Records 0 and 1 point at the same element; "-rd" reads it once.
  Bytes data = dataFile("", "", {{"AAA", ""}, {"", ""}, {"BB", "t"}});
  data.replace(12, 8, e2e::le(28, 4) + e2e::le(3, 4));
  s.write("data.bin", data);
  splitAndImport(s, {"-rd"});
  EXPECT_EQ(s.read("output.out"), dfile({"AAA", "BB"}));
  EXPECT_EQ(s.read("new.bin"), data);
}

TEST(ImportEdits, LongerAndShorterElementsMoveLaterPositionsAndKeepTheirGaps) {
  Scratch s;
  s.write("data.bin", dataFile("PRE", "LEAD", kPieces));
  s.write("edit.txt", dfile({"ALPHA+five", "BE", "GAMMA!"}));
  auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "new.bin", "-hb", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr(" space between header and data 4\n"));
  EXPECT_EQ(s.read("new.bin"),
            dataFile("PRE", "LEAD", {{"ALPHA+five", ""}, {"BE", "gg"}, {"GAMMA!", "tail"}}));
}

TEST(ImportEdits, HfileImportWritesTheMovedPositionsToTheHeaderOutput) {
  Scratch s;
  const std::vector<Piece> pieces = {{"ALPHA", "gg"}, {"BETA", ""}};
  s.write("data.bin", "LD" + rebuild::body(pieces));
  s.write("hdr.bin", rebuild::header4440(2, pieces));
  s.write("edit.txt", dfile({"AL", "BETA"}));
  auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "new.bin", "new.hdr", "-h",
                       "hdr.bin"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<Piece> edited = {{"AL", "gg"}, {"BETA", ""}};
  EXPECT_EQ(s.read("new.bin"), "LD" + rebuild::body(edited));
  EXPECT_EQ(s.read("new.hdr"), rebuild::header4440(2, edited));
}

TEST(ImportEdits, NoIndexDropsTheGapBytes) {
  Scratch s;
  s.write("data.bin", dataFile("", "LEAD", kPieces));
  s.write("edit.txt", dfile({"A", "BETA", "GAMMA!"}));
  auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "new.bin", "-ind"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("new.bin"), dataFile("", "LEAD", {{"A", ""}, {"BETA", ""}, {"GAMMA!", ""}}));
}

TEST(ImportEdits, FewerEditedElementsCarryTheRestOverWithTheirRecordsMoved) {
  Scratch s;
  s.write("data.bin", dataFile("", "", kPieces));
  s.write("edit.txt", dfile({"ALPHA-longer"}));
  auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "new.bin"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("new.bin"),
            dataFile("", "", {{"ALPHA-longer", ""}, {"BETA", "gg"}, {"GAMMA!", "tail"}}));
}

TEST(ImportEdits, DFileImportWithoutMaxReachesRecordsBeyondTheDFileSize) {
  Scratch s;
  // The elements lie far behind the header; the DFile is much shorter.
  const Bytes lead(300, '.');
  s.write("data.bin", dataFile("", lead, {{"ONE", "--"}, {"TWO", "TAIL"}}));
  s.write("edit.txt", dfile({"one!", "2"}));
  auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "new.bin"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("new.bin"), dataFile("", lead, {{"one!", "--"}, {"2", "TAIL"}}));
}

TEST(ImportEdits, AppendWritesTheFinalHeaderBehindTheOldContent) {
  Scratch s;
  s.write("data.bin", dataFile("PR", "", kPieces));
  s.write("edit.txt", dfile({"ALPHA", "BETA-X", "G"}));
  s.write("new.bin", "OLD CONTENT");
  auto r = s.dataport({"-a", "-i", "data.bin", "4440", "edit.txt", "new.bin", "-hb", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("new.bin"),
            "OLD CONTENT" + dataFile("PR", "", {{"ALPHA", ""}, {"BETA-X", "gg"}, {"G", "tail"}}));
}

TEST(ImportEdits, CutImportFileEndsTheLastGapAtTheKeptLength) {
  Scratch s;
  const Bytes data = dataFile("", "", {{"AB", "x"}, {"CD", "yz"}});
  s.write("data.bin", data + Bytes(10, '\0'));
  s.write("edit.txt", dfile({"ab", "cde"}));
  auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "new.bin", "-c"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("new.bin"), dataFile("", "", {{"ab", "x"}, {"cde", "yz"}}));
}

TEST(ImportEdits, EmptyHeaderAndNoEditedElementWriteNothing) {
  Scratch s;
  s.write("data.bin", e2e::le(0, 4) + "rest");
  s.write("edit.txt", "");
  auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "new.bin"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("importing\n"));
  EXPECT_FALSE(s.exists("new.bin"));
}

// Each refused import ends with its text and exit 1 and writes nothing.
void expectRefused(const Scratch& s, const std::vector<std::string>& args, const Bytes& text) {
  auto r = s.dataport(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, text);
  EXPECT_FALSE(s.exists("new.bin"));
}

TEST(ImportRefusals, UnpairableEditedElementsAreRefusedBeforeWriting) {
  Scratch s;
  s.write("data.bin", dataFile("", "", kPieces));
  const std::vector<std::string> args = {"-i", "data.bin", "4440", "edit.txt", "new.bin"};

  s.write("edit.txt", dfile({"1", "2", "3", "4"}));
  expectRefused(s, args,
                "Error: 4 edited elements, but only 3 header records from the first in range "
                "on\n");
  s.write("edit.txt", dfile({"2", "3"}));
  expectRefused(s, with(args, {"-min", "35"}),
                "Error: 2 edited elements, but only 1 header records from the first in range "
                "on\n");
  expectRefused(s, with(args, {"-min", "1000"}),
                "Error: edited elements found, but no header record lies in range\n");
  s.write("edit.txt", "text without any separator");
  expectRefused(s, args, "Error: no edited element found in edit.txt\n");
  expectRefused(s, with(args, {"-f"}), "edit.txt.000:input file not found\n");
  s.write("edit.txt", dfile({"1", "2"}));
  expectRefused(s, with(args, {"-ind"}),
                "Error: -ind needs one edited element for each of the 3 header records from the "
                "first in range on, found 2\n");
}

TEST(ImportRefusals, HeaderPointingPastTheImportFileIsRefused) {
  Scratch s;
  const std::vector<std::string> args = {"-i", "data.bin", "4440", "edit.txt", "new.bin",
                                         "-max", "1000"};
  Bytes data = dataFile("", "", {{"A", ""}});
  data.replace(4, 4, e2e::le(500, 4));  // the only element "lies" at 500
  s.write("data.bin", data);
  s.write("edit.txt", dfile({"1"}));
  expectRefused(s, args, "Error: the first element in range lies beyond the end of data.bin\n");

  data = dataFile("", "", {{"A", ""}, {"B", ""}});
  data.replace(12, 4, e2e::le(500, 4));  // so the gap after the first runs to 500
  s.write("data.bin", data);
  s.write("edit.txt", dfile({"1", "2"}));
  expectRefused(s, args,
                "Error: the gap after header record 0 reaches past the end of the import file\n");
}

TEST(ImportRefusals, OutputThatIsAnInputIsRefusedBeforeWriting) {
  Scratch s;
  const Bytes data = dataFile("", "", kPieces);
  const Bytes edits = dfile({"1", "2", "3"});
  const Bytes hfile = rebuild::header4440(28, kPieces);  // data.bin's own header
  s.write("data.bin", data);
  s.write("edit.txt", edits);
  s.write("hdr.bin", hfile);
  const std::vector<std::vector<std::string>> runs = {
      {"-i", "data.bin", "4440", "edit.txt", "./data.bin"},
      {"-i", "data.bin", "4440", "edit.txt", "edit.txt"},
      {"-i", "data.bin", "4440", "edit.txt", "data.bin", "-c"},
      {"-i", "data.bin", "4440", "edit.txt", "hdr.bin", "-h", "hdr.bin"},
  };
  for (const auto& args : runs) {
    auto r = s.dataport(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, args[4] + ":output file is also an input file\n");
  }
  auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "new.bin", "data.bin", "-h",
                       "hdr.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "data.bin:output file is also an input file\n");
  EXPECT_EQ(s.read("data.bin"), data);
  EXPECT_EQ(s.read("edit.txt"), edits);
  EXPECT_EQ(s.read("hdr.bin"), hfile);
  EXPECT_FALSE(s.exists("new.bin"));
}

TEST(ImportRefusals, UnwritableOutputEndsWithWriteError) {
  Scratch s;
  s.write("data.bin", dataFile("", "", kPieces));
  s.write("edit.txt", dfile({"1", "2", "3"}));
  auto r = s.dataport({"-i", "data.bin", "4440", "edit.txt", "no/such/dir/new.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "no/such/dir/new.bin:error writing file: No such file or directory\n");
}

}  // namespace
