// End-to-end runs on data files that say themselves where their header is
// ("-hp OFF:W") and how many records it has ("-hcp OFF:W"): a real ELF
// object's section table, checked against objcopy, and an archive with its
// directory at the end, checked by a reader written here.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace {

using e2e::Bytes;
using e2e::le;
using e2e::RunResult;
using e2e::Scratch;

std::uint64_t get(const Bytes& b, std::size_t off, int width) {
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b.at(off + i));
  return v;
}

RunResult sh(const Scratch& s, const std::string& command) {
  return s.run("/bin/sh", {"-c", command});
}

struct Section {
  std::string name;
  std::uint64_t type = 0, offset = 0, size = 0;
  int index = 0;
};

/// The section table of a little-endian ELF64 file, read here.
std::vector<Section> sections(const Bytes& elf) {
  const std::uint64_t shoff = get(elf, 0x28, 8);
  const std::uint64_t count = get(elf, 0x3C, 2);
  const std::uint64_t names = get(elf, 0x3E, 2);
  const std::uint64_t strtab = get(elf, shoff + names * 64 + 24, 8);
  std::vector<Section> list;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::size_t rec = shoff + i * 64;
    Section sec;
    sec.name = elf.c_str() + strtab + get(elf, rec, 4);
    sec.type = get(elf, rec + 4, 4);
    sec.offset = get(elf, rec + 24, 8);
    sec.size = get(elf, rec + 32, 8);
    sec.index = static_cast<int>(i);
    list.push_back(sec);
  }
  return list;
}

/// An archive: "ARC1", the entry count (4 bytes) at 4, the directory offset
/// (4 bytes) at 8, the entries' bytes, then the directory at the end: 16
/// bytes per entry, position, size, name (8 bytes, zero-filled).
struct Entry {
  std::string name;
  Bytes data;
};

Bytes archive(const std::vector<Entry>& entries) {
  Bytes body, dir;
  for (const Entry& e : entries) {
    Bytes name = e.name;
    name.resize(8, '\0');
    dir += le(12 + body.size(), 4) + le(e.data.size(), 4) + name;
    body += e.data;
  }
  return "ARC1" + le(entries.size(), 4) + le(12 + body.size(), 4) + body + dir;
}

TEST(LocatedHeader, ArchiveWithDirectoryAtTheEndSplitsIntoItsEntries) {
  Scratch s;
  const std::vector<Entry> entries = {{"intro", "Once upon a time"}, {"middle", "there was"},
                                      {"end.txt", "an archive."}};
  s.write("game.arc", archive(entries));
  RunResult r = s.dataport({"0448", "game.arc", "text.out", "-hp", "8:4", "-hcp", "4:4"});
  ASSERT_EQ(r.status, 0) << r.err;
  Bytes expect;
  for (const Entry& e : entries) expect += e.data + e2e::defaultSeparator();
  EXPECT_EQ(s.read("text.out"), expect);
}

TEST(LocatedHeader, BigEndianFieldsAndAnEmptyCount) {
  Scratch s;
  // Count 2 at 0 (2 bytes), header offset at 2 (4 bytes), both big-endian.
  const Bytes data = Bytes("\x00\x02\x00\x00\x00\x0C", 6) + "abcdef" +
                     Bytes("\0\0\0\x1C\0\0\0\x03\0\0\0\x1F\0\0\0\x02", 16) + "XYZ" + "uv";
  s.write("data.bin", data);
  RunResult r = s.dataport({"0440", "data.bin", "out", "-be", "-hp", "2:4", "-hcp", "0:2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out"), "XYZ" + e2e::defaultSeparator() + "uv" + e2e::defaultSeparator());

  s.write("none.bin", Bytes("\x00\x00\x00\x00\x00\x0C", 6) + "rest");
  r = s.dataport({"0440", "none.bin", "out2", "-be", "-hp", "2:4", "-hcp", "0:2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(s.exists("out2"));
}

TEST(LocatedHeader, ConflictingAndUnreadableFieldsAreRefused) {
  Scratch s;
  s.write("data.bin", Bytes(16, '\0'));
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"-hp", "8:4", "-hb", "0"}, "-hp and -hb can not be used together\n"},
      {{"-hcp", "4:4", "-hc", "3"}, "-hcp and -hc can not be used together\n"},
      {{"-hp", "8:4", "-j"}, "-hp can not be used with -j\n"},
      {{"-hcp", "8:4", "-j"}, "-hcp can not be used with -j\n"},
      {{"-hp", "8:3"}, "-hp:error parse\n"},
      {{"-hcp", "x"}, "-hcp:error parse\n"},
      {{"-hp", "14:4"}, "-hp: cannot read 4 bytes at 14 of data.bin\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"0448", "data.bin"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult r = s.dataport(args);
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
  }
}

}  // namespace
