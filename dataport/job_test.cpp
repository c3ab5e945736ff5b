#include "dataport/job.h"

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "dataport/failure.h"
#include "dataport/io/file_helpers.h"

namespace dataport {
namespace {

namespace fs = std::filesystem;

class JobFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dp_job_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::string read(const std::string& name) const {
    std::ifstream f(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  /// The text a call throws, or "" when it passes.
  template <class F>
  static std::string thrown(F f) {
    try {
      f();
    } catch (const Failure& e) {
      return e.text;
    }
    return "";
  }

  fs::path dir_;
};

TEST_F(JobFiles, CheckedWritesStoreTheirBytes) {
  Job job;
  const std::uint8_t bytes[] = {'a', 'b', 'c'};
  job.mustWriteAt(path("o"), bytes, 0, 3, "wb");
  job.mustFillAt(path("o"), '.', 0, 2, "ab");
  job.mustCopyRange(path("o"), path("p"), 1, 0, 3, "wb");
  job.mustWriteAt(path("p"), bytes, 1, 1, "rb+");
  job.finishFiles();
  EXPECT_EQ(read("o"), "abc..");
  EXPECT_EQ(read("p"), "ba.");
}

TEST_F(JobFiles, WriteOfNoBytesStillCreatesOrEmptiesTheFile) {
  Job job;
  write("full", "12345");
  job.mustWriteAt(path("full"), nullptr, 0, 0, "wb");
  job.mustCopyRange(path("full"), path("new"), 0, 0, 0, "wb");
  job.mustFillAt(path("new2"), 0, 0, 0, "ab");
  job.finishFiles();
  EXPECT_TRUE(fs::exists(path("full")));
  EXPECT_EQ(read("full"), "");
  EXPECT_TRUE(fs::exists(path("new")));
  EXPECT_TRUE(fs::exists(path("new2")));
}

TEST_F(JobFiles, OutputThatCannotBeOpenedEndsWithItsName) {
  Job job;
  const std::string bad = path("nodir/out");
  const std::uint8_t b[] = {1};
  const std::string want = bad + ":error writing file\n";
  EXPECT_EQ(thrown([&] { job.mustWriteAt(bad, b, 0, 1, "wb"); }), want);
  EXPECT_EQ(thrown([&] { job.mustWriteAt(bad, b, 0, 0, "wb"); }), want);
  EXPECT_EQ(thrown([&] { job.mustFillAt(bad, 0, 0, 4, "ab"); }), want);
  EXPECT_EQ(thrown([&] { job.mustFillAt(bad, 0, 0, 0, "ab"); }), want);
  write("in", "xyz");
  EXPECT_EQ(thrown([&] { job.mustCopyRange(path("in"), bad, 0, 0, 3, "wb"); }), want);
  EXPECT_EQ(thrown([&] { job.mustCopyRange(path("in"), bad, 0, 0, 0, "wb"); }), want);
  // "rb+" needs the file to be there.
  EXPECT_EQ(thrown([&] { job.mustWriteAt(path("absent"), b, 0, 1, "rb+"); }),
            path("absent") + ":error writing file\n");
}

TEST_F(JobFiles, CopyShortOfItsCountIsAWriteError) {
  Job job;
  write("in", "xyz");
  EXPECT_EQ(thrown([&] { job.mustCopyRange(path("in"), path("out"), 1, 0, 5, "wb"); }),
            path("out") + ":error writing file\n");
}

TEST_F(JobFiles, FinishFilesNamesAFileThatCouldNotBeWrittenOut) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Job job;
  const std::uint8_t b[4096] = {};
  job.mustWriteAt(path("fine"), b, 0, 10, "wb");
  // An unchecked write whose failure nobody looked at.
  EXPECT_LT(io::writeAt(job.disk, "/dev/full", b, 0, sizeof b, "ab"), 4096);
  EXPECT_EQ(thrown([&] { job.finishFiles(); }), "/dev/full:error writing file\n");
  EXPECT_EQ(read("fine").size(), 10u);  // the other files were still written out
  EXPECT_EQ(thrown([&] { job.finishFiles(); }), "");
}

TEST_F(JobFiles, CheckedWriteToAFullDeviceFails) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Job job;
  const std::uint8_t b[4096] = {};
  EXPECT_EQ(thrown([&] { job.mustWriteAt("/dev/full", b, 0, sizeof b, "ab"); }),
            "/dev/full:error writing file\n");
  EXPECT_EQ(thrown([&] { job.mustFillAt("/dev/full", 0, 0, 100, "ab"); }),
            "/dev/full:error writing file\n");
}

}  // namespace
}  // namespace dataport
