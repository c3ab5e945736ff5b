#include "dataport/file_field.h"

#include <gtest/gtest.h>

namespace dataport {
namespace {

TEST(FileField, OffsetAndWidthAsTyped) {
  struct Case {
    const char* word;
    std::int64_t off;
    int width;
  } good[] = {{"0x28:8", 40, 8}, {"60:2", 60, 2}, {"010:4", 8, 4}, {"0:1", 0, 1}};
  for (const Case& c : good) {
    FileField f;
    ASSERT_TRUE(parseFileField(c.word, f)) << c.word;
    EXPECT_EQ(f.off, c.off) << c.word;
    EXPECT_EQ(f.width, c.width) << c.word;
  }
}

TEST(FileField, AnythingElseIsRefused) {
  for (const char* word : {"", "8", ":4", "8:", "8:3", "8:16", "-8:4", "x:4", "8:4:", "0x:2", "8 :4"}) {
    FileField f;
    EXPECT_FALSE(parseFileField(word, f)) << word;
  }
}

}  // namespace
}  // namespace dataport
