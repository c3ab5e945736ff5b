// dataport's command line as typed: numbers are never clamped, and a word
// that looks like an option but is none (or repeats one) is refused, as is a
// fifth file name, before anything is read or written.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace {

using e2e::Bytes;
using e2e::le;
using e2e::Scratch;

/// A data file with a 4440 header of two records: "ABCD" at 20 and "xyz" at 24.
Bytes twoElementFile() { return le(2, 4) + le(20, 4) + le(4, 4) + le(24, 4) + le(3, 4) + "ABCDxyz"; }

std::vector<std::string> filesIn(const Scratch& s) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(s.dir())) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OptionWords, StrayWordsAreRefusedAndNothingIsWritten) {
  struct Case {
    std::vector<std::string> args;
    const char* err;
  };
  const Case cases[] = {
      {{"4440", "data.bin", "-x", "out.txt"}, "-x:unknown option\n"},
      {{"4440", "data.bin", "--verbose"}, "--verbose:unknown option\n"},
      {{"4440", "data.bin", "-hbase", "4"}, "-hbase:unknown option\n"},
      {{"-a", "4440", "data.bin", "-a"}, "-a:option given twice\n"},
      {{"4440", "data.bin", "out.txt", "hdr.txt", "more.txt"}, "more.txt:too many file names\n"},
      {{"-ebm", "99999999999", "4440", "data.bin"}, "-ebm:error parse\n"},
      {{"-hc", "4294967296", "4440", "data.bin"}, "-hc:error parse\n"},
      {{"-hb", "9223372036854775808", "4440", "data.bin"}, "-hb:error parse\n"},
      // The stray word comes before a bad value and a missing input.
      {{"-ebm", "99999999999", "4440", "gone.bin", "-q2"}, "-q2:unknown option\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    Scratch s;
    s.write("data.bin", twoElementFile());
    auto r = s.dataport(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(filesIn(s), std::vector<std::string>{"data.bin"});
  }
}

TEST(OptionWords, FileNamesStartingWithADashAreNamedWithTheirFolder) {
  Scratch s;
  s.write("-x", twoElementFile());
  auto r = s.dataport({"4440", "./-x", "./-out", "-hb", "-0"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Bytes sep = e2e::defaultSeparator();
  EXPECT_EQ(s.read("-out"), "ABCD" + sep + "xyz" + sep);
}

TEST(OptionWords, HeaderOffsetBeyond2GiBIsTakenAsTyped) {
  // A sparse file: 2 GiB of nothing, then a header of one record whose
  // element follows it.
  Scratch s;
  const std::uint64_t at = 0x80000000ULL;
  const std::string big = s.path("big.bin");
  { std::ofstream(big, std::ios::binary).put('\0'); }
  std::filesystem::resize_file(big, at);
  {
    std::ofstream f(big, std::ios::binary | std::ios::app);
    const Bytes tail = le(1, 4) + le(at + 12, 4) + le(4, 4) + "DATA";
    f.write(tail.data(), static_cast<std::streamsize>(tail.size()));
  }
  auto r = s.dataport({"4440", "big.bin", "-hb", "0x80000000", "-min", "2147483648", "out.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("out.txt"), "DATA" + e2e::defaultSeparator());
}

}  // namespace
