#include "dataport/io/file_helpers.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace dataport::io {
namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

/// Whole file as it is on disk ("" when missing).
std::string slurp(const std::string& p) {
  std::ifstream in(p, std::ios::binary | std::ios::ate);
  if (!in) return "";
  std::string s(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(s.data(), static_cast<std::streamsize>(s.size()));
  return s;
}

class FileHelpersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "file_helpers_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    disk_.closeAll(nullptr);
    fs::remove_all(dir_);
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void put(const std::string& name, const std::string& s) const {
    std::ofstream(path(name), std::ios::binary | std::ios::trunc) << s;
  }
  /// The file as the run sees it: everything written out first.
  std::string content(const std::string& name) {
    EXPECT_TRUE(disk_.closeAll(nullptr));
    return slurp(path(name));
  }
  std::int64_t writeAtS(const std::string& name, const std::string& s, std::int64_t off,
                        const char* mode) {
    return writeAt(disk_, path(name), reinterpret_cast<const std::uint8_t*>(s.data()), off,
                   static_cast<std::int64_t>(s.size()), mode);
  }

  fs::path dir_;
  Disk disk_;
};

// ---- readAt / readItems ----

TEST_F(FileHelpersTest, ReadAtNearEndReturnsBytesUpToEnd) {
  put("f", std::string(100, 'x'));
  Bytes buf(10, 0);
  EXPECT_EQ(readAt(disk_, path("f"), buf.data(), 95, 10), 5);
  EXPECT_EQ(readAt(disk_, path("f"), buf.data(), 90, 10), 10);
  EXPECT_EQ(readAt(disk_, path("f"), buf.data(), 100, 10), 0);
  EXPECT_EQ(readAt(disk_, path("f"), buf.data(), 500, 10), 0);
}

TEST_F(FileHelpersTest, ReadAtOfMissingFileOrNegativeOffsetIsZero) {
  put("f", "abc");
  Bytes buf(3, 0);
  EXPECT_EQ(readAt(disk_, path("missing"), buf.data(), 0, 3), 0);
  EXPECT_EQ(readAt(disk_, path("f"), buf.data(), -1, 3), 0);
  fs::create_directory(path("dir"));
  EXPECT_EQ(readAt(disk_, path("dir"), buf.data(), 0, 3), 0);
}

TEST_F(FileHelpersTest, ReadItemsCountsWholeItemsAndSignsShortReadWithoutEnd) {
  put("f", "0123456789");
  Bytes buf(16, 0);
  {
    Stream in(disk_, path("f"), "rb");
    EXPECT_EQ(readItems(buf.data(), 4, 2, in), 2);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + 8), "01234567");
    EXPECT_EQ(readItems(buf.data(), 4, 2, in), 0);  // two bytes left: no whole item, end reached
    EXPECT_TRUE(in.eof());
  }
  {
    // A stream that cannot read ("ab" is write only) stops short without
    // reaching the end: the count is negative (here minus zero items).
    Stream out(disk_, path("f"), "ab");
    EXPECT_EQ(readItems(buf.data(), 1, 4, out), 0);
    EXPECT_TRUE(out.error());
    EXPECT_FALSE(out.eof());
  }
}

TEST_F(FileHelpersTest, ReadItemsFromPipeRetriesAndSignsUnfinishedRead) {
  // A pipe delivers what its writer has written so far: each read is short
  // and the end is never reached while the writer keeps it open.
  ASSERT_EQ(::mkfifo(path("p").c_str(), 0600), 0);
  int wr = ::open(path("p").c_str(), O_RDWR);  // keeps the pipe open for writing
  ASSERT_GE(wr, 0);
  ASSERT_EQ(::write(wr, "abcdef", 6), 6);
  Stream in(disk_, path("p"), "rb");
  ASSERT_TRUE(in.isOpen());
  Bytes buf(4, 0);
  EXPECT_EQ(readItems(buf.data(), 1, 4, in), 4);
  ::close(wr);  // now the writer is gone: the next read meets the end
  EXPECT_EQ(readItems(buf.data(), 1, 4, in), 2);
  EXPECT_TRUE(in.eof());
}

// ---- writeAt ----

