// End-to-end tests of mendbin on what only POSIX systems have: devices and
// pipes (files that forget what is written, refuse it, or cannot be
// positioned; a listing from a pipe), directories that open but cannot be
// read, permissions, and GNU cmp as an independent oracle.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tests/mendbin_listings.h"

namespace {

using e2e::Bytes;
using e2e::Scratch;
using mendbin_e2e::expectQuietSuccess;
using mendbin_e2e::listing;

TEST(MendbinDevices, DirectoryIsNoListingAndNoFileToPatch) {
  Scratch s;
  s.write("d.txt", listing({"0: 61 41"}));
  ASSERT_EQ(::mkdir(s.path("dir").c_str(), 0700), 0);
  e2e::RunResult r = s.mendbin({"dir", "f.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: error reading file: dir : Is a directory\n");
  r = s.mendbin({"d.txt", "dir"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't open file : dir : Is a directory\n");
}

TEST(MendbinDevices, ReadBackFromDeviceThatForgetsIsAVerifyFailure) {
  Scratch s;
  s.write("d.txt", listing({"00000003: 00 01", "00000010: 00 00"}));
  e2e::RunResult r = s.mendbin({"d.txt", "/dev/zero"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: verify fail, data not written : pos 3 (0x3) : file /dev/zero\n");
}

TEST(MendbinDevices, FailedWriteIsAFailedFlushWhereverItShows) {
  Scratch s;
  for (const Bytes& text : {listing({"00000003: 00 01"}),
                            listing({"00000003: 00 01", "00000004: 00 01"})}) {
    s.write("d.txt", text);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"d.txt", "/dev/full", "-n"},
                                                 {"d.txt", "/dev/full"}}) {
      e2e::RunResult r = s.mendbin(args);
      EXPECT_EQ(r.status, 1) << text;
      EXPECT_EQ(r.err, "ERROR: failed flush file : /dev/full : No space left on device\n") << text;
    }
  }
}

TEST(MendbinDevices, PipeCannotBePositioned) {
  Scratch s;
  s.write("d.txt", listing({"0: 00 01"}));
  ASSERT_EQ(mkfifo(s.path("fifo").c_str(), 0600), 0);
  e2e::RunResult r = s.mendbin({"d.txt", "fifo", "-n"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't seek in file : fifo : Illegal seek\n");
}

TEST(MendbinCheck, ReadOnlyFileCanBeChecked) {
  Scratch s;
  s.write("d.txt", listing({"1: 62 42"}));
  s.write("f.bin", "abc");
  ASSERT_EQ(chmod(s.path("f.bin").c_str(), 0444), 0);
  if (access(s.path("f.bin").c_str(), W_OK) == 0) GTEST_SKIP() << "running as root";
  e2e::RunResult r = s.mendbin({"d.txt", "f.bin", "-c"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "ok: 1 entries to apply, 0 already applied\n");
  r = s.mendbin({"d.txt", "f.bin"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't open file : f.bin : Permission denied\n");
}

// A listing from a pipe is read once to check it and once more to apply it.
TEST(MendbinWhole, ListingFromAPipe) {
  Scratch s;
  s.write("f.bin", "abcdef");
  ASSERT_EQ(mkfifo(s.path("fifo").c_str(), 0600), 0);
  for (const Bytes& text : {listing({"0: 61 41", "5: 66 46"}), listing({"1: 78 79"}),
                            listing({"1: 62 42", "oops"})}) {
    s.write("d.txt", text);
    // The writer waits in the background until mendbin opens the pipe.
    ASSERT_EQ(s.run("/bin/sh", {"-c", "cat d.txt > fifo &"}).status, 0);
    e2e::RunResult r = s.mendbin({"fifo", "f.bin"});
    if (text == listing({"0: 61 41", "5: 66 46"})) {
      expectQuietSuccess(r);
    } else if (text == listing({"1: 78 79"})) {
      EXPECT_EQ(r.err, "ERROR: unknown data, not patching : pos 1 (0x1) : f.bin\n");
    } else {
      EXPECT_EQ(r.err, "ERROR: can't parse listing line 3 : oops\n");
    }
    EXPECT_EQ(s.read("f.bin"), "AbcdeF");
  }
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
