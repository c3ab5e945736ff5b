// File names beyond ASCII: every name on the command line reaches the files
// unchanged (on Windows through the wide command line and the wide file
// functions), and the messages name the files as typed.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tests/rebuild_files.h"

namespace {

using e2e::Bytes;
using e2e::Scratch;
using rebuild::dataFile;
using rebuild::dfile;
using rebuild::Piece;

// UTF-8 names: "data", "dialogue", "rebuilt", "difference", "target".
const std::string kData = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.bin";
const std::string kLines = "\xE5\x8F\xB0\xE8\xA9\x9E";
const std::string kRebuilt = "\xE5\x86\x8D\xE6\xA7\x8B\xE7\xAF\x89.bin";
const std::string kDiff = "\xE5\xB7\xAE\xE5\x88\x86.txt";
const std::string kTarget = "\xE5\xAF\xBE\xE8\xB1\xA1 \xE3\x81\xAE.bin";  // with a space

const std::vector<Piece> kPieces = {{"ALPHA", "g"}, {"BETA", ""}};

TEST(JapaneseFileNames, SplitImportAndJoinThroughNumberedFiles) {
  Scratch s;
  const Bytes data = dataFile("", "", kPieces);
  s.write(kData, data);

  auto r = s.dataport({"4440", kData, "-f", kLines});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read(kLines + ".000"), "ALPHA");
  EXPECT_EQ(s.read(kLines + ".001"), "BETA");

  r = s.dataport({"-i", kData, "4440", kLines, kRebuilt, "-f"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read(kRebuilt), data);

  r = s.dataport({"4440", kData, kLines + ".txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read(kLines + ".txt"), dfile({"ALPHA", "BETA"}));
}

TEST(JapaneseFileNames, OutputThatIsTheInputIsRefusedByItsName) {
  Scratch s;
  const Bytes data = dataFile("", "", kPieces);
  s.write(kData, data);
  auto r = s.dataport({"4440", kData, kData});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kData + ":output file is also an input file\n");
  EXPECT_EQ(s.read(kData), data);
}

TEST(JapaneseFileNames, MendbinPatchesAndNamesTheFile) {
  Scratch s;
  s.write(kTarget, "abc");
  s.write(kDiff, "Comparing files\r\n00000001: 62 42\r\n");
  auto r = s.mendbin({kDiff, kTarget});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read(kTarget), "aBc");
  r = s.mendbin({kDiff, kTarget});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");  // already patched: skipped
  r = s.mendbin({kDiff, kLines});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("ERROR: can't open file : " + kLines + " : ", 0), 0u) << r.err;
}

}  // namespace