TEST_F(FileHelpersTest, WriteAtPositionsOnlyForNonzeroOffset) {
  put("f", "0123456789");
  EXPECT_EQ(writeAtS("f", "AB", 4, "rb+"), 2);
  EXPECT_EQ(writeAtS("f", "Z", 0, "rb+"), 1);
  EXPECT_EQ(content("f"), "Z123AB6789");
  EXPECT_EQ(writeAtS("g", "new", 0, "wb"), 3);
  EXPECT_EQ(content("g"), "new");
}

TEST_F(FileHelpersTest, AppendModeIgnoresTheOffset) {
  put("f", "abc");
  EXPECT_EQ(writeAtS("f", "XY", 1, "ab"), 2);
  EXPECT_EQ(writeAtS("f", "Z", 0, "ab"), 1);
  EXPECT_EQ(content("f"), "abcXYZ");
}

TEST_F(FileHelpersTest, WriteAtFailsToOpenOrPosition) {
  EXPECT_EQ(writeAtS("missing", "abc", 0, "rb+"), 0);
  EXPECT_FALSE(fs::exists(path("missing")));
  fs::create_directory(path("dir"));
  EXPECT_EQ(writeAtS("dir", "abc", 0, "wb"), 0);
  put("f", "abc");
  EXPECT_EQ(writeAtS("f", "x", -4, "rb+"), 0);
  EXPECT_EQ(content("f"), "abc");
}

TEST_F(FileHelpersTest, WriteAtToFullDeviceIsShortAndTheRunHearsOfIt) {
  EXPECT_EQ(writeAtS("/dev/full", "abc", 0, "wb"), 0);
  EXPECT_EQ(writeAtS("/dev/full", "abc", 0, "ab"), 0);
  std::string failed;
  EXPECT_FALSE(disk_.closeAll(&failed));
  EXPECT_EQ(failed, "/dev/full");
}

TEST_F(FileHelpersTest, FailedWriteOutOfEarlierBytesMakesTheWriteShort) {
  put("f", "0123456789");
  // Bytes that can never be stored are buffered first...
  EXPECT_EQ(writeAtS("f", "x", std::int64_t{1} << 62, "rb+"), 1);
  // ...and the next write, which writes them out, reports the loss.
  EXPECT_EQ(writeAtS("f", "AB", 2, "rb+"), 0);
  std::string failed;
  EXPECT_FALSE(disk_.closeAll(&failed));
  EXPECT_EQ(failed, path("f"));
}

// ---- copyRange / copyItems ----

TEST_F(FileHelpersTest, CopyRangeCopiesBetweenOffsets) {
  put("in", "0123456789");
  put("out", "abcdefghij");
  EXPECT_EQ(copyRange(disk_, path("in"), path("out"), 2, 5, 3, "rb+"), 3);
  EXPECT_EQ(content("out"), "abcde234ij");
}

TEST_F(FileHelpersTest, CopyRangeOfZeroBytesStillEmptiesWbOutput) {
  put("in", "0123456789");
  put("out", "old bytes");
  EXPECT_EQ(copyRange(disk_, path("in"), path("out"), 0, 0, 0, "wb"), 0);
  EXPECT_TRUE(fs::exists(path("out")));
  EXPECT_EQ(content("out"), "");
  EXPECT_EQ(copyRange(disk_, path("in"), path("new"), 0, 0, 0, "wb"), 0);
  EXPECT_TRUE(fs::exists(path("new")));
}

TEST_F(FileHelpersTest, CopyRangeWithAppendIgnoresOutputOffset) {
  put("in", "0123456789");
  put("out", "ab");
  EXPECT_EQ(copyRange(disk_, path("in"), path("out"), 7, 1, 3, "ab"), 3);
  EXPECT_EQ(copyRange(disk_, path("in"), path("out"), 0, 0, 1, "ab"), 1);
  EXPECT_EQ(content("out"), "ab7890");
}

TEST_F(FileHelpersTest, CopyRangeStopsAtEndOfInput) {
  put("in", "0123456789");
  EXPECT_EQ(copyRange(disk_, path("in"), path("out"), 6, 0, 10, "wb"), 4);
  EXPECT_EQ(copyRange(disk_, path("in"), path("out2"), 10, 0, 10, "wb"), 0);
  EXPECT_EQ(content("out"), "6789");
  EXPECT_EQ(content("out2"), "");
}

