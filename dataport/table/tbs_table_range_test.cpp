// The converting copy between files, and loading a table from a file.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "dataport/io/file_helpers.h"
#include "dataport/table/tbs_table.h"

namespace dataport::table {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

class ConvertRange : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tbl_range_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    disk_.closeAll(nullptr);  // no file may stay open where it is removed (Windows)
    fs::remove_all(dir_);
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void put(const std::string& name, const std::string& content) const {
    std::ofstream(path(name), std::ios::binary) << content;
  }
  std::string get(const std::string& name) {
    std::string failed;
    EXPECT_TRUE(disk_.closeAll(&failed)) << failed;
    std::ifstream f(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }
  void table(const std::string& text) {
    testing::internal::CaptureStderr();
    ASSERT_TRUE(table_.parseTable(bytes(text)));
    testing::internal::GetCapturedStderr();
  }
  std::string whole(int direction, const std::string& in) const {
    std::vector<std::uint8_t> out;
    EXPECT_EQ(table_.convertBlock(direction, bytes(in), true, out),
              static_cast<std::int64_t>(in.size()));
    return {out.begin(), out.end()};
  }
  std::int64_t run(const std::string& in, const std::string& out, std::int64_t inOff,
                   std::int64_t outOff, std::int64_t count, const char* mode, int direction) {
    return table_.convertRange(disk_, path(in), path(out), inOff, outOff, count, mode, direction,
                               written_);
  }

  fs::path dir_;
  io::Disk disk_;
  TbsTable table_;
  std::int64_t written_ = -1;
};

constexpr std::int64_t kBlock = io::kWorkArea;  // 262144

// Bytes that start no key pass unchanged and are counted, whichever path
// of the converter takes them and however the input is cut into blocks; a
// key that maps a byte to itself is a match.
TEST_F(ConvertRange, BytesWithoutEntryAreCounted) {
  table("A=<a>\r\nq=q\r\nW=\x81\x40\r\n");
  const std::string text = "<a>x<q\x81\x40\x81y";
  for (std::int64_t pad : {std::int64_t{0}, kBlock - 2}) {
    const std::string in = std::string(static_cast<std::size_t>(pad), 'q') + text;
    put("in", in);
    std::int64_t unmatched = 0;
    const auto n = static_cast<std::int64_t>(in.size());
    ASSERT_EQ(table_.convertRange(disk_, path("in"), path("out"), 0, 0, n, "wb", 1, written_,
                                  &unmatched),
              n);
    EXPECT_EQ(get("out"), std::string(static_cast<std::size_t>(pad), 'q') + "Ax<qW\x81y");
    EXPECT_EQ(unmatched, 4) << "x, <, the lone \\x81 and y; pad " << pad;
  }
}

TEST_F(ConvertRange, KeyStraddlingTheBlockBoundaryIsFound) {
  table("ABC=<abc>\r\nB=b");
  for (std::int64_t start : {kBlock - 2, kBlock - 1, 2 * kBlock - 1}) {
    std::string in(static_cast<std::size_t>(start), '.');
    in += "ABC...";
    put("in", in);
    const auto n = static_cast<std::int64_t>(in.size());
    ASSERT_EQ(run("in", "out", 0, 0, n, "wb", 0), n);
    const std::string want = std::string(static_cast<std::size_t>(start), '.') + "<abc>...";
    EXPECT_EQ(get("out"), want) << start;
    EXPECT_EQ(written_, static_cast<std::int64_t>(want.size()));
  }
}

TEST_F(ConvertRange, HeldBackBytesAtTheEndAreConvertedAsTheEnd) {
  table("B=1\r\nBBB=2");
  std::string in(static_cast<std::size_t>(kBlock), 'x');
  in += "BB";
  put("in", in);
  ASSERT_EQ(run("in", "out", 0, 0, static_cast<std::int64_t>(in.size()), "wb", 0),
            static_cast<std::int64_t>(in.size()));
  EXPECT_EQ(get("out"), std::string(static_cast<std::size_t>(kBlock), 'x') + "11");
}

TEST_F(ConvertRange, StreamedResultEqualsWholeConversionBothDirections) {
  table("ab=\\x00\r\nabc=XYZW\r\nb=\r\nca=c\r\ncc=\\x0D\\x0A\r\nbcab=Q");
  std::mt19937 rng(9);
  std::string in(static_cast<std::size_t>(3 * kBlock + 12345), '\0');
  for (char& c : in) c = "abcXQ\r\n"[rng() % 7];
  put("in", in);
  for (int direction = 0; direction < 2; ++direction) {
    const std::string part = in.substr(777, in.size() - 2000);
    const auto n = static_cast<std::int64_t>(part.size());
    ASSERT_EQ(run("in", "out", 777, 0, n, "wb", direction), n);
    const std::string want = whole(direction, part);
    EXPECT_TRUE(get("out") == want) << "direction " << direction;
    EXPECT_EQ(written_, static_cast<std::int64_t>(want.size()));
  }
}

TEST_F(ConvertRange, OutputModesAndOffsets) {
  table("a=XY");
  put("in", "--aba--");
  put("out", "0123456789");
  ASSERT_EQ(run("in", "out", 2, 3, 3, "rb+", 0), 3);
  EXPECT_EQ(get("out"), "012XYbXY89");
  ASSERT_EQ(run("in", "out", 2, 1, 2, "ab", 0), 2);  // append: the offset is ignored
  EXPECT_EQ(get("out"), "012XYbXY89XYb");
  ASSERT_EQ(run("in", "out", 0, 0, 1, "wb", 0), 1);
  EXPECT_EQ(get("out"), "-");
  EXPECT_EQ(written_, 1);
}

TEST_F(ConvertRange, ZeroCountStillOpensTheOutput) {
  table("a=b");
  put("in", "aaa");
  put("out", "old");
  EXPECT_EQ(run("in", "out", 0, 0, 0, "wb", 0), 0);
  EXPECT_EQ(written_, 0);
  EXPECT_EQ(get("out"), "");
}

TEST_F(ConvertRange, AllDeletedElementSucceedsWithNothingWritten) {
  table("A=");
  put("in", "AAAA");
  EXPECT_EQ(run("in", "out", 0, 0, 4, "wb", 0), 4);
  EXPECT_EQ(written_, 0);
  EXPECT_EQ(get("out"), "");
}

TEST_F(ConvertRange, MissingFilesGiveZero) {
  table("a=b");
  EXPECT_EQ(run("nothere", "out", 0, 0, 3, "wb", 0), 0);
  EXPECT_EQ(written_, 0);
  put("in", "aaa");
  EXPECT_EQ(run("in", "nothere", 0, 0, 3, "rb+", 0), 0);
  EXPECT_EQ(written_, 0);
  EXPECT_EQ(run("in", "out", -1, 0, 3, "wb", 0), 0);
}

TEST_F(ConvertRange, ShortInputGivesFewerThanCount) {
  table("a=bb");
  put("in", "aaaa");
  EXPECT_EQ(run("in", "out", 1, 0, 10, "wb", 0), 3);
  EXPECT_EQ(get("out"), "bbbbbb");
  EXPECT_EQ(written_, 6);
}

TEST_F(ConvertRange, FailedWriteGivesFewerThanCount) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  table("a=bb");
  put("in", std::string(1000, 'a'));
  const std::int64_t got =
      table_.convertRange(disk_, path("in"), "/dev/full", 0, 0, 1000, "wb", 0, written_);
  EXPECT_LT(got, 1000);
  EXPECT_LT(written_, 2000);
}

TEST_F(ConvertRange, LoadTableFromFile) {
  put("t.tbl", "A=a\r\n=skip\r\nBB=b");
  testing::internal::CaptureStderr();
  ASSERT_TRUE(table_.loadTable(disk_, path("t.tbl")));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Line 1 :must not start with assign string, skipping this line\n");
  EXPECT_EQ(table_.entryCount(), 2);
  EXPECT_EQ(whole(1, "ab"), "ABB");
}

TEST_F(ConvertRange, LoadTableOfMissingFileFailsEmpty) {
  table("A=a");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(table_.loadTable(disk_, path("none.tbl")));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "File " + path("none.tbl") + " dont exist\n");
  EXPECT_FALSE(table_.loaded());
  EXPECT_EQ(table_.entryCount(), 0);
}

}  // namespace
}  // namespace dataport::table
