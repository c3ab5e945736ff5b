#include "mendbin/patcher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mendbin/memory_file_for_tests.h"

namespace mendbin {
namespace {

struct PatchRun {
  explicit PatchRun(std::string content, Settings settings = {}, bool holdsData = true)
      : file(std::move(content)),
        patcher(file, "f.bin", settings, holdsData, [this](const std::string& line) { errors += line; }) {}
  MemoryFile file;
  std::string errors;
  Patcher patcher;
};

PatchEntry entry(std::uint32_t offset, std::uint8_t org, std::uint8_t patch) {
  return PatchEntry{offset, org, patch};
}

Settings unverified() { return Settings{false, false}; }

TEST(Patcher, PatchedBytesAreLeftAloneAndNothingIsWritten) {
  PatchRun run("Hello, world.");
  EXPECT_TRUE(run.patcher.apply(entry(7, 'W', 'w')));
  EXPECT_TRUE(run.patcher.finish());
  EXPECT_EQ(run.file.writes, 0);
  EXPECT_EQ(run.errors, "");
}

TEST(Patcher, EntryWithEqualBytesIsStillWritten) {
  PatchRun run("abc");
  run.file.writeError = ENOSPC;
  EXPECT_TRUE(run.patcher.apply(entry(1, 'b', 'b')));
  EXPECT_FALSE(run.patcher.finish());
  EXPECT_EQ(run.errors, "ERROR: failed flush file : f.bin : No space left on device\n");
}

TEST(Patcher, UnknownDataStopsWithEarlierEntriesOnTheFile) {
  PatchRun run("abcdef");
  EXPECT_TRUE(run.patcher.apply(entry(0, 'a', 'A')));
  EXPECT_FALSE(run.patcher.apply(entry(0x3, 'x', 'X')));
  EXPECT_EQ(run.errors, "ERROR: unknown data, not patching : pos 3 (0x3) : f.bin\n");
  EXPECT_EQ(run.file.bytes, "Abcdef");  // on the file without finish()
}

TEST(Patcher, ReadErrorOfTheFileIsReported) {
  PatchRun run("abc");
  run.file.readError = EIO;
  EXPECT_FALSE(run.patcher.apply(entry(1, 'b', 'B')));
  EXPECT_EQ(run.errors, "ERROR: can't read from file : f.bin : Input/output error\n");
}

TEST(Patcher, LostWriteOfCachedFileIsReportedAtWriteBackAndRunGoesOn) {
  PatchRun run("abcdef");
  run.file.forget = {2};
  EXPECT_TRUE(run.patcher.apply(entry(2, 'c', 'C')));
  EXPECT_TRUE(run.patcher.apply(entry(4, 'e', 'E')));
  EXPECT_FALSE(run.patcher.verifyFailed());  // not on the file yet
  EXPECT_TRUE(run.patcher.finish());
  EXPECT_TRUE(run.patcher.verifyFailed());
  EXPECT_EQ(run.errors, "ERROR: verify fail, data not written : pos 2 (0x2) : file f.bin\n");
  EXPECT_EQ(run.file.bytes, "abcdEf");
}

TEST(Patcher, VerifyFailuresComeBeforeTheFatalErrorThatFollows) {
  PatchRun run("abcdef");
  run.file.forget = {1};
  EXPECT_TRUE(run.patcher.apply(entry(1, 'b', 'B')));
  EXPECT_FALSE(run.patcher.apply(entry(2, 'x', 'y')));
  EXPECT_EQ(run.errors,
            "ERROR: verify fail, data not written : pos 1 (0x1) : file f.bin\n"
            "ERROR: unknown data, not patching : pos 2 (0x2) : f.bin\n");
}

// A device that forgets what is written (as /dev/zero): each entry reads the
// device itself, so the second entry finds the old byte again.
TEST(Patcher, DeviceIsReadBackEntryByEntry) {
  PatchRun run(std::string(8, '\0'), Settings{}, false);
  run.file.forgetAll = true;
  EXPECT_TRUE(run.patcher.apply(entry(0, 0x00, 0x01)));
  EXPECT_FALSE(run.patcher.apply(entry(0, 0x01, 0x02)));
  EXPECT_EQ(run.errors,
            "ERROR: verify fail, data not written : pos 0 (0x0) : file f.bin\n"
            "ERROR: unknown data, not patching : pos 0 (0x0) : f.bin\n");
}

TEST(Patcher, DeviceFailsFlushAtTheEntryItself) {
  PatchRun run(std::string(8, '\0'), Settings{}, false);
  run.file.writeError = ENOSPC;
  EXPECT_FALSE(run.patcher.apply(entry(0, 0x00, 0x01)));
  EXPECT_EQ(run.errors, "ERROR: failed flush file : f.bin : No space left on device\n");
}

TEST(Patcher, UnverifiedDeviceWriteFailureIsAFailedFlushAtNextPositioningOrAtTheEnd) {
  PatchRun two(std::string(8, '\0'), unverified(), false);
  two.file.writeError = ENOSPC;
  EXPECT_TRUE(two.patcher.apply(entry(0, 0, 1)));
  EXPECT_FALSE(two.patcher.apply(entry(1, 0, 1)));
  EXPECT_EQ(two.errors, "ERROR: failed flush file : f.bin : No space left on device\n");

  PatchRun one(std::string(8, '\0'), unverified(), false);
  one.file.writeError = ENOSPC;
  EXPECT_TRUE(one.patcher.apply(entry(0, 0, 1)));
  EXPECT_FALSE(one.patcher.finish());
  EXPECT_EQ(one.errors, "ERROR: failed flush file : f.bin : No space left on device\n");
}

TEST(Patcher, DeviceThatCannotBePositionedFails) {
  PatchRun run("abc", unverified(), false);
  run.file.seekError = ESPIPE;
  EXPECT_FALSE(run.patcher.apply(entry(0, 0, 1)));
  EXPECT_EQ(run.errors, "ERROR: can't seek in file : f.bin : Illegal seek\n");
}

TEST(Patcher, FailedWriteOfEarlierEntriesIsReportedInsteadOfLaterError) {
  PatchRun run("abcdef");
  EXPECT_TRUE(run.patcher.apply(entry(0, 'a', 'A')));
  run.file.writeError = ENOSPC;
  EXPECT_FALSE(run.patcher.apply(entry(0x90000000, 0, 1)));
  EXPECT_EQ(run.errors, "ERROR: failed flush file : f.bin : No space left on device\n");
}

// peek() reads as a verified entry would, and names each failure as the
// entry would report it.
TEST(Patcher, PeekReadsTheFileAndNamesFailures) {
  struct Case {
    std::uint32_t offset;
    bool holdsData;
    int seekError;
    bool ok;
    std::string error;
  };
  for (const Case& c : std::vector<Case>{
           {2, true, 0, true, ""},
           {2, false, 0, true, ""},
           {6, true, 0, false, "ERROR: can't read from file : f.bin : offset beyond end of file\n"},
           {600000, false, 0, false,
            "ERROR: can't read from file : f.bin : offset beyond end of file\n"},
           {0x80000000, true, 0, false, "ERROR: can't seek in file : f.bin : Invalid argument\n"},
           {2, false, ESPIPE, false, "ERROR: can't seek in file : f.bin : Illegal seek\n"},
       }) {
    PatchRun run("abcdef", Settings{}, c.holdsData);
    run.file.seekError = c.seekError;
    std::uint8_t value = 0;
    std::string error;
    EXPECT_EQ(run.patcher.peek(c.offset, value, error), c.ok) << c.offset;
    EXPECT_EQ(error, c.error) << c.offset;
    if (c.ok) {
      EXPECT_EQ(value, 'c');
    }
    EXPECT_EQ(run.file.writes, 0);
    EXPECT_EQ(run.errors, "");  // reported by the caller, not here
  }
}

TEST(Patcher, OffsetBeyondTheEndIsNamedSo) {
  PatchRun run("abc");
  EXPECT_FALSE(run.patcher.apply(entry(3, 0, 1)));
  EXPECT_EQ(run.errors, "ERROR: can't read from file : f.bin : offset beyond end of file\n");
}

}  // namespace
}  // namespace mendbin
