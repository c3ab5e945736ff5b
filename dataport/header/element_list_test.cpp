#include <gtest/gtest.h>

#include <limits>

#include "dataport/job.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;

ElementList positions(std::initializer_list<std::int64_t> ps) {
  ElementList list;
  std::int32_t i = 0;
  for (std::int64_t p : ps) list.push_back(Element{p, 0, i++});
  return list;
}

TEST(ElementRange, IsHalfOpenFromPminToPmax) {
  Job job;
  job.pmin = 10;
  job.pmax = 20;
  EXPECT_FALSE(job.posInRange(9));
  EXPECT_TRUE(job.posInRange(10));
  EXPECT_TRUE(job.posInRange(19));
  EXPECT_FALSE(job.posInRange(20));
  job.pmin = -5;
  EXPECT_TRUE(job.posInRange(-5));
}

TEST(ElementRange, FirstAndLastInRange) {
  Job job;
  job.pmin = 100;
  job.pmax = 300;
  const ElementList list = positions({50, 100, 200, 299, 300, 150});
  EXPECT_EQ(job.firstInRange(list, 0), 1u);
  EXPECT_EQ(job.firstInRange(list, 4), 5u);
  EXPECT_EQ(job.lastInRange(list), 5);
  const ElementList none = positions({1, 2, 400});
  EXPECT_EQ(job.firstInRange(none, 0), 3u);
  EXPECT_EQ(job.lastInRange(none), -1);
  EXPECT_EQ(job.firstInRange(ElementList{}, 0), 0u);
}

TEST(ElementRange, NewPositionRefusesDuplicatesOnlyWithNodups) {
  Job job;
  const ElementList list = positions({10, 20});
  EXPECT_TRUE(job.isNewPosition(list, 10));
  job.nodups = true;
  EXPECT_FALSE(job.isNewPosition(list, 10));
  EXPECT_FALSE(job.isNewPosition(list, 20));
  EXPECT_TRUE(job.isNewPosition(list, 15));
}

TEST(FillSizes, RunToNextPositionAndLastToPmax) {
  Job job;
  job.pmax = 1000;
  ElementList list = positions({100, 200, 300});
  job.fillSizes(list);
  EXPECT_EQ(list[0].size, 100);
  EXPECT_EQ(list[1].size, 100);
  EXPECT_EQ(list[2].size, 700);
}

TEST(FillSizes, ElementsOutsideTheRangeKeepTheirSizes) {
  Job job;
  job.pmin = 100;
  job.pmax = 500;
  ElementList list = positions({10, 100, 250, 600});
  list[0].size = 11;
  list[3].size = 66;
  job.fillSizes(list);
  EXPECT_EQ(list[0].size, 11);
  EXPECT_EQ(list[1].size, 150);
  EXPECT_EQ(list[2].size, 250);
  EXPECT_EQ(list[3].size, 66);

  ElementList outside = positions({600, 700});
  outside[0].size = 5;
  job.fillSizes(outside);
  EXPECT_EQ(outside[0].size, 5);
  EXPECT_EQ(outside[1].size, 0);
}

TEST(ElementShifts, PositionsAndSizesMoveByDelta) {
  Job job;
  job.elements = {{10, 5, 0}, {20, 7, 1}};
  ElementList other = positions({1, 2});
  Job::shiftPositions(other, -1);
  EXPECT_EQ(other[0].pos, 0);
  EXPECT_EQ(other[1].pos, 1);
  job.addToSizes(-2);
  EXPECT_EQ(job.elements[0].size, 3);
  EXPECT_EQ(job.elements[1].size, 5);
  EXPECT_EQ(job.elements[0].pos, 10);
}

TEST(ElementShifts, WrapAroundInsteadOfOverflowing) {
  ElementList list = {{std::numeric_limits<std::int64_t>::max(), 0, 0}};
  Job::shiftPositions(list, 1);
  EXPECT_EQ(list[0].pos, std::numeric_limits<std::int64_t>::min());
}

TEST(ElementShifts, PositionsFromSizesStandBackToBack) {
  ElementList list = {{99, 3, 0}, {99, 0, 1}, {99, 5, 2}, {99, 1, 3}};
  Job::positionsFromSizes(list);
  EXPECT_EQ(list[0].pos, 0);
  EXPECT_EQ(list[1].pos, 3);
  EXPECT_EQ(list[2].pos, 3);
  EXPECT_EQ(list[3].pos, 8);
  ElementList empty;
  Job::positionsFromSizes(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(PrintElements, DecimalThenHexadecimalInParentheses) {
  Job job;
  job.elements = {{4096, 300, 3}, {-1, 0, 0}};
  const auto o = capture([&] { job.printElements(); });
  EXPECT_EQ(o.out, "3\t4096\t300\t(1000\t12c)\n0\t-1\t0\t(ffffffffffffffff\t0)\n");
}

TEST(HeaderRecords, CountsRecordsLeftOutByNodups) {
  Job job;
  EXPECT_EQ(job.headerRecords(), 0);
  job.headerList = {{10, 1, 0}, {20, 1, 6}};
  EXPECT_EQ(job.headerRecords(), 7);
  job.headerList = {{10, 1, 0}, {20, 1, 0}, {30, 1, 1}};
  EXPECT_EQ(job.headerRecords(), 3);
}

}  // namespace
}  // namespace dataport
