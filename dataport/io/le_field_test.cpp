// Header fields in both byte orders and in units.

#include "dataport/io/le_field.h"

#include <gtest/gtest.h>

#include <string>

namespace dataport::io {
namespace {

std::string bytes(const std::uint8_t* p, int n) { return std::string(p, p + n); }

TEST(FieldFormat, BothByteOrdersRoundTripEveryWidthAsOneValue) {
  const std::uint64_t v = 0x0102030405060708ULL;
  for (int width = 1; width <= 8; ++width) {
    const std::uint64_t low = width == 8 ? v : v & ((std::uint64_t{1} << (8 * width)) - 1);
    for (bool big : {false, true}) {
      FieldFormat f;
      f.bigEndian = big;
      std::uint8_t buf[8] = {};
      f.encode(buf, v, width);
      EXPECT_EQ(f.decode(buf, width), low) << width << " big " << big;
      // Most significant first: the last byte is the lowest of the value.
      EXPECT_EQ(buf[big ? width - 1 : 0], 0x08) << width;
      EXPECT_EQ(buf[big ? 0 : width - 1], 0x09 - width) << width;
    }
  }
  const std::uint8_t three[] = {0x12, 0x34, 0x56};
  EXPECT_EQ(decodeBE(three, 3), 0x123456u);
  EXPECT_EQ(decodeLE(three, 3), 0x563412u);
}

TEST(FieldFormat, UnitsMultiplyOnReadingAndRoundUpOnWriting) {
  FieldFormat f;
  f.posUnit = 2048;
  f.sizeUnit = 4;
  std::uint8_t buf[4] = {};
  f.encodePosition(buf, 4096, 2);
  EXPECT_EQ(bytes(buf, 2), std::string("\x02\x00", 2));
  EXPECT_EQ(f.decodePosition(buf, 2), 4096);
  f.encodeSize(buf, 9, 2);  // 9 bytes take 3 units of 4
  EXPECT_EQ(bytes(buf, 2), std::string("\x03\x00", 2));
  EXPECT_EQ(f.decodeSize(buf, 2), 12);
  f.encodeSize(buf, 8, 2);
  EXPECT_EQ(f.decodeSize(buf, 2), 8);

  struct Case {
    std::int64_t bytes, unit, units, rounded;
  } cases[] = {{0, 16, 0, 0}, {1, 16, 1, 16}, {16, 16, 1, 16}, {17, 16, 2, 32},
               {-5, 4, -1, -4}, {7, 1, 7, 7}};
  for (const Case& c : cases) {
    EXPECT_EQ(FieldFormat::inUnits(c.bytes, c.unit), c.units) << c.bytes << "/" << c.unit;
    EXPECT_EQ(FieldFormat::roundUp(c.bytes, c.unit), c.rounded) << c.bytes << "/" << c.unit;
  }
}

}  // namespace
}  // namespace dataport::io
