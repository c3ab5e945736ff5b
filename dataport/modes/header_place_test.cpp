// placeHeader: where an import file's header lies among the replaced elements.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataport/job.h"
#include "dataport/modes/header_place.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;

/// Layout 440 with these records (three: a header of 24 bytes) at hbase.
void setUp(Job& job, const ElementList& records, std::int64_t hbase, std::int64_t pmin,
           std::int64_t pmax) {
  job.htype.decodeHtype("440");
  job.headerList = records;
  job.hbase = hbase;
  job.pmin = pmin;
  job.pmax = pmax;
}

TEST(PlaceHeader, FrontBehindAndTheReplacedElementsInFrontOfIt) {
  struct Case {
    const char* name;
    ElementList records;
    std::int64_t hbase;
    std::size_t first, count;
    std::int64_t pmin, pmax;
    bool behind;
    std::size_t after;
  };
  const ElementList spread = {{100, 10, 0}, {134, 10, 1}, {160, 10, 2}};
  const ElementList packed = {{100, 10, 0}, {110, 10, 1}, {120, 10, 2}};
  const Case cases[] = {
      {"at the file start", spread, 0, 0, 3, 0, 1000, false, 0},
      {"ends where the first element starts", spread, 76, 0, 3, 0, 1000, false, 0},
      {"between, from where the first element ends", spread, 110, 0, 3, 0, 1000, true, 1},
      {"behind all, right after the last", packed, 130, 0, 3, 0, 1000, true, 3},
      {"far behind all", packed, 5000, 0, 3, 0, 1000, true, 3},
      {"behind an element of no bytes at its start", {{100, 0, 0}, {124, 4, 1}, {130, 1, 2}},
       100, 0, 3, 0, 1000, true, 1},
      {"over an element below the range", {{90, 20, 0}, {120, 10, 1}, {130, 10, 2}}, 92, 1, 2,
       100, 1000, false, 0},
      {"over an element above the range that is not replaced",
       {{100, 10, 0}, {110, 5, 1}, {120, 10, 2}}, 116, 0, 2, 0, 120, true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Job job;
    setUp(job, c.records, c.hbase, c.pmin, c.pmax);
    const HeaderPlace p = placeHeader(job, c.first, c.count);
    EXPECT_TRUE(p.inData);
    EXPECT_EQ(p.start, c.hbase);
    EXPECT_EQ(p.length, 24);
    EXPECT_EQ(p.behind, c.behind);
    EXPECT_EQ(p.after, c.after);
  }
}

TEST(PlaceHeader, HeaderSharingAByteWithAnElementInRangeOrReplacedIsRefused) {
  struct Case {
    const char* name;
    ElementList records;
    std::int64_t hbase;
    std::size_t count;
    std::int64_t pmax;
    const char* text;
  };
  const ElementList packed = {{100, 10, 0}, {110, 10, 1}, {120, 10, 2}};
  const Case cases[] = {
      {"last byte on the first element", packed, 77, 3, 1000,
       "Error: the header at offset 77 (24 bytes) overlaps the element of header record 0 at "
       "100 (10 bytes)\n"},
      {"first byte on the last element", packed, 129, 3, 1000,
       "Error: the header at offset 129 (24 bytes) overlaps the element of header record 2 at "
       "120 (10 bytes)\n"},
      {"an element in range that is not replaced", packed, 125, 2, 1000,
       "Error: the header at offset 125 (24 bytes) overlaps the element of header record 2 at "
       "120 (10 bytes)\n"},
      {"an element of no bytes inside it", {{100, 10, 0}, {120, 0, 1}, {200, 10, 2}}, 110, 3,
       1000,
       "Error: the header at offset 110 (24 bytes) overlaps the element of header record 1 at "
       "120 (0 bytes)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Job job;
    setUp(job, c.records, c.hbase, 0, c.pmax);
    EXPECT_EQ(failureOf([&] { placeHeader(job, 0, c.count); }), c.text);
  }
}

TEST(PlaceHeader, HeaderInItsOwnFileIsNotAmongTheElements) {
  Job job;
  setUp(job, {{100, 10, 0}, {110, 10, 1}, {120, 10, 2}}, 105, 0, 1000);
  job.hname = "h.bin";  // hbase is an offset in the HFILE, not in the data file
  const HeaderPlace p = placeHeader(job, 0, 3);
  EXPECT_FALSE(p.inData);
  EXPECT_FALSE(p.behind);
}

}  // namespace
}  // namespace dataport
