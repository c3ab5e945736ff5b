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

// The end-to-end tests cover the messages of a run; these pin what only a
// file in memory shows: no write at all before an error of the listing.
TEST(RunListing, ReadErrorOfTheListingWritesNothing) {
  MemoryFile file("abcdef");
  Outcome r = runOn(file, "c\n0: 61 41\n1: 62 42\n2: 63 ", Settings{}, EIO);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.errors, "ERROR: error reading file: d.txt : Input/output error\n");
  EXPECT_EQ(file.writes, 0);
}

TEST(RunListing, CheckReadsButNeverWrites) {
  MemoryFile file("abcdef");
  Outcome r = runOn(file, "c\n0: 61 41\n1: 62 62\n0: 41 42\n", Settings{false, false, true});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.output, "ok: 2 entries to apply, 1 already applied\n");
  EXPECT_EQ(file.writes, 0);
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
