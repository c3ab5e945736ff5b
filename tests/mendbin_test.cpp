// End-to-end tests of mendbin: the built program runs in a scratch folder on
// real files; the tests check the bytes left on the files, the text on
// standard output and standard error, and the exit code.

#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tests/mendbin_listings.h"
#include "tools_version.h"

namespace {

using e2e::Bytes;
using e2e::Scratch;
using mendbin_e2e::expectQuietSuccess;
using mendbin_e2e::listing;

const char kUsage[] =
    "mendbin - apply binary diff from windows file compare command\n"
    "version 20131213\n"
    "\n"
    "Usage: mendbin  DIFF_FILE  FILE_TO_PATCH [-n] [-r]\n"
    " apply DIFF_FILE to FILE_TO_PATCH\n"
    " -n  (optional) not verify data (dont validate BYTE_ORG)\n"
    " -r  (optional) revert (switch BYTE_ORG and BYTE_PATCH)\n"
    " -c  (optional) check only: verify the whole DIFF_FILE, write nothing\n"
    " DIFF_FILE is difference file created by MS Windows 'fc /B' command.\n"
    " DIFF_FILE first line is comment\n"
    "           each other line format 'HEX_OFFSET: HEX_BYTE_ORG HEX_BYTE_PATCH'\n"
    " HEX_OFFSET is handled as 32bit integers. HEX_BYTE as unsigned byte.\n"
    " Only errors are printed.\n";

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

TEST(MendbinCommandLine, HelpOrVersionAloneAnswerAndTouchNoFile) {
  Scratch s;
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"--help"}, kUsage},
      {{"--version"}, std::string("mendbin ") + TOOLS_VERSION + "\n"},
  };
  for (const Case& c : cases) {
    e2e::RunResult r = s.mendbin(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir()), {}), 0);
}

