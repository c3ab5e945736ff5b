// End-to-end runs on data files that say themselves where their header is
// ("-hp OFF:W") and how many records it has ("-hcp OFF:W"): a real ELF
// object's section table, checked against objcopy, and an archive with its
// directory at the end, checked by a reader written here.

#include <algorithm>
#include <cstring>
#include <filesystem>
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

/// The bytes of a section as `readelf -x` shows them: each line has the
/// address, up to four groups of eight hex digits from column 13, and the
/// characters.
Bytes readelfHex(const Scratch& s, const std::string& name) {
  RunResult r = sh(s, "readelf -x '" + name + "' a.o");
  EXPECT_EQ(r.status, 0) << r.err;
  Bytes bytes;
  std::size_t at = 0;
  while (at < r.out.size()) {
    std::size_t end = r.out.find('\n', at);
    if (end == std::string::npos) end = r.out.size();
    const std::string line = r.out.substr(at, end - at);
    at = end + 1;
    if (line.rfind("  0x", 0) != 0 || line.size() < 13) continue;
    std::string hex;
    for (char c : line.substr(13, 36)) {
      if (c != ' ') hex += c;
    }
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
  }
  return bytes;
}

TEST(LocatedHeader, ElfSectionsSplitLikeObjcopyDumpsThem) {
  Scratch s;
  s.write("a.cpp",
          "int twice(int x) { return 2 * x; }\n"
          "const char* greeting() { return \"hello, sections\"; }\n"
          "int counter = 7;\n"
          "double table[] = {1.5, 2.5, 3.5};\n");
  RunResult cc = sh(s, "c++ -c -O1 a.cpp -o a.o");
  ASSERT_EQ(cc.status, 0) << cc.err;
  const Bytes elf = s.read("a.o");
  ASSERT_EQ(elf.substr(0, 5), "\x7F" "ELF\x02");

  // Records of 64 bytes; the count gap skips to sh_offset (24), then 8 bytes
  // position, 8 bytes size, 48 bytes to the next record's sh_offset.
  RunResult r =
      s.dataport({"000O0800081C", "a.o", "sec", "-f", "-hp", "0x28:8", "-hcp", "0x3C:2"});
  ASSERT_EQ(r.status, 0) << r.err;

  std::vector<Section> list = sections(elf);
  ASSERT_GT(list.size(), 8u);
  // Numbered as the split numbers them: by position, then record number.
  std::stable_sort(list.begin(), list.end(),
                   [](const Section& a, const Section& b) { return a.offset < b.offset; });
  int compared = 0, dumped = 0;
  for (std::size_t n = 0; n < list.size(); ++n) {
    const Section& sec = list[n];
    const std::string number = std::to_string(n);
    const Bytes got = s.read("sec." + std::string(3 - std::min<std::size_t>(3, number.size()), '0') + number);
    if (sec.type == 0 || sec.type == 8) {  // SHT_NULL, SHT_NOBITS: no bytes in the file
      EXPECT_TRUE(sec.size == 0 || got.size() == sec.size) << sec.name;
      continue;
    }
    // readelf shows every section's bytes; objcopy dumps those it keeps as
    // sections of their own (not the symbol and relocation tables).
    EXPECT_TRUE(got == readelfHex(s, sec.name)) << sec.name;
    std::filesystem::remove(s.path("want.bin"));
    const RunResult dump = sh(s, "objcopy --dump-section '" + sec.name + "=want.bin' a.o dumped.o");
    if (dump.status == 0 && s.exists("want.bin")) {
      EXPECT_TRUE(got == s.read("want.bin")) << sec.name;
      ++dumped;
    }
    ++compared;
  }
  EXPECT_GT(compared, 8);
  EXPECT_GT(dumped, 3);
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

/// Reads an archive back: every entry as its directory says, or a failure.
std::vector<Entry> readArchive(const Bytes& a) {
  std::vector<Entry> list;
  EXPECT_EQ(a.substr(0, 4), "ARC1");
  const std::uint64_t count = get(a, 4, 4);
  const std::uint64_t dir = get(a, 8, 4);
  EXPECT_EQ(dir + 16 * count, a.size()) << "the directory ends the file";
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::size_t rec = dir + 16 * i;
    Entry e;
    e.name = std::string(a.c_str() + rec + 8, strnlen(a.c_str() + rec + 8, 8));
    e.data = a.substr(get(a, rec, 4), get(a, rec + 4, 4));
    list.push_back(e);
  }
  return list;
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

TEST(LocatedHeader, ArchiveEntryEditedLongerMovesTheDirectoryAndItsOffsetField) {
  Scratch s;
  const std::vector<Entry> entries = {{"intro", "Once upon a time"}, {"middle", "there was"},
                                      {"end.txt", "an archive."}};
  const Bytes original = archive(entries);
  s.write("game.arc", original);
  const std::vector<std::string> layout = {"0448", "-hp", "8:4", "-hcp", "4:4"};
  auto args = [&](const std::vector<std::string>& more) {
    std::vector<std::string> all = layout;
    all.insert(all.begin() + 1, more.begin(), more.end());
    return all;
  };
  RunResult r = s.dataport(args({"game.arc", "text.out"}));
  ASSERT_EQ(r.status, 0) << r.err;

  // Unedited: the archive comes back byte for byte.
  r = s.dataport(args({"text.out", "same.arc", "-i", "game.arc"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(s.read("same.arc") == original);

  Bytes edited = s.read("text.out");
  const std::string from = "there was";
  edited.replace(edited.find(from), from.size(), "there was once a longer entry");
  s.write("text.out", edited);
  r = s.dataport(args({"text.out", "new.arc", "-i", "game.arc"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("header moved to offset 68\n"), std::string::npos) << r.out;

  const Bytes result = s.read("new.arc");
  EXPECT_EQ(get(result, 8, 4), 68u);
  const std::vector<Entry> got = readArchive(result);
  ASSERT_EQ(got.size(), 3u);
  const std::vector<Entry> want = {{"intro", "Once upon a time"},
                                   {"middle", "there was once a longer entry"},
                                   {"end.txt", "an archive."}};
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].name, want[i].name) << i;
    EXPECT_EQ(got[i].data, want[i].data) << i;
  }
  // Byte for byte the archive that holds the edited entries.
  EXPECT_EQ(result, archive(want));
}

TEST(LocatedHeader, MovedHeaderOffsetThatTheFieldCannotHoldOrReachIsAnError) {
  Scratch s;
  // 238 bytes of entries: the directory lies at 250, which a 1-byte field
  // still holds; 10 bytes more move it to 260, which it does not.
  const std::vector<Entry> entries = {{"a", Bytes(200, 'a')}, {"b", Bytes(38, 'b')}};
  s.write("game.arc", archive(entries));
  RunResult r = s.dataport({"0448", "game.arc", "text.out", "-hp", "8:1", "-hcp", "4:4"});
  ASSERT_EQ(r.status, 0) << r.err;
  s.write("text.out", Bytes(210, 'a') + e2e::defaultSeparator() + Bytes(38, 'b') +
                          e2e::defaultSeparator());
  r = s.dataport({"0448", "text.out", "new.arc", "-i", "game.arc", "-hp", "8:1", "-hcp", "4:4"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: the header offset 260 does not fit the 1-byte -hp field\n");

  // A field behind the first element (here inside the first entry, which
  // repeats the directory offset) could not be rewritten where it was.
  const std::vector<Entry> inside = {{"a", "offset" + e2e::le(250, 4) + Bytes(190, 'a')},
                                     {"b", Bytes(38, 'b')}};
  s.write("game2.arc", archive(inside));
  r = s.dataport({"0448", "text.out", "new2.arc", "-i", "game2.arc", "-hp", "18:4", "-hcp", "4:4"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Error: the -hp field at 18 lies behind the first element in range (12); the moved "
            "header's offset could not be written there\n");
  EXPECT_FALSE(s.exists("new2.arc"));
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
