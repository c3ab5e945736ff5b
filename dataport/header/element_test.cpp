#include "dataport/header/element.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace dataport {
namespace {

TEST(NumberSuffix, PadsToThreeDigitsAndGrowsBeyond) {
  EXPECT_EQ(numberSuffix(0), ".000");
  EXPECT_EQ(numberSuffix(7), ".007");
  EXPECT_EQ(numberSuffix(42), ".042");
  EXPECT_EQ(numberSuffix(999), ".999");
  EXPECT_EQ(numberSuffix(1234), ".1234");
}

TEST(ElementOrder, ByPositionThenRecordNumber) {
  std::vector<Element> list = {{300, 1, 0}, {100, 2, 4}, {100, 3, 1}, {-5, 4, 9}, {200, 5, 2}};
  std::sort(list.begin(), list.end());
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0].pos, -5);
  EXPECT_EQ(list[1].index, 1);
  EXPECT_EQ(list[2].index, 4);
  EXPECT_EQ(list[3].pos, 200);
  EXPECT_EQ(list[4].pos, 300);
  // Equal position and index: neither is less.
  const Element a{7, 1, 3}, b{7, 99, 3};
  EXPECT_FALSE(a < b);
  EXPECT_FALSE(b < a);
}

}  // namespace
}  // namespace dataport