TEST_F(FileHelpersTest, CopyRangeFailsOnMissingInputOrBadOffsets) {
  put("in", "0123");
  put("out", "keep");
  EXPECT_EQ(copyRange(disk_, path("missing"), path("out"), 0, 0, 4, "wb"), 0);
  EXPECT_EQ(content("out"), "keep");  // output never opened
  EXPECT_EQ(copyRange(disk_, path("in"), path("missing"), 0, 0, 4, "rb+"), 0);
  EXPECT_EQ(copyRange(disk_, path("in"), path("out"), -1, 0, 4, "rb+"), 0);
  EXPECT_EQ(copyRange(disk_, path("in"), path("out"), 0, -1, 4, "rb+"), 0);
  EXPECT_EQ(content("out"), "keep");
}

TEST_F(FileHelpersTest, CopyRangeLargerThanWorkAreaKeepsEveryByte) {
  std::string data(3 * kWorkArea + 12345, '\0');
  std::uint32_t x = 12345;
  for (char& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  put("in", data);
  EXPECT_EQ(copyRange(disk_, path("in"), path("out"), 100, 0, 3 * kWorkArea, "wb"),
            3 * kWorkArea);
  EXPECT_EQ(content("out"), data.substr(100, 3 * kWorkArea));
}

TEST_F(FileHelpersTest, CopyRangeWithinOneFileSeesEarlierBatches) {
  // Copying forward inside one file in batches of the work area: the second
  // batch reads bytes the first batch wrote, as a batch-by-batch copy does.
  std::string data(kWorkArea * 2, 'a');
  data.replace(0, 4, "HEAD");
  put("f", data);
  EXPECT_EQ(copyRange(disk_, path("f"), path("f"), 0, kWorkArea, kWorkArea + 4, "rb+"),
            kWorkArea + 4);
  std::string got = content("f");
  ASSERT_EQ(got.size(), static_cast<std::size_t>(kWorkArea * 2 + 4));
  EXPECT_EQ(got.substr(kWorkArea, 4), "HEAD");
  EXPECT_EQ(got.substr(2 * kWorkArea, 4), "HEAD");
}

TEST_F(FileHelpersTest, CopyItemsStopsAtEndWithWholeItems) {
  put("in", "0123456789");
  Stream in(disk_, path("in"), "rb");
  Stream out(disk_, path("out"), "wb");
  EXPECT_EQ(copyItems(in, out, 3, 5), 3);
  EXPECT_TRUE(out.close());
  EXPECT_EQ(content("out"), "012345678");
}

// ---- writeFill / fillAt ----

TEST_F(FileHelpersTest, FillAtAppendsInBlocksOf256) {
  put("f", "ab");
  EXPECT_EQ(fillAt(disk_, path("f"), 0xEE, 0, 600, "ab"), 600);
  EXPECT_EQ(content("f"), "ab" + std::string(600, '\xEE'));
}

TEST_F(FileHelpersTest, FillAtPositionsInUpdateMode) {
  put("f", "0123456789");
  EXPECT_EQ(fillAt(disk_, path("f"), '.', 3, 4, "rb+"), 4);
  EXPECT_EQ(fillAt(disk_, path("f"), '-', 0, 1, "rb+"), 1);
  EXPECT_EQ(content("f"), "-12....789");
}

TEST_F(FileHelpersTest, FillGivesUpAfter32ShortWrites) {
  Stream out(disk_, "/dev/full", "wb");
  ASSERT_TRUE(out.isOpen());
  EXPECT_EQ(writeFill(0, 100000, out), 0);
  EXPECT_TRUE(out.error());
  EXPECT_FALSE(out.close());
  EXPECT_EQ(fillAt(disk_, "/dev/full", 0, 0, 600, "ab"), 0);
}

TEST_F(FileHelpersTest, FillOfZeroOrNegativeCountWritesNothing) {
  EXPECT_EQ(fillAt(disk_, path("f"), 'x', 0, 0, "wb"), 0);
  EXPECT_EQ(fillAt(disk_, path("f"), 'x', 0, -5, "ab"), 0);
  EXPECT_EQ(content("f"), "");
}

// ---- fileSize / loadFile ----

TEST_F(FileHelpersTest, FileSizeCountsBufferedBytesAndRefusesNonFiles) {
  EXPECT_EQ(writeAtS("f", "12345", 0, "wb"), 5);
  EXPECT_EQ(fileSize(disk_, path("f")), 5);
  EXPECT_EQ(fillAt(disk_, path("f"), 0, 0, 300, "ab"), 300);
  EXPECT_EQ(fileSize(disk_, path("f")), 305);
  fs::create_directory(path("dir"));
  EXPECT_EQ(fileSize(disk_, path("dir")), -1);
  EXPECT_EQ(fileSize(disk_, path("missing")), -1);
  EXPECT_EQ(fileSize(disk_, "/dev/zero"), -1);
}

TEST_F(FileHelpersTest, LoadFileReturnsWholeFileIncludingBufferedBytes) {
  put("f", std::string("a\0b", 3));
  EXPECT_EQ(writeAtS("f", "cd", 0, "ab"), 2);
  auto data = loadFile(disk_, path("f"));
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ(*data, bytes(std::string("a\0bcd", 5)));
}

TEST_F(FileHelpersTest, LoadFileOfEmptyFileSucceedsEmpty) {
  put("empty", "");
  testing::internal::CaptureStderr();
  auto data = loadFile(disk_, path("empty"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_TRUE(data.has_value());
  EXPECT_TRUE(data->empty());
}

// A folder exists but cannot be read as a file: it is named as such.
TEST_F(FileHelpersTest, LoadFileOfMissingFileOrDirectoryPrintsDontExist) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(loadFile(disk_, path("missing")).has_value());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "File " + path("missing") + " dont exist\n");
  fs::create_directory(path("dir"));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(loadFile(disk_, "dir-" + path("dir")).has_value());
  EXPECT_FALSE(loadFile(disk_, path("dir")).has_value());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "File dir-" + path("dir") + " dont exist\n" + path("dir") +
                ":cannot read file: Is a directory\n");
}

