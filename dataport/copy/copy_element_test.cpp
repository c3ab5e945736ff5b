#include "dataport/copy/copy_element.h"

#include <filesystem>
#include <string>

#include "dataport/job.h"
#include "dataport/table/tbs_table.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;
using std::string_literals::operator""s;

class CopyElementTest : public ::testing::Test {
 protected:
  // Copies `size` bytes of in.bin at inOff to the end of out.bin; keeps the
  // trace and the output file's bytes.
  std::int64_t copy(std::int64_t inOff, std::int64_t size, std::uint32_t kind,
                    std::uint32_t block, bool convert = false) {
    Trace t;
    std::int64_t r = -99;
    error = failureOf([&] {
      r = copyElement(job, "in.bin", "out.bin", inOff, 0, size, "ab", convert, 0, written, kind,
                      block, fill);
    });
    job.finishFiles();
    trace = t.text();
    out = readFile("out.bin");
    return r;
  }
  std::int64_t copyAll(const std::string& input, std::uint32_t kind, std::uint32_t block) {
    writeFile("in.bin", input);
    return copy(0, static_cast<std::int64_t>(input.size()), kind, block);
  }
  void useTable(const std::string& text) {
    job.tblname = "t.tbl";
    ASSERT_TRUE(table::tbsTable().parseTable(std::vector<std::uint8_t>(text.begin(), text.end())));
  }

  WorkDir dir;
  Job job;
  std::uint8_t fill = 0;
  std::int64_t written = 0;
  std::string trace, error;
  std::optional<std::string> out;
};

TEST_F(CopyElementTest, TrimKeepsDataUpToLastNonFillByte) {
  EXPECT_EQ(copyAll("ABC\0\0\0\0\0"s, 16, 0), 3);
  EXPECT_EQ(out, "ABC");
  EXPECT_EQ(trace,
            "16 block 0 blockadd 0\nold size 8\npos 0\nbuf[i] 0  buf[i-1] 0\ni 2\nnew size 3\n");
}

TEST_F(CopyElementTest, TrimKind32KeepsUpToBlockFillBytes) {
  EXPECT_EQ(copyAll("ABC\0\0\0\0\0"s, 32, 2), 5);
  EXPECT_EQ(out, "ABC\0\0"s);
  std::filesystem::remove("out.bin");
  EXPECT_EQ(copyAll("ABC\0\0\0\0\0"s, 32, 10), 8);
  EXPECT_EQ(out, "ABC\0\0\0\0\0"s);
}

TEST_F(CopyElementTest, AllFillElementWritesNothingUnlessKind32KeepsFill) {
  const std::string zeros(8, '\0');
  EXPECT_EQ(copyAll(zeros, 16, 0), 0);
  EXPECT_FALSE(out.has_value());
  EXPECT_NE(trace.find("i -1\nnew size 8\n"), std::string::npos) << trace;
  EXPECT_EQ(copyAll(zeros, 32, 0), 0);
  EXPECT_FALSE(out.has_value());
  EXPECT_EQ(copyAll("", 16, 0), 0);
  EXPECT_FALSE(out.has_value());
  EXPECT_EQ(copyAll(zeros, 32, 2), 2);
  EXPECT_EQ(out, "\0\0"s);
}

TEST_F(CopyElementTest, AllFillElementWithTableZeroesWritten) {
  useTable("a=b\r\n");
  written = 55;
  writeFile("in.bin", std::string(8, '\0'));
  EXPECT_EQ(copy(0, 8, 16, 0, true), 0);
  EXPECT_EQ(written, 0);
}

TEST_F(CopyElementTest, TrimReadsChunksBackwardsFromElementEnd) {
  // The element starts at 7 and holds one data byte at its offset 10; the
  // bytes around it are data too, so reading outside it would be noticed.
  const std::int64_t size = 2 * 256000 + 100;
  std::string element(size, '\0');
  element[10] = 'X';
  writeFile("in.bin", "PPPPPPP" + element + "Z");
  EXPECT_EQ(copy(7, size, 16, 0), 11);
  EXPECT_EQ(out, "\0\0\0\0\0\0\0\0\0\0X"s);
  EXPECT_NE(trace.find("old size 512100\npos 256100\nbuf[i] 0  buf[i-1] 0\ni -1\n"
                       "pos 100\nbuf[i] 0  buf[i-1] 0\ni -1\n"
                       "pos 0\nbuf[i] 0  buf[i-1] 0\ni 10\nnew size 11\n"),
            std::string::npos)
      << trace;
}

