#include "mendbin/listing_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace mendbin {
namespace {

// A source that hands out `text` in pieces of at most `piece` bytes and then
// fails with `errorAtEnd` (0: reports the end).
ListingSource textSource(std::string text, std::size_t piece = 1 << 20, int errorAtEnd = 0) {
  auto at = std::make_shared<std::size_t>(0);
  return [text = std::move(text), piece, errorAtEnd, at](std::uint8_t* dst, std::int64_t n) {
    std::size_t k = std::min({text.size() - *at, piece, static_cast<std::size_t>(n)});
    if (k == 0) return errorAtEnd != 0 ? IoResult{-1, errorAtEnd} : IoResult{0, 0};
    std::memcpy(dst, text.data() + *at, k);
    *at += k;
    return IoResult{static_cast<std::int64_t>(k), 0};
  };
}

struct Read64 {
  unsigned long offset, org, patch;
  long consumed;
  bool operator==(const Read64&) const = default;
};

// What the C library's own formatted input makes of a listing without its
// comment line: the entries read by fscanf with the listing's pattern.
std::vector<Read64> libraryEntries(const std::string& text) {
  std::vector<Read64> out;
  std::string copy = text;
  FILE* f = fmemopen(copy.data(), copy.size(), "r");
  if (f == nullptr) {
    ADD_FAILURE() << "fmemopen";
    return out;
  }
  Read64 e{};
  while (std::fscanf(f, "%lX: %lX %lX\n", &e.offset, &e.org, &e.patch) == 3) {
    e.consumed = std::ftell(f);
    out.push_back(e);
  }
  std::fclose(f);
  return out;
}

std::vector<Read64> readerEntries(const std::string& text, std::size_t bufferSize) {
  std::vector<Read64> out;
  ListingReader reader(textSource(text), bufferSize);
  RawEntry raw;
  while (reader.nextRaw(raw)) {
    out.push_back({raw.offset.value(64), raw.orgByte.value(64), raw.patchByte.value(64),
                   static_cast<long>(reader.consumed())});
  }
  return out;
}

// Listings on which number forms, white space and the colon rule meet the
// edges of the "%lX: %lX %lX\n" pattern.
const std::vector<std::string> kTrickyListings = {
    "00000007: 57 77\r\n0000000C: 21 2E\r\n",
    "  7:57 77",
    "7:\t\v\f57\r\n\n  77\n\n\nA: 1 2",
    "7 : 57 77\n",                  // blank before the colon
    "0x10: 0X1f -2\n+10: +1 -0\n",  // signs and prefixes
    "-1: 0 0\n",
    "0x: 1 2\n",    // "0x" alone reads as 0
    "0xg: 1 2\n",   // x taken, then g is no colon
    "x10: 1 2\n",
    ": 1 2\n",
    "10:\n",
    "10: 1\n",
    "10: 1 2 3: 4 5\n",  // entries need no line ends between them
    "10: 1 2 3 4 5\n",
    "10: 1 2 end of listing\n11: 3 4\n",
    "+: 1 2\n",
    "-x: 1 2\n",
    "10: 1FF 0X1234\n",
    "123456789ABCDEF01234: 1 2\n",  // beyond 64 bits
    "FFFFFFFFFFFFFFFF: 1 2\n",
    "-FFFFFFFFFFFFFFFF: 1 2\n",
    "-10000000000000000: 1 2\n",
    "00000000000000000000000012: 1 2\n",  // leading zeros never overflow
    "10: 1 2\n\xff: 3 4\n",
    "1a:2b 3c\n1A:2B:3C\n",
    "",
    "   \n\n",
    std::string("1\0: 2 3\n", 8),  // a NUL byte is text like any other
    std::string("10: 1 2\0 11: 3 4\n", 17),
    "123456789ABCDE: 1 2\n123456789ABCDEF: 3 4\n0000000000000007: 57 77\n",
    "7:57 77\n8: 57\t77\n9:  1   2\n",
};

TEST(ListingReader, ReadsEntriesAsTheLibraryPatternDoes) {
  for (const std::string& tricky : kTrickyListings) {
    // Followed by line ends, the text lies whole in a large buffer, as a
    // listing's entries do between the buffer's refills.
    for (const std::string& text : {tricky, tricky + std::string(100, '\n')}) {
      std::vector<Read64> want = libraryEntries(text);
      for (std::size_t bufferSize : {1, 2, 3, 7, 4096}) {
        EXPECT_EQ(readerEntries(text, bufferSize), want)
            << "listing \"" << text << "\" buffer " << bufferSize;
      }
    }
  }
}

TEST(ListingReader, NumberValueFollowsStrtoulAtBothWidths) {
  for (const char* text : {"0", "7FFFFFFF", "80000000", "FFFFFFFF", "100000000", "-1", "-FFFFFFFF",
                           "-100000000", "FFFFFFFFFFFFFFFF", "-FFFFFFFFFFFFFFFF",
                           "10000000000000000", "-10000000000000000", "+1F"}) {
    ListingReader reader(textSource(std::string(text) + ": 0 0"));
    RawEntry raw;
    ASSERT_TRUE(reader.nextRaw(raw)) << text;
    EXPECT_EQ(raw.offset.value(64), std::strtoul(text, nullptr, 16)) << text;
  }
}

TEST(ListingReader, OffsetsAreThirtyTwoBitAndSaturateBeyond) {
  struct Case {
    const char* text;
    std::uint32_t offset;
  };
  for (Case c : {Case{"7FFFFFFF", 0x7FFFFFFF}, Case{"80000000", 0x80000000}, Case{"FFFFFFFF", 0xFFFFFFFF},
                 Case{"100000000", 0xFFFFFFFF}, Case{"100000010", 0xFFFFFFFF}, Case{"-1", 0xFFFFFFFF},
                 Case{"-FFFFFFFF", 1}, Case{"-100000000", 0xFFFFFFFF}, Case{"0x1F", 0x1F}}) {
    ListingReader reader(textSource(std::string(c.text) + ": 0 0"));
    PatchEntry e;
    ASSERT_TRUE(reader.next(e)) << c.text;
    EXPECT_EQ(e.offset, c.offset) << c.text;
  }
}

TEST(ListingReader, ByteValuesKeepTheirLowEightBits) {
  ListingReader reader(textSource("10: 1FF 0X1234\n11: -1 100000000\n"));
  PatchEntry e;
  ASSERT_TRUE(reader.next(e));
  EXPECT_EQ(e.orgByte, 0xFF);
  EXPECT_EQ(e.patchByte, 0x34);
  ASSERT_TRUE(reader.next(e));
  EXPECT_EQ(e.orgByte, 0xFF);
  EXPECT_EQ(e.patchByte, 0xFF);  // beyond 32 bits: all ones
  EXPECT_FALSE(reader.next(e));
}

TEST(ListingReader, FirstLineIsSkippedWholeHoweverLong) {
  for (std::size_t length : {0, 1, 1023, 1024, 1025, 3000}) {
    std::string text = std::string(length, 'c') + "\r\n5: 61 62\r\n";
    ListingReader reader(textSource(text, 100), 64);
    reader.readFirstLine();
    PatchEntry e;
    ASSERT_TRUE(reader.next(e)) << length;
    EXPECT_EQ(e.offset, 5u);
    EXPECT_EQ(e.orgByte, 0x61);
    EXPECT_EQ(e.patchByte, 0x62);
    EXPECT_FALSE(reader.next(e));
    EXPECT_EQ(reader.error(), 0);
  }
}

// How a listing reads after its first line: the entries, how reading ended
// and the line named when it ended on a bad line (0: none).
struct EndCase {
  const char* name;
  std::string text;
  std::vector<std::uint32_t> offsets;
  ListingReader::Stop stop;
  std::string message;
};

const std::vector<EndCase> kEndCases = {
    {"comment only", "Comparing files A and B\r\n", {}, ListingReader::Stop::end, ""},
    {"first line is an entry", "5: 61 62", {5}, ListingReader::Stop::end, ""},
    {"first line is an entry, CR LF", "5: 61 62 \r\n6: 1 2\r\n", {5, 6}, ListingReader::Stop::end,
     ""},
    {"blank before the colon is no entry", "5 : 61 62\r\n6: 1 2\r\n", {6},
     ListingReader::Stop::end, ""},
    {"first line with more text is the comment", "5: 61 62 x\n6: 1 2\n", {6},
     ListingReader::Stop::end, ""},
    {"first line holding half an entry", "5:\n61 62\n", {}, ListingReader::Stop::badLine,
     "ERROR: can't parse listing line 2 : 61 62\n"},
    {"text after an entry on its line", "c\n1: 2 3 4\n", {1}, ListingReader::Stop::badLine,
     "ERROR: can't parse listing line 2 : 1: 2 3 4\n"},
    {"other text after an fc line names itself", "c\n1: 2 3\nFC: a\nmore\n", {1},
     ListingReader::Stop::badLine, "ERROR: can't parse listing line 4 : more\n"},
    {"fc line not at a line start", "c\n1: 2 3 FC: a\n", {1}, ListingReader::Stop::badLine,
     "ERROR: can't parse listing line 2 : 1: 2 3 FC: a\n"},
    {"long bad line is cut at 80", "c\n" + std::string(100, 'z') + "\r\n", {},
     ListingReader::Stop::badLine,
     "ERROR: can't parse listing line 2 : " + std::string(80, 'z') + "\n"},
    {"80 characters and CR LF", "c\n" + std::string(80, 'z') + "\r\n", {},
     ListingReader::Stop::badLine,
     "ERROR: can't parse listing line 2 : " + std::string(80, 'z') + "\n"},
};

TEST(ListingReader, EntriesMustRunToTheEndOfTheListing) {
  for (const EndCase& c : kEndCases) {
    for (std::size_t bufferSize : {1, 5, 4096}) {
      ListingReader reader(textSource(c.text, 3), bufferSize);
      reader.readFirstLine();
      std::vector<std::uint32_t> offsets;
      PatchEntry e;
      while (reader.next(e)) offsets.push_back(e.offset);
      EXPECT_EQ(offsets, c.offsets) << c.name << " buffer " << bufferSize;
      EXPECT_EQ(reader.stop(), c.stop) << c.name << " buffer " << bufferSize;
      if (c.stop == ListingReader::Stop::badLine) {
        EXPECT_EQ(badLineMessage(textSource(c.text, 7), reader.badLineAt()), c.message)
            << c.name << " buffer " << bufferSize;
      }
      EXPECT_FALSE(reader.next(e)) << c.name;
    }
  }
}

TEST(ListingReader, ReadErrorEndsTheListingAndIsKept) {
  // The error strikes inside the second entry: the first one still counts.
  ListingReader reader(textSource("c\n1: 2 3\n4: 5", 4, EIO), 4);
  reader.readFirstLine();
  PatchEntry e;
  ASSERT_TRUE(reader.next(e));
  EXPECT_EQ(e.offset, 1u);
  EXPECT_FALSE(reader.next(e));
  EXPECT_EQ(reader.error(), EIO);
  EXPECT_EQ(reader.stop(), ListingReader::Stop::readError);
  EXPECT_FALSE(reader.next(e));
}

TEST(ListingReader, ReadErrorInFirstLineIsKept) {
  ListingReader reader(textSource("comment without end", 5, EISDIR), 8);
  reader.readFirstLine();
  EXPECT_EQ(reader.error(), EISDIR);
}

}  // namespace
}  // namespace mendbin
