#include "dataport/job.h"

#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "dataport/io/file_helpers.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

namespace fs = std::filesystem;
using namespace testsupport;

/// Each test works in a fresh working folder.
class JobFiles : public ::testing::Test {
 protected:
  WorkDir dir;
};

TEST_F(JobFiles, CheckedWritesStoreTheirBytes) {
  Job job;
  const std::uint8_t bytes[] = {'a', 'b', 'c'};
  job.mustWriteAt("o", bytes, 0, 3, "wb");
  job.mustFillAt("o", '.', 0, 2, "ab");
  job.mustCopyRange("o", "p", 1, 0, 3, "wb");
  job.mustWriteAt("p", bytes, 1, 1, "rb+");
  job.finishFiles();
  EXPECT_EQ(readFile("o"), "abc..");
  EXPECT_EQ(readFile("p"), "ba.");
}

TEST_F(JobFiles, WriteOfNoBytesStillCreatesOrEmptiesTheFile) {
  Job job;
  writeFile("full", "12345");
  job.mustWriteAt("full", nullptr, 0, 0, "wb");
  job.mustCopyRange("full", "new", 0, 0, 0, "wb");
  job.mustFillAt("new2", 0, 0, 0, "ab");
  job.finishFiles();
  EXPECT_TRUE(fs::exists("full"));
  EXPECT_EQ(readFile("full"), "");
  EXPECT_TRUE(fs::exists("new"));
  EXPECT_TRUE(fs::exists("new2"));
}

TEST_F(JobFiles, OutputThatCannotBeOpenedEndsWithItsName) {
  Job job;
  const std::string bad = "nodir/out";
  const std::uint8_t b[] = {1};
  const std::string want = bad + ":error writing file: No such file or directory\n";
  EXPECT_EQ(failureOf([&] { job.mustWriteAt(bad, b, 0, 1, "wb"); }), want);
  EXPECT_EQ(failureOf([&] { job.mustWriteAt(bad, b, 0, 0, "wb"); }), want);
  EXPECT_EQ(failureOf([&] { job.mustFillAt(bad, 0, 0, 4, "ab"); }), want);
  EXPECT_EQ(failureOf([&] { job.mustFillAt(bad, 0, 0, 0, "ab"); }), want);
  writeFile("in", "xyz");
  EXPECT_EQ(failureOf([&] { job.mustCopyRange("in", bad, 0, 0, 3, "wb"); }), want);
  EXPECT_EQ(failureOf([&] { job.mustCopyRange("in", bad, 0, 0, 0, "wb"); }), want);
  // "rb+" needs the file to be there.
  EXPECT_EQ(failureOf([&] { job.mustWriteAt("absent", b, 0, 1, "rb+"); }),
            "absent:error writing file: No such file or directory\n");
}

// A copy that falls short because its input ended names the input, not
// the output.
TEST_F(JobFiles, CopyShortOfItsCountNamesTheInput) {
  Job job;
  writeFile("in", "xyz");
  EXPECT_EQ(failureOf([&] { job.mustCopyRange("in", "out", 1, 0, 5, "wb"); }),
            "in:cannot read file: unexpected end of file\n");
  fs::create_directory("dir");
  EXPECT_EQ(failureOf([&] { job.mustCopyRange("dir", "out", 0, 0, 5, "wb"); }),
            "dir:cannot read file: Is a directory\n");
}

TEST_F(JobFiles, FinishFilesNamesAFileThatCouldNotBeWrittenOut) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Job job;
  const std::uint8_t b[4096] = {};
  job.mustWriteAt("fine", b, 0, 10, "wb");
  // An unchecked write whose failure nobody looked at.
  EXPECT_LT(io::writeAt(job.disk, "/dev/full", b, 0, sizeof b, "ab"), 4096);
  EXPECT_EQ(failureOf([&] { job.finishFiles(); }),
            "/dev/full:error writing file: No space left on device\n");
  EXPECT_EQ(readFile("fine").value_or("").size(), 10u);  // the other files were still written out
  EXPECT_EQ(failureOf([&] { job.finishFiles(); }), "");
}

TEST_F(JobFiles, CheckedWriteToAFullDeviceFails) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Job job;
  const std::uint8_t b[4096] = {};
  EXPECT_EQ(failureOf([&] { job.mustWriteAt("/dev/full", b, 0, sizeof b, "ab"); }),
            "/dev/full:error writing file: No space left on device\n");
  EXPECT_EQ(failureOf([&] { job.mustFillAt("/dev/full", 0, 0, 100, "ab"); }),
            "/dev/full:error writing file: No space left on device\n");
}

}  // namespace
}  // namespace dataport