TEST_F(FileHelpersTest, LoadFileOfUnreadableFilePrintsReadError) {
  // Written but not readable: the size is known, the read fails.
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  put("f", "secret");
  fs::permissions(path("f"), fs::perms::owner_write);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(loadFile(disk_, path("f")).has_value());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Read error from file " + path("f") + " \n");
}

// ---- beyond 4 GiB ----

TEST_F(FileHelpersTest, OffsetsBeyond4GiBWorkOnSparseFile) {
  const std::int64_t big = (std::int64_t{1} << 32) + 1000;  // 4 GiB + 1000
  {
    int fd = ::open(path("sparse").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, big + 100), 0);
    ::close(fd);
  }
  EXPECT_EQ(fileSize(disk_, path("sparse")), big + 100);
  EXPECT_EQ(writeAtS("sparse", "far away", big, "rb+"), 8);
  Bytes got(8, 0);
  EXPECT_EQ(readAt(disk_, path("sparse"), got.data(), big, 8), 8);
  EXPECT_EQ(got, bytes("far away"));
  // Only the low 32 bits of the offset would land at 1000.
  EXPECT_EQ(readAt(disk_, path("sparse"), got.data(), 1000, 8), 8);
  EXPECT_EQ(got, Bytes(8, 0));
  EXPECT_EQ(readAt(disk_, path("sparse"), got.data(), big + 96, 8), 4);
  // Copy from beyond 4 GiB into a small file and back beyond 4 GiB + 2 GiB.
  EXPECT_EQ(copyRange(disk_, path("sparse"), path("small"), big + 4, 0, 4, "wb"), 4);
  EXPECT_EQ(copyRange(disk_, path("small"), path("sparse"), 0, big + (std::int64_t{1} << 31), 4,
                      "rb+"),
            4);
  EXPECT_EQ(fileSize(disk_, path("sparse")), big + (std::int64_t{1} << 31) + 4);
  EXPECT_EQ(fillAt(disk_, path("sparse"), 'z', 0, 2, "ab"), 2);
  EXPECT_EQ(readAt(disk_, path("sparse"), got.data(), big + (std::int64_t{1} << 31), 8), 6);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 6), bytes("awayzz"));
  EXPECT_EQ(content("small"), "away");
}

}  // namespace
}  // namespace dataport::io

