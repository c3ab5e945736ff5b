// End-to-end tests of mendbin: the built program runs in a scratch folder on
// real files; the tests check the bytes left on the files, the text on
// standard output and standard error, and the exit code.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace {

using e2e::Bytes;
using e2e::Scratch;

const char kUsage[] =
    "mendbin - apply binary diff from windows file compare command\n"
    "version 20131213\n"
    "\n"
    "Usage: mendbin  DIFF_FILE  FILE_TO_PATCH [-n] [-r]\n"
    " apply DIFF_FILE to FILE_TO_PATCH\n"
    " -n  (optional) not verify data (dont validate BYTE_ORG)\n"
    " -r  (optional) revert (switch BYTE_ORG and BYTE_PATCH)\n"
    " DIFF_FILE is difference file created by MS Windows 'fc /B' command.\n"
    " DIFF_FILE first line is comment\n"
    "           each other line format 'HEX_OFFSET: HEX_BYTE_ORG HEX_BYTE_PATCH'\n"
    " HEX_OFFSET is handled as 32bit integers. HEX_BYTE as unsigned byte.\n"
    " Only errors are printed.\n";

const char kComment[] = "Comparing files OLD.BIN and NEW.BIN\r\n";

// A listing in fc /B form: the comment line, then the given entry lines, each
// ended by CR LF.
Bytes listing(const std::vector<std::string>& entries) {
  Bytes text = kComment;
  for (const std::string& e : entries) text += e + "\r\n";
  return text;
}

void expectQuietSuccess(const e2e::RunResult& r) {
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST(MendbinCommandLine, FewerThanTwoArgumentsPrintUsage) {
  Scratch s;
  s.write("d.txt", listing({"0: 61 62"}));
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"d.txt"}}) {
    e2e::RunResult r = s.mendbin(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir()), {}), 1);
}

TEST(MendbinCommandLine, OnlyTheSecondCharacterOfOptionWordsCounts) {
  Scratch s;
  s.write("d.txt", listing({"00000001: 62 42"}));
  s.write("f.bin", "aBc");
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "/r"}));  // reverted
  EXPECT_EQ(s.read("f.bin"), "abc");
  s.write("f.bin", "axc");
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "xn"}));  // not verified
  EXPECT_EQ(s.read("f.bin"), "aBc");
  s.write("f.bin", "abc");
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "-nr"}));  // n only: forwards
  EXPECT_EQ(s.read("f.bin"), "aBc");
  s.write("f.bin", "aBc");
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "-x", "r", "-r"}));  // all ignored
  EXPECT_EQ(s.read("f.bin"), "aBc");
  s.write("f.bin", "axc");
  e2e::RunResult r = s.mendbin({"d.txt", "f.bin", "-r", "-r"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: unknown data, not patching : pos 1 (0x1) : f.bin\n");
}

TEST(Mendbin, AppliesListingThenRevertsIt) {
  Scratch s;
  s.write("f.bin", Bytes("Hello, World!\0\xff", 15));
  s.write("d.txt", listing({"00000007: 57 77", "0000000C: 21 2E", "0000000E: FF 00"}));
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(s.read("f.bin"), Bytes("Hello, world.\0\0", 15));
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));  // a second time changes nothing
  EXPECT_EQ(s.read("f.bin"), Bytes("Hello, world.\0\0", 15));
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "-r"}));
  EXPECT_EQ(s.read("f.bin"), Bytes("Hello, World!\0\xff", 15));
}

TEST(Mendbin, ListingWithLfLinesAndOddSpacingReadsTheSame) {
  Scratch s;
  s.write("f.bin", "abcdef");
  s.write("d.txt", "comment\n  1:62 42\n\n\t3:\t64\t44   \n\n");
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(s.read("f.bin"), "aBcDef");
}