TEST_F(CopyElementTest, TraceShowsBytesSignedAndZeroBeforeASingleByte) {
  EXPECT_EQ(copyAll("\xFF", 16, 0), 1);
  EXPECT_NE(trace.find("buf[i] -1  buf[i-1] 0\ni 0\n"), std::string::npos) << trace;
  std::filesystem::remove("out.bin");
  EXPECT_EQ(copyAll("\x80\x7F", 16, 0), 2);
  EXPECT_NE(trace.find("buf[i] 127  buf[i-1] -128\n"), std::string::npos) << trace;
}

TEST_F(CopyElementTest, Kind1PadsElementToExactBlock) {
  fill = 'F';
  EXPECT_EQ(copyAll("0123456789", 1, 16), 16);
  EXPECT_EQ(out, "0123456789FFFFFF");
  EXPECT_EQ(trace,
            "1 block 16 blockadd 0\n"
            "block 16 size 10 (block - size%block)6res block 16 res size 10 block-size 6\n"
            "res block 16 res written 0 writenReal 0\n");
}

TEST_F(CopyElementTest, Kind1ElementLongerThanBlockIsWrittenThenFails) {
  EXPECT_EQ(copyAll(std::string(20, 'x'), 1, 16), -99);
  EXPECT_EQ(error, "Error: block is bigger than max(exact) block size\n");
  EXPECT_EQ(out, std::string(20, 'x'));
  EXPECT_NE(trace.find("res size 20 block-size 4294967292\n"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("res written"), std::string::npos) << trace;
}

TEST_F(CopyElementTest, Kind2PadsToNextMultipleOfBlock) {
  fill = '.';
  EXPECT_EQ(copyAll(std::string(20, 'x'), 2, 16), 32);
  EXPECT_EQ(out, std::string(20, 'x') + std::string(12, '.'));
  EXPECT_NE(trace.find("block 16 size 20 (block - size%block)12res block 32 res size 20 "
                       "block-size 12\n"),
            std::string::npos)
      << trace;
  std::filesystem::remove("out.bin");
  EXPECT_EQ(copyAll(std::string(32, 'x'), 2, 16), 32);
  EXPECT_EQ(out, std::string(32, 'x'));
  std::filesystem::remove("out.bin");
  EXPECT_EQ(copyAll("", 2, 16), 0);
  EXPECT_EQ(out, "");
}

TEST_F(CopyElementTest, BlockZeroPadsNothing) {
  EXPECT_EQ(copyAll("0123456789", 1, 0), 10);
  EXPECT_EQ(copyAll("0123456789", 2, 0), 10);
  EXPECT_EQ(out, "01234567890123456789");
  EXPECT_EQ(trace, "2 block 0 blockadd 0\n");
}

TEST_F(CopyElementTest, TableLengthsCountOutputBytes) {
  useTable("A=AB\r\n");
  writeFile("in.bin", "AAAAxxxxxx");
  EXPECT_EQ(copy(0, 10, 0, 0, true), 14);
  EXPECT_EQ(written, 14);
  EXPECT_EQ(out, "ABABABABxxxxxx");
  std::filesystem::remove("out.bin");
  EXPECT_EQ(copy(0, 10, 2, 16, true), 16);
  EXPECT_EQ(written, 16);
  EXPECT_NE(trace.find("res block 16 res written 14 writenReal 16\n"), std::string::npos)
      << trace;
}

TEST_F(CopyElementTest, BlockaddComesBeforePadding) {
  job.blockadd = 3;
  fill = '-';
  EXPECT_EQ(copyAll(std::string(13, 'x'), 2, 16), 16);
  EXPECT_EQ(out, std::string(13, 'x') + "---");
  EXPECT_NE(trace.find("block-size 0\n"), std::string::npos) << trace;
}

TEST_F(CopyElementTest, WithoutTableWrittenKeepsCallersValue) {
  written = 77;
  job.blockadd = 2;
  EXPECT_EQ(copyAll("abc", 1, 8), 8);
  EXPECT_EQ(written, 77);
  EXPECT_NE(trace.find("res written 77 writenReal 77\n"), std::string::npos) << trace;
}

TEST_F(CopyElementTest, ShortCopyPrintsDiagnosticLinesAndFails) {
  writeFile("in.bin", "abcd");
  written = 5;
  copy(0, 10, 0, 0);
  EXPECT_EQ(error, "Error: coping data\n");
  EXPECT_EQ(trace,
            "0 block 0 blockadd 0\n"
            "ipos 0, opos 0 ,writen real 5\n"
            "iname in.bin, oname out.bin,copied 4  ,copy size 10 ,tbstable no\n");
}

TEST_F(CopyElementTest, DiagnosticLineSaysYesWhenConverting) {
  useTable("a=b\r\n");
  writeFile("in.bin", "abcd");
  copy(2, 10, 0, 0, true);
  EXPECT_EQ(error, "Error: coping data\n");
  EXPECT_NE(trace.find("ipos 2, opos 0 ,writen real "), std::string::npos) << trace;
  EXPECT_NE(trace.find(",copy size 10 ,tbstable yes\n"), std::string::npos) << trace;
}

TEST_F(CopyElementTest, NegativeSizeOrMissingInputFails) {
  writeFile("in.bin", "abcd");
  copy(0, -5, 0, 0);
  EXPECT_EQ(error, "Error: coping data\n");
  copy(0, -5, 16, 0);
  EXPECT_EQ(error, "Error: reading from end of file\n");
  std::filesystem::remove("in.bin");
  copy(0, 4, 32, 0);
  EXPECT_EQ(error, "Error: reading from end of file\n");
  EXPECT_FALSE(out.has_value());
}

// A read that fails names its file before the described text; a missing
// input keeps the described text alone (above).
TEST_F(CopyElementTest, UnreadableInputIsNamedBeforeTheDescribedText) {
  std::filesystem::create_directory("in.bin");
  for (const bool convert : {false, true}) {
    if (convert) useTable("a=b\r\n");
    copy(0, 4, 0, 0, convert);
    EXPECT_EQ(error, "in.bin:cannot read file: Is a directory\nError: coping data\n");
  }
  copy(0, 4, 16, 0);
  EXPECT_EQ(error, "in.bin:cannot read file: Is a directory\nError: reading from end of file\n");
}

TEST_F(CopyElementTest, EmptyElementWhoseOutputCannotBeOpenedFails) {
  writeFile("in.bin", "abcd");
  for (const bool convert : {false, true}) {
    if (convert) useTable("a=b\r\n");
    const auto o = capture([&] {
      copyElement(job, "in.bin", "nodir/out.bin", 0, 0, 0, "wb", convert, 0, written, 0, 0, fill);
    });
    EXPECT_EQ(o.failure, "nodir/out.bin:error writing file: No such file or directory\n")
        << "convert " << convert;
    EXPECT_EQ(o.out, "0 block 0 blockadd 0\n");
  }
  // With a folder to go to, the empty element gets its empty output.
  written = 9;
  EXPECT_EQ(copy(0, 0, 0, 0, true), 0);
  EXPECT_EQ(error, "");
  EXPECT_EQ(out, "");
  EXPECT_EQ(written, 0);
}

TEST_F(CopyElementTest, ElementBeyond4GiBIsCopiedFromItsPlace) {
  const std::int64_t at = (std::int64_t{5} << 30) + 4;
  {
    std::ofstream f("in.bin", std::ios::binary);
    f.seekp(at);
    f.write("DATA\0\0", 6);
  }
  EXPECT_EQ(copy(at, 6, 16, 0), 4);
  EXPECT_EQ(out, "DATA");
  EXPECT_NE(trace.find("old size 6\npos 0\n"), std::string::npos) << trace;
}

}  // namespace
}  // namespace dataport
