#include "dataport/io/disk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dataport::io {
namespace {

namespace fs = std::filesystem;

class DiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "disk_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void put(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary | std::ios::trunc) << bytes;
  }
  // What is on disk, bypassing the Disk.
  std::string onDisk(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::int64_t write(Disk::Handle h, const std::string& s, std::int64_t off) {
    return disk_.write(h, reinterpret_cast<const std::uint8_t*>(s.data()),
                       static_cast<std::int64_t>(s.size()), off);
  }
  std::string read(Disk::Handle h, std::int64_t n, std::int64_t off) {
    std::string s(static_cast<std::size_t>(n), '\0');
    std::int64_t r = disk_.read(h, reinterpret_cast<std::uint8_t*>(s.data()), n, off);
    return r < 0 ? "<error>" : s.substr(0, static_cast<std::size_t>(r));
  }
  // One operation: open, write, release.
  bool writeOnce(const std::string& name, OpenMode mode, const std::string& s, std::int64_t off) {
    Disk::Handle h = disk_.open(path(name), mode);
    if (h < 0) return false;
    bool ok = write(h, s, off) == static_cast<std::int64_t>(s.size());
    return disk_.release(h) && ok;
  }
  std::string readOnce(const std::string& name, std::int64_t n, std::int64_t off) {
    Disk::Handle h = disk_.open(path(name), OpenMode::Read);
    if (h < 0) return "<no file>";
    std::string s = read(h, n, off);
    disk_.release(h);
    return s;
  }

  fs::path dir_;
  Disk disk_;
};

TEST(OpenModeText, ParsesTheFourModes) {
  EXPECT_EQ(parseOpenMode("rb"), OpenMode::Read);
  EXPECT_EQ(parseOpenMode("wb"), OpenMode::Write);
  EXPECT_EQ(parseOpenMode("ab"), OpenMode::Append);
  EXPECT_EQ(parseOpenMode("rb+"), OpenMode::Update);
  EXPECT_EQ(parseOpenMode("r+b"), OpenMode::Update);
}

TEST_F(DiskTest, ReadAndUpdateNeedAnExistingFileWriteAndAppendCreateIt) {
  EXPECT_EQ(disk_.open(path("missing"), OpenMode::Read), -1);
  EXPECT_EQ(disk_.open(path("missing"), OpenMode::Update), -1);
  EXPECT_FALSE(fs::exists(path("missing")));
  ASSERT_TRUE(writeOnce("w", OpenMode::Write, "ab", 0));
  ASSERT_TRUE(writeOnce("a", OpenMode::Append, "cd", 0));
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(onDisk("w"), "ab");
  EXPECT_EQ(onDisk("a"), "cd");
}

TEST_F(DiskTest, DirectoryCannotBeOpenedInAnyMode) {
  fs::create_directory(path("sub"));
  for (OpenMode m : {OpenMode::Read, OpenMode::Write, OpenMode::Append, OpenMode::Update}) {
    EXPECT_EQ(disk_.open(path("sub"), m), -1);
  }
  EXPECT_EQ(disk_.fileSize(path("sub")), -1);
  EXPECT_EQ(disk_.fileSize(path("missing")), -1);
  EXPECT_EQ(disk_.fileSize("/dev/null"), -1);
}

TEST_F(DiskTest, WriteModeEmptiesAtOpenEvenWithBufferedBytes) {
  put("f", "old contents");
  ASSERT_TRUE(writeOnce("f", OpenMode::Append, "-more", 0));
  EXPECT_EQ(disk_.fileSize(path("f")), 17);
  Disk::Handle h = disk_.open(path("f"), OpenMode::Write);
  ASSERT_GE(h, 0);
  EXPECT_EQ(disk_.size(h), 0);
  EXPECT_EQ(onDisk("f"), "");  // emptied at once, not at the end of the run
  EXPECT_TRUE(disk_.release(h));
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(onDisk("f"), "");  // the discarded buffer did not come back
}