TEST(MendbinCommandLine, VersionWithOtherArgumentsIsTheDiffFileName) {
  Scratch s;
  s.write("f.bin", "abc");
  e2e::RunResult r = s.mendbin({"--version", "f.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("ERROR: can't open file : --version : ", 0), 0u) << r.err;
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
  r = s.mendbin({"d.txt", "f.bin"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "no differences listed\n");
  EXPECT_EQ(s.read("f.bin"), "abc");
}

TEST(Mendbin, LongFirstLineIsSkippedWhole) {
  Scratch s;
  s.write("f.bin", "abc");
  // The comment's 1024th character would start an entry if it were cut there.
  s.write("d.txt", std::string(1023, 'x') + "0: 61 41\r\n1: 62 42\r\n");
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(s.read("f.bin"), "aBc");
}

TEST(Mendbin, MissingListingIsReportedByName) {
  Scratch s;
  s.write("f.bin", "abc");
  s.write("d.txt", listing({"0: 61 41"}));
  e2e::RunResult r = s.mendbin({"nope.txt", "f.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't open file : nope.txt : No such file or directory\n");
  EXPECT_EQ(s.read("f.bin"), "abc");
}

TEST(Mendbin, UnknownDataStopsTheRunBeforeAnythingIsWritten) {
  Scratch s;
  s.write("f.bin", "abcdefgh");
  s.write("d.txt", listing({"0: 61 41", "1: 62 42", "00000004: 58 59", "6: 67 47"}));
  e2e::RunResult r = s.mendbin({"d.txt", "f.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ERROR: unknown data, not patching : pos 4 (0x4) : f.bin\n");
  EXPECT_EQ(s.read("f.bin"), "abcdefgh");
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
  EXPECT_EQ(r.err, "ERROR: can't read from file : f.bin : offset beyond end of file\n");
  EXPECT_EQ(s.read("f.bin"), "abc");
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
    EXPECT_EQ(s.read("f.bin"), "abc") << offset;
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

TEST(Mendbin, LaterEntrySeesEarlierWriteAtTheSameOffset) {
  Scratch s;
  s.write("f.bin", "abc");
  s.write("d.txt", listing({"1: 62 78", "1: 78 79"}));
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(s.read("f.bin"), "ayc");
}

// A random file of 64 KiB and a listing of 1000 changes spread over it, in
// rising order as fc prints them.
struct ChangedFile {
  Bytes before;
  Bytes after;
  std::vector<std::uint32_t> offsets;
  std::vector<std::string> lines;
};

ChangedFile changedFile() {
  ChangedFile c;
  std::mt19937 rng(7);
  c.before.resize(1 << 16);
  for (char& b : c.before) b = static_cast<char>(rng());
  c.after = c.before;
  for (std::uint32_t off = 5; off < c.before.size(); off += 60 + rng() % 8) {
    const unsigned char old = static_cast<unsigned char>(c.before[off]);
    const unsigned char now = static_cast<unsigned char>(old ^ (1 + rng() % 255));
    c.after[off] = static_cast<char>(now);
    char line[40];
    std::snprintf(line, sizeof line, "%08X: %02X %02X", off, old, now);
    c.offsets.push_back(off);
    c.lines.push_back(line);
  }
  return c;
}

std::uint64_t fnv1a(const Bytes& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

TEST(MendbinWhole, MismatchAnywhereLeavesTheFileAsItWas) {
  const ChangedFile c = changedFile();
  ASSERT_GT(c.offsets.size(), 900u);
  const std::size_t last = c.offsets.size() - 1;
  Scratch s;
  s.write("d.txt", listing(c.lines));
  for (bool revert : {false, true}) {
    for (std::size_t k : {std::size_t{0}, last / 2, last}) {
      Bytes file = revert ? c.after : c.before;
      const std::uint32_t off = c.offsets[k];
      file[off] = static_cast<char>(c.before[off] ^ c.after[off] ^ 0xFF ^ c.before[off]);
      ASSERT_NE(file[off], c.before[off]);
      ASSERT_NE(file[off], c.after[off]);
      s.write("f.bin", file);
      std::vector<std::string> args{"d.txt", "f.bin"};
      if (revert) args.push_back("-r");
      e2e::RunResult r = s.mendbin(args);
      EXPECT_EQ(r.status, 1) << k;
      char want[96];
      std::snprintf(want, sizeof want, "ERROR: unknown data, not patching : pos %u (0x%X) : f.bin\n",
                    off, off);
      EXPECT_EQ(r.err, want) << k;
      EXPECT_EQ(fnv1a(s.read("f.bin")), fnv1a(file)) << "entry " << k << " revert " << revert;
    }
  }
  // The same listing on the file it was made for applies, and applies twice.
  s.write("f.bin", c.before);
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(fnv1a(s.read("f.bin")), fnv1a(c.after));
  expectQuietSuccess(s.mendbin({"d.txt", "f.bin"}));
  EXPECT_EQ(fnv1a(s.read("f.bin")), fnv1a(c.after));
}

TEST(MendbinWhole, OffsetPastTheEndInTheLastEntryWritesNothing) {
  const ChangedFile c = changedFile();
  Scratch s;
  std::vector<std::string> lines = c.lines;
  lines.push_back("00010000: 00 01");  // one past the end of the 64 KiB file
  s.write("d.txt", listing(lines));
  s.write("f.bin", c.before);
  e2e::RunResult r = s.mendbin({"d.txt", "f.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't read from file : f.bin : offset beyond end of file\n");
  EXPECT_EQ(fnv1a(s.read("f.bin")), fnv1a(c.before));
}

// Listings that do not read to their end are refused before anything is
// written, in either mode; blank lines and fc's closing lines may follow the
// entries.
TEST(MendbinWhole, ListingMustParseToItsEnd) {
  struct Case {
    const char* name;
    Bytes text;
    int status;
    Bytes fileAfter;
    std::string err;
  };
  const Bytes head = mendbin_e2e::kComment;
  const std::vector<Case> cases = {
      {"bad line in the middle", listing({"0: 61 41", "1: 62 42", "2: 63 4 3", "3: 64 44"}), 1,
       "abcdef", "ERROR: can't parse listing line 4 : 2: 63 4 3\n"},
      {"blank before the colon", listing({"0: 61 41", "00000001 : 62 42", "2: 63 43"}), 1,
       "abcdef", "ERROR: can't parse listing line 3 : 00000001 : 62 42\n"},
      {"bad last line", listing({"0: 61 41", "1: 62 42", "done."}), 1, "abcdef",
       "ERROR: can't parse listing line 4 : done.\n"},
      {"last entry cut short", head + "0: 61 41\r\n1: 62", 1, "abcdef",
       "ERROR: can't parse listing line 3 : 1: 62\n"},
      {"fc closing lines", listing({"0: 61 41", "1: 62 42", "FC: F.BIN longer than G.BIN", "",
                                    "FC: G.BIN longer than F.BIN"}),
       0, "ABcdef", ""},
      {"entry after an fc line", listing({"0: 61 41", "FC: F.BIN longer than G.BIN", "1: 62 42"}),
       1, "abcdef", "ERROR: can't parse listing line 3 : FC: F.BIN longer than G.BIN\n"},
      {"no comment line", "00000000: 61 41\r\n00000001: 62 42\r\n", 0, "ABcdef", ""},
      {"no comment line, LF, no final line end", "0: 61 41\n1: 62 42", 0, "ABcdef", ""},
      {"empty listing", "", 0, "abcdef", "no differences listed\n"},
      {"fc found no differences",
       "Comparing files F.BIN and G.BIN\r\nFC: no differences encountered\r\n\r\n", 0, "abcdef",
       "no differences listed\n"},
  };
  Scratch s;
  for (const Case& c : cases) {
    for (const char* mode : {"", "-n"}) {
      s.write("f.bin", "abcdef");
      s.write("d.txt", c.text);
      std::vector<std::string> args{"d.txt", "f.bin"};
      if (*mode != '\0') args.push_back(mode);
      e2e::RunResult r = s.mendbin(args);
      EXPECT_EQ(r.status, c.status) << c.name << " " << mode;
      EXPECT_EQ(r.out, "") << c.name << " " << mode;
      EXPECT_EQ(r.err, c.err) << c.name << " " << mode;
      EXPECT_EQ(s.read("f.bin"), c.fileAfter) << c.name << " " << mode;
    }
  }
}

TEST(MendbinCheck, ChecksWithoutWriting) {
  struct Case {
    const char* name;
    Bytes file;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"applies", "abcdef", {"-c"}, 0, "ok: 3 entries to apply, 0 already applied\n", ""},
      {"already applied", "ABcDef", {"-c"}, 0, "ok: 0 entries to apply, 3 already applied\n", ""},
      {"half applied", "Abcdef", {"-c"}, 0, "ok: 2 entries to apply, 1 already applied\n", ""},
      {"reverted", "ABcDef", {"-r", "-c"}, 0, "ok: 3 entries to apply, 0 already applied\n", ""},
      {"does not match", "abcxef", {"-c"}, 1, "",
       "ERROR: unknown data, not patching : pos 3 (0x3) : f.bin\n"},
      {"checks even with -n", "abcxef", {"-n", "-c"}, 1, "",
       "ERROR: unknown data, not patching : pos 3 (0x3) : f.bin\n"},
      {"only the second character counts", "abcdef", {"/c"}, 0,
       "ok: 3 entries to apply, 0 already applied\n", ""},
      {"file too short", "ab", {"-c"}, 1, "",
       "ERROR: can't read from file : f.bin : offset beyond end of file\n"},
  };
  Scratch s;
  s.write("d.txt", listing({"0: 61 41", "1: 62 42", "3: 64 44"}));
  for (const Case& c : cases) {
    s.write("f.bin", c.file);
    std::vector<std::string> args{"d.txt", "f.bin"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    e2e::RunResult r = s.mendbin(args);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_EQ(s.read("f.bin"), c.file) << c.name;
  }
}

}  // namespace
