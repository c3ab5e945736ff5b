#include "dataport/copy/pad_to_exact.h"

#include <string>

#include "dataport/job.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;

class PadToExactTest : public ::testing::Test {
 protected:
  // Pads an output of `size` bytes 'o' with '+' fill; returns the result.
  int pad(std::int64_t size, std::uint32_t kind, std::int64_t exsize) {
    writeFile("out.bin", std::string(size, 'o'));
    Trace t;
    int r = -99;
    error = failureOf([&] { r = padToExact(job, "out.bin", kind, exsize, '+'); });
    job.finishFiles();
    trace = t.text();
    out = readFile("out.bin").value_or("<missing>");
    return r;
  }

  WorkDir dir;
  Job job;
  std::string trace, error, out;
};

TEST_F(PadToExactTest, Kind1PadsToExactSize) {
  EXPECT_EQ(pad(2000, 1, 2048), 1);
  EXPECT_EQ(out, std::string(2000, 'o') + std::string(48, '+'));
  EXPECT_EQ(trace, "exsize 2048 fsize 2000\n");
  EXPECT_EQ(pad(2048, 1, 2048), 1);
  EXPECT_EQ(out, std::string(2048, 'o'));
}

TEST_F(PadToExactTest, Kind1OutputLongerThanExactSizeFails) {
  EXPECT_EQ(pad(3000, 1, 2048), -99);
  EXPECT_EQ(error, "Error: joining file is bigger than exact size\n");
  EXPECT_EQ(out, std::string(3000, 'o'));
}

TEST_F(PadToExactTest, Kind2PadsToNextMultiple) {
  EXPECT_EQ(pad(2000, 2, 2048), 1);
  EXPECT_EQ(out.size(), 2048u);
  EXPECT_EQ(pad(4097, 2, 2048), 1);
  EXPECT_EQ(out, std::string(4097, 'o') + std::string(2047, '+'));
  EXPECT_EQ(trace, "exsize 6144 fsize 4097\n");
  EXPECT_EQ(pad(4096, 2, 2048), 1);
  EXPECT_EQ(out, std::string(4096, 'o'));
}

TEST_F(PadToExactTest, NoSizeOrNoKindDoesNothing) {
  EXPECT_EQ(pad(10, 1, 0), 0);
  EXPECT_EQ(pad(10, 2, -16), 0);
  EXPECT_EQ(pad(10, 0, 16), 0);
  EXPECT_EQ(out, std::string(10, 'o'));
  EXPECT_EQ(trace, "");
}

TEST_F(PadToExactTest, OutputThatCannotBeMeasuredIsAWriteError) {
  Trace t;
  EXPECT_EQ(failureOf([&] { padToExact(job, "gone.bin", 1, 16, '+'); }),
            "gone.bin:error writing file: No such file or directory\n");
  EXPECT_EQ(t.text(), "exsize 16 fsize -1\n");
  EXPECT_FALSE(readFile("gone.bin").has_value());
}

}  // namespace
}  // namespace dataport
