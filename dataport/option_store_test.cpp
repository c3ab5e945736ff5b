#include "dataport/option_store.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace dataport {
namespace {

/// A command line the store can scan: word 0 is the program name.
struct Line {
  std::vector<std::string> words;
  std::vector<char*> argv;
  explicit Line(std::vector<std::string> rest) {
    words.push_back("dataport");
    words.insert(words.end(), rest.begin(), rest.end());
    for (auto& w : words) argv.push_back(w.data());
  }
  OptionStore store() { return OptionStore(static_cast<int>(argv.size()), argv.data()); }
};

struct NumberCase {
  const char* word;
  bool ok;
  std::int64_t value;
};

TEST(ParseNumber, ConvertsLikeStrtollWithBase0AndRefusesWhatDoesNotFit) {
  const NumberCase cases[] = {
      {"0x1F", true, 31},
      {"0X1f", true, 31},
      {"017", true, 15},
      {"0", true, 0},
      {"-1", true, -1},
      {"+7", true, 7},
      {"-0x10", true, -16},
      {" 12", true, 12},
      {"\t\n12", true, 12},
      {"", true, 0},
      {"2147483648", true, 2147483648},
      {"0x80000000", true, 0x80000000},
      {"4294967296", true, 4294967296},
      {"99999999999", true, 99999999999},
      {"9223372036854775807", true, INT64_MAX},
      {"0x7FFFFFFFFFFFFFFF", true, INT64_MAX},
      {"0777777777777777777777", true, INT64_MAX},
      {"-9223372036854775808", true, INT64_MIN},
      {"-0x8000000000000000", true, INT64_MIN},
      {"9223372036854775808", false, 0},
      {"0x8000000000000000", false, 0},
      {"-9223372036854775809", false, 0},
      {"18446744073709551616", false, 0},
      {"99999999999999999999999", false, 0},
      {"-99999999999999999999999", false, 0},
      {"08", false, 0},
      {"12abc", false, 0},
      {"12 ", false, 0},
      {"abc", false, 0},
      {" ", false, 0},
      {"-", false, 0},
      {"0x", false, 0},
      {"0xg", false, 0},
      {"0b101", false, 0},  // no binary prefix, whatever the host library does
      {"1.5", false, 0},
  };
  for (const auto& c : cases) {
    std::int64_t v = 12345;
    bool ok = parseNumber(c.word, v);
    EXPECT_EQ(ok, c.ok) << "word '" << c.word << "'";
    if (c.ok) {
      EXPECT_EQ(v, c.value) << "word '" << c.word << "'";
    }
  }
}

TEST(OptionStore, GettersApplyTheirConversionAndWidth) {
  Line line({"-1", "4294967295", "-5", "x", "xy", "", "", "", "2.5", "2.5q"});
  OptionStore s = line.store();
  std::int64_t i = 0;
  std::uint32_t u = 0;
  double d = 0;
  char c = 0;
  std::string t;

  ASSERT_TRUE(s.getUnsigned(u, true));
  EXPECT_EQ(u, 4294967295u);
  ASSERT_TRUE(s.getInt(i, true));
  EXPECT_EQ(i, 4294967295);  // no longer clamped to 32 bits
  ASSERT_TRUE(s.getInt(i, true));
  EXPECT_EQ(i, -5);
  ASSERT_TRUE(s.getChar(c, true));
  EXPECT_EQ(c, 'x');
  EXPECT_FALSE(s.getChar(c, true));  // "xy"
  ASSERT_TRUE(s.getString(t, true));
  EXPECT_EQ(t, "xy");
  EXPECT_FALSE(s.getChar(c, true));  // the empty word is no character
  // The empty word is 0 for every number getter.
  i = 9;
  u = 9;
  d = 9;
  ASSERT_TRUE(s.getInt(i, true));
  ASSERT_TRUE(s.getUnsigned(u, true));
  ASSERT_TRUE(s.getDouble(d, true));
  EXPECT_EQ(i, 0);
  EXPECT_EQ(u, 0u);
  EXPECT_EQ(d, 0.0);
  ASSERT_TRUE(s.getDouble(d, true));
  EXPECT_EQ(d, 2.5);
  EXPECT_FALSE(s.getDouble(d, true));
  EXPECT_EQ(d, 2.5);  // a failed getter leaves its destination alone
  ASSERT_TRUE(s.getString(t, true));
  EXPECT_EQ(t, "2.5q");
  EXPECT_FALSE(s.getString(t, true));  // nothing left
}

TEST(OptionStore, OnlyProgramNameFindsNothingAndEveryGetterFails) {
  Line line({});
  OptionStore s = line.store();
  std::int64_t i = 0;
  std::string t;
  char c = 0;
  EXPECT_FALSE(s.find("-s", true));
  EXPECT_FALSE(s.find("dataport", true));  // word 0 is never examined
  EXPECT_FALSE(s.getInt(i, true));
  EXPECT_FALSE(s.getInt(i, false));
  EXPECT_FALSE(s.getString(t, true));
  EXPECT_FALSE(s.getChar(c, false));
}

TEST(OptionStore, FindMatchesWholeWordsExactlyAndLeavesCursorAfterMatch) {
  Line line({"-em", "-E", "-e5", "440", "-e", "9"});
  OptionStore s = line.store();
  ASSERT_TRUE(s.find("-e", true));
  EXPECT_EQ(s.cursor(), 6);
  EXPECT_TRUE(s.isUsed(5));
  EXPECT_FALSE(s.isUsed(1));
  EXPECT_FALSE(s.isUsed(2));
  EXPECT_FALSE(s.isUsed(3));
  std::int64_t v = 0;
  ASSERT_TRUE(s.getInt(v, false));
  EXPECT_EQ(v, 9);
  EXPECT_FALSE(s.find("-x", true));
}

TEST(OptionStore, FailedFindPutsTheCursorBack) {
  Line line({"a", "-t", "b"});
  OptionStore s = line.store();
  ASSERT_TRUE(s.find("-t", false));
  EXPECT_EQ(s.cursor(), 3);
  EXPECT_FALSE(s.find("-zz", false));
  EXPECT_EQ(s.cursor(), 3);
  std::string t;
  ASSERT_TRUE(s.getString(t, false));
  EXPECT_EQ(t, "b");
}

TEST(OptionStore, RepeatedOptionConsumesOnlyTheFirstAndSecondBecomesPositional) {
  Line line({"-a", "440", "-a", "in"});
  OptionStore s = line.store();
  ASSERT_TRUE(s.find("-a", true));
  std::string w;
  ASSERT_TRUE(s.getString(w, true));
  EXPECT_EQ(w, "440");
  ASSERT_TRUE(s.getString(w, true));
  EXPECT_EQ(w, "-a");
  ASSERT_TRUE(s.getString(w, true));
  EXPECT_EQ(w, "in");
}

TEST(OptionStore, ValueIsTheNextWordEvenWhenAlreadyUsedOrDashed) {
  // "-i" "-s": the mode switch is found first and consumed, and still is the
  // value of "-i".
  Line line({"-i", "-s"});
  OptionStore s = line.store();
  ASSERT_TRUE(s.find("-s", true));
  ASSERT_TRUE(s.find("-i", true));
  std::string v;
  ASSERT_TRUE(s.getString(v, false));
  EXPECT_EQ(v, "-s");
}

TEST(OptionStore, SearchFromFirstFreeCoversUsedWordsBehindIt) {
  // 440 stays free, so the search for "-h" starts at it and reaches the
  // "-h" already taken as the value of "-t".
  Line line({"440", "-t", "-h", "in"});
  OptionStore s = line.store();
  std::string v;
  ASSERT_TRUE(s.find("-t", true));
  ASSERT_TRUE(s.getString(v, false));
  EXPECT_EQ(v, "-h");
  ASSERT_TRUE(s.find("-h", true));
  ASSERT_TRUE(s.getString(v, false));
  EXPECT_EQ(v, "in");
  ASSERT_TRUE(s.getString(v, true));
  EXPECT_EQ(v, "440");
  EXPECT_FALSE(s.getString(v, true));
}

TEST(OptionStore, SearchFromFirstFreeNeverLooksBeforeIt) {
  Line line({"-t", "x", "-q", "y"});
  OptionStore s = line.store();
  std::string v;
  ASSERT_TRUE(s.find("-t", true));
  ASSERT_TRUE(s.getString(v, false));
  EXPECT_EQ(s.skipUsed(true), 3);
  EXPECT_EQ(s.firstFree(), 3);
  EXPECT_FALSE(s.find("-t", true));
  EXPECT_FALSE(s.find("x", true));
  EXPECT_TRUE(s.find("x", false));  // from word 1 it is still there
}

TEST(OptionStore, FailedGetterLeavesItsWordFreeForPositionals) {
  Line line({"-b", "zz", "440"});
  OptionStore s = line.store();
  ASSERT_TRUE(s.find("-b", true));
  std::int64_t v = 0;
  EXPECT_FALSE(s.getInt(v, false));
  EXPECT_FALSE(s.isUsed(2));
  std::string w;
  ASSERT_TRUE(s.getString(w, true));
  EXPECT_EQ(w, "zz");
}

TEST(OptionStore, OptionAsLastWordHasNoValue) {
  Line line({"440", "-t"});
  OptionStore s = line.store();
  ASSERT_TRUE(s.find("-t", true));
  std::string v;
  EXPECT_FALSE(s.getString(v, false));
  EXPECT_TRUE(s.getString(v, true));
  EXPECT_EQ(v, "440");
}

}  // namespace
}  // namespace dataport