namespace dataport::io {
namespace {

// Random sequences of the helpers over 70 names (more files than the Disk
// keeps open, ten of them hard links of ten others), checked after every
// step against plain strings and, now and then, against the disk itself
// after closeAll.
TEST_F(FileHelpersTest, RandomOperationsMatchAModelOfTheFiles) {
  const int kNames = 70;
  std::vector<std::string> inodes;            // file contents
  std::vector<int> inodeOf(kNames, -1);       // per name; -1 = missing
  auto name = [&](int i) { return path("n" + std::to_string(i)); };
  std::uint64_t seed = 0x9E3779B97F4A7C15ull;
  auto rnd = [&](std::uint64_t n) {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return static_cast<std::int64_t>(seed % n);
  };
  // What a write of `data` through a file opened with `mode` does; returns
  // the count the helper must give (0 when "rb+" finds no file).
  auto modelWrite = [&](int n, const std::string& mode, std::int64_t off, const std::string& data) {
    if (inodeOf[n] < 0) {
      if (mode == "rb+") return std::int64_t{0};
      inodes.emplace_back();
      inodeOf[n] = static_cast<int>(inodes.size() - 1);
    }
    std::string& f = inodes[inodeOf[n]];
    if (mode == "wb") f.clear();
    std::size_t at = mode == "ab" ? f.size() : static_cast<std::size_t>(off);
    if (!data.empty()) {  // a position past the end alone does not grow a file
      if (f.size() < at + data.size()) f.resize(at + data.size(), '\0');
      f.replace(at, data.size(), data);
    }
    return static_cast<std::int64_t>(data.size());
  };
  auto modelRead = [&](int n, std::int64_t off, std::int64_t count) {
    if (inodeOf[n] < 0 || static_cast<std::size_t>(off) >= inodes[inodeOf[n]].size()) return std::string();
    return inodes[inodeOf[n]].substr(static_cast<std::size_t>(off), static_cast<std::size_t>(count));
  };
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(writeAtS("n" + std::to_string(i), "seed", 0, "wb"), 4);
    modelWrite(i, "wb", 0, "seed");
    ASSERT_EQ(::link(name(i).c_str(), name(60 + i).c_str()), 0);
    inodeOf[60 + i] = inodeOf[i];
  }
  const char* modes[] = {"wb", "ab", "rb+"};
  for (int step = 0; step < 4000; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const int a = static_cast<int>(rnd(kNames));
    const int b = static_cast<int>(rnd(kNames));
    const std::int64_t off = rnd(4) == 0 ? 0 : rnd(3000);
    // Mostly element-sized counts; now and then more than the buffers hold.
    const std::int64_t count = rnd(16) == 0 ? rnd(300000) : rnd(700);
    const std::string mode = modes[rnd(3)];
    switch (rnd(6)) {
      case 0: {
        std::string data(static_cast<std::size_t>(count), '\0');
        for (char& c : data) c = static_cast<char>(rnd(256));
        ASSERT_EQ(writeAt(disk_, name(a), reinterpret_cast<const std::uint8_t*>(data.data()), off,
                          count, mode.c_str()),
                  modelWrite(a, mode, off, data));
        break;
      }
      case 1:
        ASSERT_EQ(fillAt(disk_, name(a), 'F', off, count, mode.c_str()),
                  modelWrite(a, mode, off, std::string(static_cast<std::size_t>(count), 'F')));
        break;
      case 2:
      case 3: {
        std::string got(static_cast<std::size_t>(count), '\0');
        std::int64_t n = readAt(disk_, name(a), reinterpret_cast<std::uint8_t*>(got.data()), off, count);
        got.resize(static_cast<std::size_t>(std::max<std::int64_t>(n, 0)));
        ASSERT_EQ(got, modelRead(a, off, count));
        break;
      }
      case 4: {  // one batch: the count stays below the work area
        const std::int64_t c = std::min<std::int64_t>(count, kWorkArea - 1);
        const std::int64_t inOff = rnd(3000);
        std::int64_t want = 0;
        if (inodeOf[a] >= 0) {
          // The output is opened (and emptied by "wb") before anything is read.
          want = modelWrite(b, mode, off, "");
          if (inodeOf[b] >= 0) want = modelWrite(b, mode == "wb" ? "rb+" : mode, off, modelRead(a, inOff, c));
        }
        ASSERT_EQ(copyRange(disk_, name(a), name(b), inOff, off, c, mode.c_str()), want);
        break;
      }
      case 5:
        ASSERT_EQ(fileSize(disk_, name(a)),
                  inodeOf[a] < 0 ? -1 : static_cast<std::int64_t>(inodes[inodeOf[a]].size()));
        if (rnd(20) == 0) {
          ASSERT_TRUE(disk_.closeAll(nullptr));
          for (int n = 0; n < kNames; ++n) {
            if (inodeOf[n] < 0) continue;
            ASSERT_EQ(slurp(name(n)), inodes[inodeOf[n]]) << name(n);
          }
        }
        break;
    }
  }
}

}  // namespace
}  // namespace dataport::io