TEST_F(DiskTest, UpdateKeepsContentsAndOverwritesInPlace) {
  put("f", "0123456789");
  ASSERT_TRUE(writeOnce("f", OpenMode::Update, "ab", 3));
  ASSERT_TRUE(writeOnce("f", OpenMode::Update, "Z", 12));  // past the end: gap of zeros
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(onDisk("f"), std::string("012ab56789\0\0Z", 13));
}

TEST_F(DiskTest, AppendGoesToTheEndWhateverOffsetAndBufferedBytesCount) {
  put("f", "abc");
  Disk::Handle h = disk_.open(path("f"), OpenMode::Append);
  ASSERT_GE(h, 0);
  EXPECT_EQ(write(h, "de", 0), 2);
  EXPECT_EQ(write(h, "fg", 1), 2);
  EXPECT_EQ(disk_.size(h), 7);
  EXPECT_TRUE(disk_.release(h));
  // An update in the middle, then an append: the append still lands at 7.
  ASSERT_TRUE(writeOnce("f", OpenMode::Update, "X", 1));
  ASSERT_TRUE(writeOnce("f", OpenMode::Append, "h", 100));
  EXPECT_EQ(readOnce("f", 100, 0), "aXcdefgh");
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(onDisk("f"), "aXcdefgh");
}

TEST_F(DiskTest, ReadSeesBufferedWritesAndStopsAtEnd) {
  ASSERT_TRUE(writeOnce("f", OpenMode::Write, "hello world", 0));
  EXPECT_EQ(readOnce("f", 5, 6), "world");
  EXPECT_EQ(readOnce("f", 10, 8), "rld");
  EXPECT_EQ(readOnce("f", 4, 11), "");
  EXPECT_EQ(readOnce("f", 4, 50), "");
  Disk::Handle h = disk_.open(path("f"), OpenMode::Read);
  EXPECT_EQ(disk_.read(h, nullptr, 1, -1), -1);  // negative offsets fail
  EXPECT_EQ(write(h, "x", 0), 0);                 // read handles do not write
  disk_.release(h);
}