TEST(Mendbin, ListingOfOnlyItsCommentLineStillNeedsTheFile) {
  Scratch s;
  s.write("d.txt", std::string(3000, '#') + "\r\n");
  e2e::RunResult r = s.mendbin({"d.txt", "missing.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't open file : missing.bin : No such file or directory\n");
  EXPECT_FALSE(s.exists("missing.bin"));
  s.write("f.bin", "abc");
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(s.read("f.bin"), "abc");
}

TEST(Mendbin, LongFirstLineIsSkippedWhole) {
  Scratch s;
  s.write("f.bin", "abc");
  // The comment's 1024th character would start an entry if it were cut there.
  s.write("d.txt", std::string(1023, 'c') + "0: 61 41\r\n1: 62 42\r\n");
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(s.read("f.bin"), "aBc");
}

TEST(Mendbin, FilesThatCannotBeOpenedOrRead) {
  Scratch s;
  s.write("f.bin", "abc");
  s.write("d.txt", listing({"0: 61 41"}));
  std::filesystem::create_directory(s.dir() / "dir");
  e2e::RunResult r = s.mendbin({"nope.txt", "f.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't open file : nope.txt : No such file or directory\n");
  r = s.mendbin({"dir", "f.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: error reading file: dir : Is a directory\n");
  r = s.mendbin({"d.txt", "dir"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't open file : dir : Is a directory\n");
  EXPECT_EQ(s.read("f.bin"), "abc");
}

TEST(Mendbin, UnknownDataStopsTheRunWithEarlierEntriesApplied) {
  Scratch s;
  s.write("f.bin", "abcdefgh");
  s.write("d.txt", listing({"0: 61 41", "1: 62 42", "00000004: 58 59", "6: 67 47"}));
  e2e::RunResult r = s.mendbin({"d.txt", "f.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ERROR: unknown data, not patching : pos 4 (0x4) : f.bin\n");
  EXPECT_EQ(s.read("f.bin"), "ABcdefgh");
}

TEST(Mendbin, UnverifiedRunWritesWhateverWasThere) {
  Scratch s;
  s.write("f.bin", "xyz");
  s.write("d.txt", listing({"0: 61 41", "1: 62 42", "2: 62 42"}));
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "-n"}));
  EXPECT_EQ(s.read("f.bin"), "ABB");
}

TEST(Mendbin, OffsetPastTheEnd) {
  Scratch s;
  s.write("f.bin", "abc");
  s.write("d.txt", listing({"0: 61 41", "5: 00 46"}));
  e2e::RunResult r = s.mendbin({"d.txt", "f.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't read from file : f.bin : Success\n");
  EXPECT_EQ(s.read("f.bin"), "Abc");
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "-n"}));
  EXPECT_EQ(s.read("f.bin"), Bytes("Abc\0\0F", 6));
}

TEST(Mendbin, OffsetsFrom80000000CannotBePositioned) {
  Scratch s;
  s.write("f.bin", "abc");
  for (const char* offset : {"80000000", "FFFFFFFF", "100000000", "-1"}) {
    s.write("d.txt", listing({"0: 61 41", std::string(offset) + ": 00 01"}));
    e2e::RunResult r = s.mendbin({"d.txt", "f.bin", "-n"});
    EXPECT_EQ(r.status, 1) << offset;
    EXPECT_EQ(r.err, "ERROR: can't seek in file : f.bin : Invalid argument\n") << offset;
    EXPECT_EQ(s.read("f.bin"), "Abc") << offset;
    s.write("f.bin", "abc");
  }
}

TEST(Mendbin, HighestPatchablePositionIs7FFFFFFF) {
  Scratch s;
  s.write("f.bin", "");
  s.write("d.txt", listing({"7FFFFFFF: 00 5A"}));
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "-n"}));
  std::FILE* f = std::fopen(s.path("f.bin").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fseek(f, 0x7FFFFFFF, SEEK_SET), 0);
  EXPECT_EQ(std::fgetc(f), 0x5A);
  EXPECT_EQ(std::fgetc(f), EOF);
  std::fclose(f);
}

TEST(Mendbin, ByteValuesKeepTheirLowEightBits) {
  Scratch s;
  s.write("f.bin", "\xff");
  s.write("d.txt", listing({"0: 1FF 141"}));
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(s.read("f.bin"), "A");
}

