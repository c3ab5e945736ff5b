#include "mendbin/listing_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mendbin/patcher.h"

namespace mendbin {
namespace {

ListingSource textSource(std::string text) {
  auto at = std::make_shared<std::size_t>(0);
  return [text = std::move(text), at](std::uint8_t* dst, std::int64_t n) {
    std::size_t k = std::min(text.size() - *at, static_cast<std::size_t>(n));
    std::memcpy(dst, text.data() + *at, k);
    *at += k;
    return IoResult{static_cast<std::int64_t>(k), 0};
  };
}

struct Check {
  std::string file;     // the bytes the probe finds
  std::string listing;  // after its comment line
  bool verify = true;
  bool revert = false;
  int passes = 0;  // readers opened after the first one
  int probes = 0;

  CheckResult run() {
    CheckInput in;
    const std::string text = "Comparing files A and B\r\n" + listing;
    in.open = [this, text] {
      ++passes;
      auto r = std::make_unique<ListingReader>(textSource(text), 64);
      r->readFirstLine();
      return r;
    };
    in.stopMessage = [](const ListingReader& r) {
      return "stopped at " + std::to_string(r.badLineAt()) + "\n";
    };
    in.probe = [this](std::uint32_t offset, std::uint8_t& value, std::string& error) {
      ++probes;
      if (offset >= file.size()) {
        error = "beyond " + std::to_string(offset) + "\n";
        return false;
      }
      value = static_cast<std::uint8_t>(file[offset]);
      return true;
    };
    in.path = "f.bin";
    in.verify = verify;
    in.revert = revert;
    ListingReader first(textSource(text), 64);
    first.readFirstLine();
    return checkListing(first, in);
  }
};

struct Case {
  const char* name;
  Check check;
  std::int64_t entries, toApply, alreadyApplied;
  std::string error;
};

std::string unknown(std::int64_t pos) { return unknownDataMessage("f.bin", pos); }

TEST(CheckListing, JudgesEveryEntryAsIfTheEarlierOnesWereApplied) {
  const std::vector<Case> cases = {
      {"applies", {"abcdef", "0: 61 41\n2: 63 43\n"}, 2, 2, 0, ""},
      {"already applied", {"AbCdef", "0: 61 41\n2: 63 43\n"}, 2, 0, 2, ""},
      {"equal bytes count as applied", {"abcdef", "1: 62 62\n"}, 1, 0, 1, ""},
      {"reverted", {"AbCdef", "0: 61 41\n2: 63 43\n", true, true}, 2, 2, 0, ""},
      {"mismatch", {"abcdef", "0: 61 41\n2: 78 43\n4: 65 45\n"}, 2, 1, 0, unknown(2)},
      {"same offset twice", {"abcdef", "1: 62 78\n1: 78 79\n"}, 2, 2, 0, ""},
      {"same offset, stale byte", {"abcdef", "1: 62 78\n1: 62 79\n"}, 2, 1, 0, unknown(1)},
      {"back to an earlier offset", {"abcdef", "3: 64 44\n5: 66 46\n3: 44 45\n"}, 3, 3, 0, ""},
      {"back to an earlier offset, stale byte",
       {"abcdef", "3: 64 44\n5: 66 46\n3: 64 45\n"}, 3, 2, 0, unknown(3)},
      {"back to an offset not named before", {"abcdef", "5: 66 46\n2: 63 43\n"}, 2, 2, 0, ""},
      {"earlier mismatch below the highest offset wins",
       {"abcdef", "5: 66 46\n3: 78 79\n4: 78 79\n"}, 3, 1, 0, unknown(3)},
      {"beyond the end", {"abc", "0: 61 41\n3: 00 01\n"}, 1, 1, 0, "beyond 3\n"},
      {"beyond the end below the highest offset", {"abc", "2: 63 43\n1: 62 42\n"}, 2, 2, 0, ""},
      {"unpositionable offset", {"abc", "0: 61 41\n80000000: 0 1\n"}, 1, 1, 0, "beyond 2147483648\n"},
      {"unpositionable offset without verify", {"abc", "0: 78 79\n80000000: 0 1\n", false}, 1, 0,
       0, "beyond 2147483648\n"},
      {"no check without verify", {"abc", "0: 78 79\n9: 1 2\n", false}, 2, 0, 0, ""},
      {"bad line", {"abcdef", "0: 61 41\nxyz\n"}, 1, 1, 0, "stopped at 34\n"},
      {"mismatch before a bad line wins", {"abcdef", "0: 78 41\nxyz\n"}, 0, 0, 0, unknown(0)},
      {"no entries", {"abc", "\r\nFC: no differences encountered\r\n"}, 0, 0, 0, ""},
  };
  for (Case c : cases) {
    CheckResult r = c.check.run();
    EXPECT_EQ(r.error, c.error) << c.name;
    if (c.error.empty()) {
      EXPECT_EQ(r.entries, c.entries) << c.name;
      EXPECT_EQ(r.toApply, c.toApply) << c.name;
      EXPECT_EQ(r.alreadyApplied, c.alreadyApplied) << c.name;
    }
  }
}

// A listing in rising order is read once; one that goes back is read once
// more for each window of offsets that it goes back into.
TEST(CheckListing, ListingGoingBackIsReadAgainPerWindow) {
  Check rising{std::string(20 << 20, 'a'), "0: 61 62\n800000: 61 62\n1000000: 61 62\n"};
  EXPECT_TRUE(rising.run().ok());
  EXPECT_EQ(rising.passes, 0);

  Check back{std::string(20 << 20, 'a'),
             "0: 61 62\n800000: 61 62\n1000000: 61 62\n800000: 62 63\n1: 61 62\n0: 62 63\n"};
  CheckResult r = back.run();
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.toApply, 6);
  EXPECT_EQ(back.passes, 2);  // the windows from 0 and from 800000

  back.listing += "800000: 62 64\n";  // the byte there is 63 by then
  EXPECT_EQ(back.run().error, unknown(0x800000));
}

}  // namespace
}  // namespace mendbin
