#include "dataport/table/key_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace dataport::table {
namespace {

struct Keys {
  std::vector<std::string> text;
  std::vector<std::span<const std::uint8_t>> spans() const {
    std::vector<std::span<const std::uint8_t>> s;
    for (const auto& k : text)
      s.emplace_back(reinterpret_cast<const std::uint8_t*>(k.data()), k.size());
    return s;
  }
};

struct Hit {
  std::int32_t entry;
  std::int32_t len;
  bool open;
};

Hit look(const KeyIndex& idx, const std::string& in) {
  Hit h{};
  h.entry = idx.longest(reinterpret_cast<const std::uint8_t*>(in.data()),
                        static_cast<std::int64_t>(in.size()), h.len, h.open);
  return h;
}

TEST(KeyIndex, LongestKeyWinsOverItsPrefixes) {
  Keys k{{"A", "AB", "ABC", "B"}};
  KeyIndex idx;
  idx.build(k.spans());
  EXPECT_EQ(look(idx, "ABCD").entry, 2);
  EXPECT_EQ(look(idx, "ABCD").len, 3);
  EXPECT_EQ(look(idx, "ABX").entry, 1);
  EXPECT_EQ(look(idx, "AX").entry, 0);
  EXPECT_EQ(look(idx, "X").entry, -1);
  EXPECT_EQ(idx.maxKeyLength(), 3);
}

TEST(KeyIndex, LowestNumberWinsAmongEqualKeys) {
  Keys k{{"xy", "q", "xy", "q"}};
  KeyIndex idx;
  idx.build(k.spans());
  EXPECT_EQ(look(idx, "xy").entry, 0);
  EXPECT_EQ(look(idx, "q").entry, 1);
}

TEST(KeyIndex, EmptyKeyNeverMatches) {
  Keys k{{"", "b"}};
  KeyIndex idx;
  idx.build(k.spans());
  EXPECT_EQ(look(idx, "a").entry, -1);
  EXPECT_EQ(look(idx, "a").len, 0);
  EXPECT_EQ(look(idx, "b").entry, 1);
}

TEST(KeyIndex, OpenOnlyWhileALongerKeyIsStillPossibleAtTheInputEnd) {
  Keys k{{"A", "ABC"}};
  KeyIndex idx;
  idx.build(k.spans());
  Hit h = look(idx, "AB");
  EXPECT_EQ(h.entry, 0);
  EXPECT_TRUE(h.open);
  h = look(idx, "A");
  EXPECT_TRUE(h.open);
  h = look(idx, "ABC");
  EXPECT_EQ(h.entry, 1);
  EXPECT_FALSE(h.open);  // nothing longer exists
  h = look(idx, "AX");
  EXPECT_FALSE(h.open);
}

// Dense and sparse nodes (and both sparse searches) must agree with a plain
// scan of the keys: nodes with 1..255 children over random two- and
// three-byte keys.
TEST(KeyIndex, AgreesWithPlainScanOverDenseAndSparseNodes) {
  std::mt19937 rng(7);
  Keys k;
  for (int lead = 0; lead < 40; ++lead) {
    const int kids = 1 + lead * 6;  // 1 .. 235 children
    for (int c = 0; c < kids; ++c) {
      std::string key{static_cast<char>(lead + 0x80), static_cast<char>(rng() % 256)};
      if (rng() % 3 == 0) key.push_back(static_cast<char>(rng() % 256));
      k.text.push_back(key);
    }
  }
  KeyIndex idx;
  idx.build(k.spans());
  for (int trial = 0; trial < 20000; ++trial) {
    std::string in{static_cast<char>(0x80 + rng() % 42), static_cast<char>(rng() % 256),
                   static_cast<char>(rng() % 256)};
    std::int32_t want = -1;
    std::size_t wantLen = 0;
    for (std::size_t i = 0; i < k.text.size(); ++i) {
      const std::string& key = k.text[i];
      if (key.size() > wantLen && in.compare(0, key.size(), key) == 0) {
        want = static_cast<std::int32_t>(i);
        wantLen = key.size();
      }
    }
    const Hit h = look(idx, in);
    ASSERT_EQ(h.entry, want) << trial;
    if (want >= 0) {
      ASSERT_EQ(static_cast<std::size_t>(h.len), wantLen);
    }
  }
}

// A table of long keys must not get a 256-way array per node.
TEST(KeyIndex, MemoryStaysLinearForLongKeys) {
  std::mt19937 rng(3);
  Keys k;
  std::size_t keyBytes = 0;
  for (int i = 0; i < 300; ++i) {
    std::string key(1000, '\0');
    for (char& c : key) c = static_cast<char>(rng() % 256);
    keyBytes += key.size();
    k.text.push_back(key);
  }
  KeyIndex idx;
  idx.build(k.spans());
  EXPECT_LT(idx.memoryBytes(), keyBytes * 40);
  EXPECT_EQ(look(idx, k.text[123] + "tail").entry, 123);
  EXPECT_EQ(look(idx, k.text[123] + "tail").len, 1000);
}

}  // namespace
}  // namespace dataport::table