TEST(Mendbin, ListingEndsAtTheFirstEntryThatDoesNotParse) {
  Scratch s;
  s.write("f.bin", "abcd");
  s.write("d.txt", listing({"0: 61 41", "FC: B.BIN longer than A.BIN", "1: 62 42"}));
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(s.read("f.bin"), "Abcd");
  s.write("d.txt", listing({"1: 62 42", "2 : 63 43", "3: 64 44"}));  // blank before the colon
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(s.read("f.bin"), "ABcd");
}

TEST(Mendbin, LaterEntrySeesEarlierWriteAtTheSameOffset) {
  Scratch s;
  s.write("f.bin", "abc");
  s.write("d.txt", listing({"1: 62 78", "1: 78 79"}));
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(s.read("f.bin"), "ayc");
}

TEST(MendbinDevices, ReadBackFromDeviceThatForgetsIsAVerifyFailure) {
  Scratch s;
  s.write("d.txt", listing({"00000003: 00 01", "00000010: 00 00"}));
  e2e::RunResult r = s.mendbin({"d.txt", "/dev/zero"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "ERROR: verify fail, data not written : pos 3 (0x3) : file /dev/zero\n");
}

TEST(MendbinDevices, FailedFinalFlushOfUnverifiedRunIsReported) {
  Scratch s;
  s.write("d.txt", listing({"00000003: 00 01"}));
  e2e::RunResult r = s.mendbin({"d.txt", "/dev/full", "-n"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: failed flush file : /dev/full : No space left on device\n");
  r = s.mendbin({"d.txt", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: failed flush file : /dev/full : No space left on device\n");
}

TEST(MendbinDevices, PipeCannotBePositioned) {
  Scratch s;
  s.write("d.txt", listing({"0: 00 01"}));
  ASSERT_EQ(mkfifo(s.path("fifo").c_str(), 0600), 0);
  e2e::RunResult r = s.mendbin({"d.txt", "fifo", "-n"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't seek in file : fifo : Illegal seek\n");
}

// The independent oracle: GNU cmp -l lists every differing byte as its
// 1-based position in decimal and both bytes in octal.
std::string findCmp() {
  for (const char* p : {"/usr/bin/cmp", "/bin/cmp"}) {
    if (access(p, X_OK) == 0) return p;
  }
  return {};
}

Bytes fcListingFromCmp(const std::string& cmpOutput) {
  Bytes text = "Comparing files A.BIN and B.BIN\r\n";
  std::istringstream in(cmpOutput);
  unsigned long position = 0;
  unsigned a = 0, b = 0;
  while (in >> std::dec >> position >> std::oct >> a >> b) {
    char line[40];
    std::snprintf(line, sizeof line, "%08lX: %02X %02X\r\n", position - 1, a, b);
    text += line;
  }
  return text;
}

TEST(MendbinRoundTrip, ListingFromCmpTurnsOneFileIntoTheOther) {
  const std::string cmp = findCmp();
  if (cmp.empty()) GTEST_SKIP() << "GNU cmp not found";
  Scratch s;
  std::mt19937 rng(20131213);
  Bytes first(200000, '\0');
  for (char& c : first) c = static_cast<char>(rng());
  Bytes second = first;
  for (int i = 0; i < 30000; ++i) second[rng() % second.size()] = static_cast<char>(rng());
  second.front() = static_cast<char>(~first.front());
  second.back() = static_cast<char>(~first.back());
  s.write("a.bin", first);
  s.write("b.bin", second);
  e2e::RunResult diff = s.run(cmp, {"-l", "a.bin", "b.bin"});
  ASSERT_EQ(diff.status, 1);  // cmp: the files differ
  Bytes fc = fcListingFromCmp(diff.out);
  ASSERT_GT(fc.size(), 25000u * 16);
  s.write("d.txt", fc);

  s.write("f.bin", first);
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_TRUE(s.read("f.bin") == second);
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "-r"}));
  EXPECT_TRUE(s.read("f.bin") == first);
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "-n"}));
  EXPECT_TRUE(s.read("f.bin") == second);
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin", "-n", "-r"}));
  EXPECT_TRUE(s.read("f.bin") == first);
}

}  // namespace
