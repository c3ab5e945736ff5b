// dataport's command line as a user meets it: messages on standard error,
// exit status, and that a failed run keeps what it wrote.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tools_version.h"

namespace {

using e2e::Bytes;
using e2e::le;
using e2e::Scratch;

/// A data file with a 440 header of two records: "ABCD" at 16 and "xyz" at 20.
Bytes twoElementFile() { return le(16, 4) + le(4, 4) + le(20, 4) + le(3, 4) + "ABCDxyz!"; }

std::size_t filesIn(const Scratch& s) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(s.dir())) ++n;
  return n;
}

TEST(Cli, EmptyCommandLineHelpAndQuestionMarkPrintTheUsageAndTouchNoFile) {
  Scratch s;
  s.write("in.bin", twoElementFile());
  const std::string usage = s.dataport({}).out;
  EXPECT_EQ(usage.rfind("dataport - ", 0), 0u) << usage;
  EXPECT_NE(usage.find("Usage: dataport [options] HTYPE INPUT"), std::string::npos);
  const std::vector<std::string> lines[] = {
      {}, {"--help"}, {"-?"}, {"440", "in.bin", "--help"}, {"-q", "-?"}};
  for (const auto& args : lines) {
    auto r = s.dataport(args);
    EXPECT_EQ(r.out, usage);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
  EXPECT_EQ(filesIn(s), 1u);
}

TEST(Cli, VersionPrintsNameAndProjectVersion) {
  Scratch s;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--version"},
                                               {"440", "--version", "-q"}}) {
    auto r = s.dataport(args);
    EXPECT_EQ(r.out, std::string("dataport ") + TOOLS_VERSION + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
  EXPECT_EQ(filesIn(s), 0u);
}

TEST(Cli, HelpWordAsAnOptionValueIsTheValue) {
  Scratch s;
  s.write("in.bin", twoElementFile());
  auto r = s.dataport({"440", "in.bin", "-q", "-d", "--help"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(s.read("output.out"), "ABCD--help" "xyz--help");
}

TEST(Cli, HFileOptionIsNoHelp) {
  Scratch s;
  auto r = s.dataport({"-h"});
  EXPECT_EQ(r.err, "-h:error parse\n");
  EXPECT_EQ(r.status, 1);
}

TEST(Cli, ParseErrorsEndWithTheirMessageAndStatus1) {
  Scratch s;
  s.write("in.bin", twoElementFile());
  struct Case {
    std::vector<std::string> args;
    const char* err;
  };
  const Case cases[] = {
      {{"440"}, "input:error parse\n"},
      {{"440", "in.bin", "-i"}, "-i:error parse(input file)\n"},
      {{"-b", "ten", "440", "in.bin"}, "-b:error parse\n"},
      {{"-ef", "ab", "440", "in.bin"}, "-ef:error parse\n"},
      {{"0", "in.bin"}, "error reading htype\n"},
      {{"4-0", "in.bin"}, "error reading htype\n"},
      {{"1234567", "in.bin"}, "error reading htype(not knowen type)\n"},
      {{"-df", "nosep.txt", "440", "in.bin"}, "dfile: error checking size of dfile\n"},
  };
  for (const Case& c : cases) {
    auto r = s.dataport(c.args);
    EXPECT_EQ(r.err, c.err) << c.args[0];
    EXPECT_EQ(r.status, 1) << c.args[0];
  }
  EXPECT_FALSE(s.exists("output.out"));
}

TEST(Cli, MissingInputNamesTheFile) {
  Scratch s;
  auto r = s.dataport({"440", "in.bin"});
  EXPECT_EQ(r.err, "in.bin:input file not found\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(s.exists("output.out"));
}

TEST(Cli, MissingTableShowsTheLoadLineThenTheTableMessage) {
  Scratch s;
  s.write("in.bin", twoElementFile());
  auto r = s.dataport({"440", "in.bin", "-t", "none.tbl"});
  EXPECT_EQ(r.err, "File none.tbl dont exist\nnone.tbl:tbs table file error initialization\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(s.exists("output.out"));
}

TEST(Cli, SplitIsTheDefaultModeAndSucceedsWithStatus0) {
  Scratch s;
  s.write("in.bin", twoElementFile());
  auto r = s.dataport({"440", "in.bin"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  const Bytes sep = e2e::defaultSeparator();
  EXPECT_EQ(s.read("output.out"), "ABCD" + sep + "xyz" + sep);
  EXPECT_NE(r.out.find("004040\n0 0 4 0 4 0 0 0 (0 0 4 0 4 0 0 0)\n"), std::string::npos);
}

TEST(Cli, SeparatorWordShorterThanTheDefaultLengthSeparatesWithItsBytes) {
  Scratch s;
  s.write("in.bin", twoElementFile());
  auto r = s.dataport({"440", "in.bin", "split.txt", "-d", "XYZ"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("split.txt"), "ABCDXYZxyzXYZ");
}

TEST(Cli, FailedRunKeepsWhatItWroteAndExits1) {
  Scratch s;
  // The second record claims 100 bytes where only 4 remain.
  s.write("in.bin", le(16, 4) + le(4, 4) + le(20, 4) + le(100, 4) + "ABCDxyz!");
  auto r = s.dataport({"440", "in.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: coping data\n");
  const Bytes sep = e2e::defaultSeparator();
  EXPECT_EQ(s.read("output.out").substr(0, 4 + sep.size()), "ABCD" + sep);
}

TEST(Cli, OutputThatCannotBeCreatedIsAWriteError) {
  Scratch s;
  s.write("in.bin", twoElementFile());
  auto r = s.dataport({"440", "in.bin", "nodir/out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "nodir/out.txt:error writing file: No such file or directory\n");
}

}  // namespace
