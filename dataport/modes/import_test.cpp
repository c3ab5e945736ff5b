// measureGaps: the bytes that follow each replaced element in the import file.

#include <gtest/gtest.h>

#include <string>

#include "dataport/job.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;

class MeasureGapsTest : public testing::Test {
 protected:
  void SetUp() override {
    writeFile("import.bin", std::string(60, 'x'));
    job_.mode = kImport;
    job_.ifile = "import.bin";
    job_.pmax = 60;
    // Records at 10, 20, 30 and 50 with sizes 5, 3, 4 and 2.
    job_.headerList = {{10, 5, 0}, {20, 3, 1}, {30, 4, 2}, {50, 2, 3}};
  }

  void edited(int n) { job_.elements.assign(n, Element{0, 1, 0}); }
  std::string measure() {
    Trace trace;
    job_.measureGaps();
    return trace.text();
  }

  WorkDir dir_;
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
  job_.ifile = "import.bin.missing";
  edited(1);
  EXPECT_EQ(failureOf([&] { job_.measureGaps(); }), "Error accesing ifile(reading size)\n");
}

}  // namespace
}  // namespace dataport