TEST_F(DiskTest, SmallForwardReadsAcrossReadAheadBoundariesKeepEveryByte) {
  std::string data(600000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  put("f", data);
  std::string got;
  // Element-sized reads with small gaps between them, as the modes read.
  for (std::int64_t off = 0; off < 600000;) {
    std::string piece = readOnce("f", 1000, off);
    got += piece;
    off += static_cast<std::int64_t>(piece.size());
    if (piece.empty()) break;
  }
  EXPECT_EQ(got, data);
  EXPECT_EQ(readOnce("f", 10, 599995), data.substr(599995));
  EXPECT_EQ(readOnce("f", 10, 300), data.substr(300, 10));  // backwards
}

TEST_F(DiskTest, ReadAfterWriteSeesNewBytesNotReadAhead) {
  put("f", std::string(1000, 'a'));
  EXPECT_EQ(readOnce("f", 4, 0), "aaaa");
  EXPECT_EQ(readOnce("f", 4, 4), "aaaa");  // forward: the rest is read ahead
  ASSERT_TRUE(writeOnce("f", OpenMode::Update, "XY", 9));
  EXPECT_EQ(readOnce("f", 4, 8), "aXYa");
  ASSERT_TRUE(writeOnce("f", OpenMode::Append, "tail", 0));
  EXPECT_EQ(readOnce("f", 10, 998), "aatail");
  ASSERT_TRUE(writeOnce("f", OpenMode::Write, "new", 0));
  EXPECT_EQ(readOnce("f", 10, 0), "new");
  EXPECT_EQ(readOnce("f", 10, 2), "w");
}

TEST_F(DiskTest, ReadAndWriteHandlesOnOneFileAtOnceStayCoherent) {
  put("f", "0123456789");
  Disk::Handle in = disk_.open(path("f"), OpenMode::Read);
  Disk::Handle out = disk_.open(path("f"), OpenMode::Update);
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  EXPECT_EQ(read(in, 2, 0), "01");
  EXPECT_EQ(read(in, 2, 2), "23");
  EXPECT_EQ(write(out, "ab", 4), 2);
  EXPECT_EQ(read(in, 4, 3), "3ab6");
  EXPECT_EQ(write(out, "c", 10), 1);
  EXPECT_EQ(read(in, 5, 8), "89c");
  EXPECT_EQ(disk_.size(in), 11);
  EXPECT_TRUE(disk_.release(in));
  EXPECT_TRUE(disk_.release(out));
}

TEST_F(DiskTest, HardLinkNamesShareOneFile) {
  put("a", "0000000000");
  ASSERT_EQ(::link(path("a").c_str(), path("b").c_str()), 0);
  ASSERT_TRUE(writeOnce("a", OpenMode::Update, "xy", 2));
  EXPECT_EQ(readOnce("b", 10, 0), "00xy000000");
  ASSERT_TRUE(writeOnce("b", OpenMode::Append, "tail", 0));
  EXPECT_EQ(disk_.fileSize(path("a")), 14);
  ASSERT_TRUE(writeOnce("a", OpenMode::Append, "!", 0));
  EXPECT_EQ(readOnce("b", 20, 0), "00xy000000tail!");
  // A second spelling of the same name is the same file as well.
  EXPECT_EQ(readOnce("./../" + dir_.filename().string() + "/a", 3, 12), "il!");
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(onDisk("a"), "00xy000000tail!");
}

TEST_F(DiskTest, ReadOnlyHandleIsUpgradedWhenAWriteModeComes) {
  put("f", "abcdef");
  EXPECT_EQ(readOnce("f", 3, 0), "abc");
  ASSERT_TRUE(writeOnce("f", OpenMode::Update, "XY", 1));
  EXPECT_EQ(readOnce("f", 6, 0), "aXYdef");
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(onDisk("f"), "aXYdef");
}

TEST_F(DiskTest, NoWritePermissionFailsWriteModesButReadWorks) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  put("ro", "data");
  fs::permissions(path("ro"), fs::perms::owner_read);
  EXPECT_EQ(readOnce("ro", 4, 0), "data");
  EXPECT_EQ(disk_.open(path("ro"), OpenMode::Update), -1);
  EXPECT_EQ(disk_.open(path("ro"), OpenMode::Write), -1);
  EXPECT_EQ(onDisk("ro"), "data");
}

TEST_F(DiskTest, MoreFilesThanTheCacheHoldsAllReachTheDisk) {
  const int kFiles = 150;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < kFiles; ++i) {
      ASSERT_TRUE(writeOnce("f" + std::to_string(i), round == 0 ? OpenMode::Write : OpenMode::Append,
                            std::to_string(i) + "/" + std::to_string(round) + ";", 0));
    }
  }
  // Evicted files were written out; files still cached read back the same.
  EXPECT_EQ(onDisk("f0"), "0/0;0/1;0/2;");
  EXPECT_EQ(readOnce("f149", 100, 0), "149/0;149/1;149/2;");
  ASSERT_TRUE(disk_.closeAll(nullptr));
  for (int i = 0; i < kFiles; ++i) {
    std::string s = std::to_string(i);
    ASSERT_EQ(onDisk("f" + s), s + "/0;" + s + "/1;" + s + "/2;");
  }
}

TEST_F(DiskTest, LargeAndSmallWritesMixInOrder) {
  std::string big(700000, 'B');
  for (std::size_t i = 0; i < big.size(); i += 997) big[i] = static_cast<char>('a' + i % 26);
  Disk::Handle h = disk_.open(path("f"), OpenMode::Write);
  ASSERT_GE(h, 0);
  std::string expect;
  std::int64_t off = 0;
  for (std::size_t len : {10u, 300000u, 5u, 262144u, 262143u, 1u, 700000u, 7u}) {
    std::string piece = big.substr(0, len);
    ASSERT_EQ(write(h, piece, off), static_cast<std::int64_t>(len));
    off += static_cast<std::int64_t>(len);
    expect += piece;
  }
  EXPECT_EQ(disk_.size(h), off);
  EXPECT_TRUE(disk_.release(h));
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(onDisk("f"), expect);
}

