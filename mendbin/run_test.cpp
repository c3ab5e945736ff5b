#include "mendbin/run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mendbin/memory_file_for_tests.h"

namespace mendbin {
namespace {

// A listing source over `text` that fails with `error` once the text is
// read (0: reports the end).
ListingSource textSource(std::string text, int error = 0) {
  auto at = std::make_shared<std::size_t>(0);
  return [text = std::move(text), error, at](std::uint8_t* dst, std::int64_t n) {
    std::size_t k = std::min(text.size() - *at, static_cast<std::size_t>(n));
    if (k == 0 && error != 0) return IoResult{-1, error};
    std::memcpy(dst, text.data() + *at, k);
    *at += k;
    return IoResult{static_cast<std::int64_t>(k), 0};
  };
}

struct Outcome {
  std::string errors;
  std::string output;
  int code = -1;
};

Outcome runOn(MemoryFile& file, const std::string& listing, Settings settings, int listingError = 0) {
  Outcome out;
  Patcher patcher(file, "f.bin", settings, true, [&out](const std::string& l) { out.errors += l; });
  BeginPass begin = [&] { return textSource(listing, listingError); };
  ListingReader first(begin());
  first.readFirstLine();
  out.code = runListing(first, begin, "d.txt", patcher, settings,
                        [&out](const std::string& l) { out.errors += l; },
                        [&out](const std::string& l) { out.output += l; });
  return out;
}

struct Case {
  const char* name;
  std::string listing;
  Settings settings;
  int listingError;
  int code;
  std::string fileAfter;
  std::string errors;
  std::string output;
};

TEST(RunListing, AppliesWholeOrNotAtAll) {
  const Settings verified{};
  const Settings unverified{false, false, false};
  const Settings check{true, false, true};
  const Settings checkUnverified{false, false, true};
  const std::vector<Case> cases = {
      {"applies", "c\n0: 61 41\n1: 62 42\n", verified, 0, 0, "ABcdef", "", ""},
      {"mismatch in the last entry", "c\n0: 61 41\n1: 62 42\n5: 78 79\n", verified, 0, 1,
       "abcdef", "ERROR: unknown data, not patching : pos 5 (0x5) : f.bin\n", ""},
      {"beyond the end", "c\n0: 61 41\n6: 0 1\n", verified, 0, 1, "abcdef",
       "ERROR: can't read from file : f.bin : offset beyond end of file\n", ""},
      {"unverified writes past the end", "c\n0: 61 41\n7: 0 1\n", unverified, 0, 0,
       std::string("Abcdef\0\1", 8), "", ""},
      {"unpositionable offset, unverified", "c\n0: 61 41\nFFFFFFFF: 0 1\n", unverified, 0, 1,
       "abcdef", "ERROR: can't seek in file : f.bin : Invalid argument\n", ""},
      {"text after the entries", "c\n0: 61 41\n1: 62 42\nFC: done\n2: 63 43\n", unverified, 0, 1,
       "abcdef", "ERROR: can't parse listing line 4 : FC: done\n", ""},
      {"read error of the listing", "c\n0: 61 41\n1: 62 ", verified, EIO, 1, "abcdef",
       "ERROR: error reading file: d.txt : Input/output error\n", ""},
      {"no entries", "Comparing files A and B\nFC: no differences encountered\n", verified, 0, 0,
       "abcdef", "no differences listed\n", ""},
      {"check", "c\n0: 61 41\n1: 62 62\n2: 63 43\n", check, 0, 0, "abcdef", "",
       "ok: 2 entries to apply, 1 already applied\n"},
      {"check of one entry", "c\n0: 61 41\n", check, 0, 0, "abcdef", "",
       "ok: 1 entries to apply, 0 already applied\n"},
      {"check that fails", "c\n0: 61 41\n1: 78 42\n", check, 0, 1, "abcdef",
       "ERROR: unknown data, not patching : pos 1 (0x1) : f.bin\n", ""},
      {"check wins over -n", "c\n0: 78 41\n", checkUnverified, 0, 1, "abcdef",
       "ERROR: unknown data, not patching : pos 0 (0x0) : f.bin\n", ""},
      {"check of no entries", "c\n", check, 0, 0, "abcdef", "no differences listed\n",
       "ok: 0 entries to apply, 0 already applied\n"},
  };
  for (const Case& c : cases) {
    MemoryFile file("abcdef");
    Outcome r = runOn(file, c.listing, c.settings, c.listingError);
    EXPECT_EQ(r.code, c.code) << c.name;
    EXPECT_EQ(file.bytes, c.fileAfter) << c.name;
    EXPECT_EQ(r.errors, c.errors) << c.name;
    EXPECT_EQ(r.output, c.output) << c.name;
    if (c.code != 0 || c.settings.checkOnly) {
      EXPECT_EQ(file.writes, 0) << c.name;
    }
  }
}

TEST(RunListing, VerifyFailureEndsTheRunWithExitOne) {
  MemoryFile file("abcdef");
  file.forget = {1};
  Outcome r = runOn(file, "c\n1: 62 42\n2: 63 43\n", Settings{});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.errors, "ERROR: verify fail, data not written : pos 1 (0x1) : file f.bin\n");
  EXPECT_EQ(file.bytes, "abCdef");  // the run went on
}

}  // namespace
}  // namespace mendbin
