// measureGaps: the bytes that follow each replaced element in the import file.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "dataport/failure.h"
#include "dataport/io/console.h"
#include "dataport/job.h"

namespace dataport {
namespace {

class MeasureGapsTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("measure_gaps_" + std::to_string(::getpid()) + ".bin"))
                .string();
    std::ofstream(path_, std::ios::binary) << std::string(60, 'x');
    job_.mode = kImport;
    job_.ifile = path_;
    job_.pmax = 60;
    // Records at 10, 20, 30 and 50 with sizes 5, 3, 4 and 2.
    job_.headerList = {{10, 5, 0}, {20, 3, 1}, {30, 4, 2}, {50, 2, 3}};
  }
  void TearDown() override { std::filesystem::remove(path_); }

  void edited(int n) { job_.elements.assign(n, Element{0, 1, 0}); }
  std::string measure() {
    testing::internal::CaptureStdout();
    job_.measureGaps();
    io::flushOut();
    return testing::internal::GetCapturedStdout();
  }

  std::string path_;
  Job job_;
};

TEST_F(MeasureGapsTest, EachGapRunsToTheNextRecordAndTheLastToTheFileEnd) {
  edited(4);
  EXPECT_EQ(measure(), "0, 3\n0 pos 10 size 5\n1 pos 20 size 7\n2 pos 30 size 16\nlast size 8\n");
  EXPECT_EQ(job_.headerList[0].size, 5);
  EXPECT_EQ(job_.headerList[1].size, 7);
  EXPECT_EQ(job_.headerList[2].size, 16);
  EXPECT_EQ(job_.headerList[3].size, 8);
}

TEST_F(MeasureGapsTest, FewerEditedElementsLeaveTheLastGapCarryingTheRest) {
  edited(2);
  job_.pmin = 15;  // the first record lies below the range
  EXPECT_EQ(measure(), "1, 2\n1 pos 20 size 7\nlast size 26\n");
  EXPECT_EQ(job_.headerList[0].size, 5);
  EXPECT_EQ(job_.headerList[2].size, 26);
  EXPECT_EQ(job_.headerList[3].size, 2) << "a record behind the last replaced one keeps its size";
}

TEST_F(MeasureGapsTest, MoreElementsThanRecordsStopAtTheLastRecord) {
  edited(6);
  EXPECT_NO_THROW(measure());
  EXPECT_EQ(job_.headerList[3].size, 8);
}

TEST_F(MeasureGapsTest, OverlappingRecordsGiveNegativeGaps) {
  job_.headerList[0].size = 15;  // runs 5 bytes into the next element
  edited(2);
  measure();
  EXPECT_EQ(job_.headerList[0].size, -5);
}

TEST_F(MeasureGapsTest, MissingImportFileIsAnError) {
  job_.ifile = path_ + ".missing";
  edited(1);
  try {
    job_.measureGaps();
    FAIL() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(f.text, "Error accesing ifile(reading size)\n");
  }
}

}  // namespace
}  // namespace dataport