TEST_F(DiskTest, ExternalChangeOfSizeIsSeenAtTheNextOpen) {
  ASSERT_TRUE(writeOnce("f", OpenMode::Write, "abc", 0));
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(readOnce("f", 3, 0), "abc");  // cached again, read only
  put("f", "abcdefgh");                   // same file, rewritten by someone else
  EXPECT_EQ(disk_.fileSize(path("f")), 8);
  ASSERT_TRUE(writeOnce("f", OpenMode::Append, "!", 0));
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(onDisk("f"), "abcdefgh!");
}

TEST_F(DiskTest, WriteToFullDeviceIsShortAndReported) {
  Disk::Handle h = disk_.open("/dev/full", OpenMode::Update);
  ASSERT_GE(h, 0);
  EXPECT_EQ(write(h, "abc", 0), 0);
  EXPECT_FALSE(disk_.release(h));
  std::string failed;
  EXPECT_FALSE(disk_.closeAll(&failed));
  EXPECT_EQ(failed, "/dev/full");
  EXPECT_TRUE(disk_.closeAll(&failed));  // reported once
}

// Each operation's failure is kept with the file and the system's reason,
// until the next open.
TEST_F(DiskTest, LastErrorNamesTheFileAndTheReason) {
  EXPECT_LT(disk_.open(path("missing"), OpenMode::Read), 0);
  ASSERT_TRUE(disk_.lastError().has_value());
  EXPECT_EQ(disk_.lastError()->name, path("missing"));
  EXPECT_FALSE(disk_.lastError()->write);
  EXPECT_EQ(disk_.lastError()->code, ENOENT);
  fs::create_directory(path("d"));
  EXPECT_LT(disk_.open(path("d"), OpenMode::Read), 0);
  EXPECT_EQ(disk_.lastError()->code, EISDIR);
  EXPECT_LT(disk_.open(path("nodir/out"), OpenMode::Write), 0);
  EXPECT_TRUE(disk_.lastError()->write);
  put("f", "abc");
  Disk::Handle h = disk_.open(path("f"), OpenMode::Read);
  ASSERT_GE(h, 0);
  EXPECT_FALSE(disk_.lastError().has_value()) << "an open starts afresh";
  disk_.release(h);
  h = disk_.open("/dev/full", OpenMode::Update);
  ASSERT_GE(h, 0);
  EXPECT_EQ(write(h, "abc", 0), 0);
  disk_.release(h);
  EXPECT_EQ(disk_.lastError()->code, ENOSPC);
  std::vector<IoError> failed;
  EXPECT_FALSE(disk_.closeAll(failed));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].name, "/dev/full");
  EXPECT_EQ(failed[0].code, ENOSPC);
}

// A file that failed twice is named once; the files that did not fail are
// still written out. (The order of several failed files is checked end to
// end, with a file size limit.)
TEST_F(DiskTest, CloseAllNamesAFailedFileOnceAndWritesOutTheOthers) {
  Disk::Handle full = disk_.open("/dev/full", OpenMode::Update);
  ASSERT_GE(full, 0);
  ASSERT_TRUE(writeOnce("first", OpenMode::Write, "x", 0));
  EXPECT_EQ(write(full, "abc", 0), 0);
  EXPECT_EQ(write(full, "abc", 0), 0);
  disk_.release(full);
  std::vector<IoError> failed;
  EXPECT_FALSE(disk_.closeAll(failed));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].name, "/dev/full");
  EXPECT_EQ(onDisk("first"), "x");
  EXPECT_TRUE(disk_.closeAll(failed));
}

TEST_F(DiskTest, ForgetWritesOutAndLetsTheNameBeOpenedAnew) {
  ASSERT_TRUE(writeOnce("f", OpenMode::Write, "old", 0));
  disk_.forget(path("f"));
  EXPECT_EQ(onDisk("f"), "old");
  fs::remove(path("f"));
  ASSERT_TRUE(writeOnce("f", OpenMode::Append, "new", 0));
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(onDisk("f"), "new");
}

