// A real ELF file: a small object compiled at test time, whose section table
// ends the file. Its records hold the section offset and size at bytes 24
// and 32 of 64, so the header starts 24 bytes into the table (htype
// 00000800081C: 8-byte position, 8-byte size, 48 skipped bytes) and the last
// record's last field ends 24 bytes before the end of the file.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

using e2e::Bytes;
using e2e::Scratch;
using testing::HasSubstr;

constexpr char kHtype[] = "00000800081C";

std::uint64_t leAt(const Bytes& b, std::size_t off, int width) {
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[off + i]);
  return v;
}

/// The numbered file of element k: sec.000, sec.001, ...
std::string numbered(std::size_t k) {
  std::string n = std::to_string(k);
  return "sec." + std::string(n.size() < 3 ? 3 - n.size() : 0, '0') + n;
}

struct Section {
  int index;
  std::string name;
  std::uint64_t off, size;
};

/// The section table as readelf lists it, in file order (offset, then number).
std::vector<Section> readelfSections(const Scratch& s, const std::string& file) {
  auto r = s.run(READELF, {"-S", "-W", file});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<Section> sections;
  const std::regex row(R"(\[\s*(\d+)\]\s+(\S*)\s+\S+\s+[0-9a-f]{16} ([0-9a-f]+) ([0-9a-f]+) )");
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, row)) continue;
    sections.push_back({std::stoi(m[1]), m[2], std::stoull(m[3], nullptr, 16),
                        std::stoull(m[4], nullptr, 16)});
  }
  std::sort(sections.begin(), sections.end(), [](const Section& a, const Section& b) {
    return a.off != b.off ? a.off < b.off : a.index < b.index;
  });
  return sections;
}

class ElfSectionTable : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(READELF)) GTEST_SKIP() << "readelf is not installed";
    s.write("x.cpp",
            "extern const char greeting[] = \"hello from a section\";\n"
            "int answer() { return 42; }\n");
    auto cc = s.run(CXX_COMPILER, {"-c", "-O0", "x.cpp", "-o", "obj.o"});
    ASSERT_EQ(cc.status, 0) << cc.err;
    elf = s.read("obj.o");
    ASSERT_EQ(elf.substr(0, 4), "\x7F" "ELF");
    ASSERT_EQ(elf[4], 2) << "a 64-bit ELF file";
    const std::uint64_t shoff = leAt(elf, 0x28, 8);
    count = leAt(elf, 0x3C, 2);
    ASSERT_EQ(leAt(elf, 0x3A, 2), 64u);
    ASSERT_EQ(shoff + 64 * count, elf.size()) << "the section table ends the file";
    hbase = std::to_string(shoff + 24);
  }

  std::vector<std::string> args(std::vector<std::string> more) const {
    std::vector<std::string> a = {kHtype, "-hb", hbase, "-hc", std::to_string(count), "-f"};
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }

  Scratch s;
  Bytes elf;
  std::uint64_t count = 0;
  std::string hbase;
};

TEST_F(ElfSectionTable, SplitReadsEverySectionOfATableThatEndsTheFile) {
  auto r = s.dataport(args({"obj.o", "sec"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<Section> sections = readelfSections(s, "obj.o");
  ASSERT_EQ(sections.size(), count);
  for (std::size_t k = 0; k < sections.size(); ++k) {
    SCOPED_TRACE(sections[k].name);
    EXPECT_EQ(s.read(numbered(k)), elf.substr(sections[k].off, sections[k].size));
  }
  EXPECT_FALSE(s.exists(numbered(count)));
}

TEST_F(ElfSectionTable, UneditedImportGivesTheFileBackAndAGrownSectionMovesTheTable) {
  ASSERT_EQ(s.dataport(args({"obj.o", "sec"})).status, 0);
  auto same = s.dataport(args({"-i", "obj.o", "sec", "same.o"}));
  ASSERT_EQ(same.status, 0) << same.err;
  EXPECT_EQ(s.read("same.o"), elf);

  // Four more bytes in the .comment section.
  const std::vector<Section> before = readelfSections(s, "obj.o");
  std::size_t comment = 0;
  while (comment < before.size() && before[comment].name != ".comment") ++comment;
  ASSERT_LT(comment, before.size());
  s.write(numbered(comment), s.read(numbered(comment)) + "MORE");
  auto r = s.dataport(args({"-i", "obj.o", "sec", "new.o"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::uint64_t newHbase = std::stoull(hbase) + 4;
  EXPECT_THAT(r.out, HasSubstr("header moved to offset " + std::to_string(newHbase) + "\n"));

  // The ELF header's own pointer is the user's to set, as the line says.
  Bytes out = s.read("new.o");
  ASSERT_EQ(out.size(), elf.size() + 4);
  out.replace(0x28, 8, e2e::le(newHbase - 24, 8));
  s.write("new.o", out);
  const std::vector<Section> after = readelfSections(s, "new.o");
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t k = 0; k < after.size(); ++k) {
    SCOPED_TRACE(after[k].name);
    EXPECT_EQ(after[k].name, before[k].name);
    EXPECT_EQ(after[k].size, before[k].size + (k == comment ? 4 : 0));
    EXPECT_EQ(after[k].off, before[k].off + (k > comment ? 4 : 0));
    EXPECT_EQ(out.substr(after[k].off, after[k].size), s.read(numbered(k)));
  }
}

}  // namespace