TEST_F(DiskTest, PipeIsWrittenThroughAtOnce) {
  ASSERT_EQ(::mkfifo(path("p").c_str(), 0600), 0);
  int rd = ::open(path("p").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(rd, 0);
  Disk::Handle h = disk_.open(path("p"), OpenMode::Write);
  ASSERT_GE(h, 0);
  EXPECT_EQ(write(h, "piped", 0), 5);
  char got[8] = {};
  EXPECT_EQ(::read(rd, got, sizeof got), 5);  // before release: nothing buffered
  EXPECT_EQ(std::string(got), "piped");
  EXPECT_TRUE(disk_.release(h));
  ::close(rd);
  EXPECT_EQ(disk_.fileSize(path("p")), -1);
}

TEST_F(DiskTest, DeferredWriteFailureIsReportedByCloseAll) {
  // A write far beyond the largest file the file system can hold fails
  // when it is written out, as a write to a full disk would.
  ASSERT_TRUE(writeOnce("f", OpenMode::Write, "0123456789", 0));
  Disk::Handle h = disk_.open(path("f"), OpenMode::Update);
  ASSERT_GE(h, 0);
  EXPECT_EQ(write(h, "x", std::int64_t{1} << 62), 1);  // buffered
  EXPECT_TRUE(disk_.release(h));
  std::string failed;
  EXPECT_FALSE(disk_.closeAll(&failed));
  EXPECT_EQ(failed, path("f"));
  EXPECT_EQ(onDisk("f"), "0123456789");
}

TEST_F(DiskTest, DeferredFailureIsReportedByTheWriteThatWritesItOut) {
  ASSERT_TRUE(writeOnce("f", OpenMode::Write, "0123456789", 0));
  ASSERT_TRUE(writeOnce("f", OpenMode::Update, "x", std::int64_t{1} << 62));
  // The next write elsewhere writes the failing buffer out first.
  Disk::Handle h = disk_.open(path("f"), OpenMode::Update);
  EXPECT_LT(write(h, "AB", 0), 2);
  EXPECT_FALSE(disk_.release(h));
  std::string failed;
  EXPECT_FALSE(disk_.closeAll(&failed));
}

TEST_F(DiskTest, DeferredFailureWrittenOutByAReadIsReportedByTheNextWriter) {
  ASSERT_TRUE(writeOnce("f", OpenMode::Write, "0123456789", 0));
  ASSERT_TRUE(writeOnce("f", OpenMode::Update, "x", std::int64_t{1} << 62));
  EXPECT_EQ(readOnce("f", 3, 0), "012");
  Disk::Handle h = disk_.open(path("f"), OpenMode::Append);
  EXPECT_EQ(write(h, "AB", 0), 2);
  EXPECT_FALSE(disk_.release(h));  // the earlier failure, not lost
  h = disk_.open(path("f"), OpenMode::Append);
  EXPECT_EQ(write(h, "C", 0), 1);
  EXPECT_TRUE(disk_.release(h));  // reported once to a writer
  std::string failed;
  EXPECT_FALSE(disk_.closeAll(&failed));  // and the run still hears of it
  EXPECT_EQ(failed, path("f"));
  EXPECT_EQ(onDisk("f"), "0123456789ABC");
}

TEST_F(DiskTest, HandlesOutlivingCloseAllFailQuietly) {
  Disk::Handle h = disk_.open(path("f"), OpenMode::Write);
  ASSERT_GE(h, 0);
  ASSERT_TRUE(disk_.closeAll(nullptr));
  EXPECT_EQ(write(h, "x", 0), 0);
  EXPECT_EQ(disk_.read(h, nullptr, 1, 0), -1);
  disk_.release(h);
  EXPECT_FALSE(disk_.release(h));  // already released
  EXPECT_FALSE(disk_.release(12345));
}

}  // namespace
}  // namespace dataport::io
