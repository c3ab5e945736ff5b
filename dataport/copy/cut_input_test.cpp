#include "dataport/copy/cut_input.h"

#include <string>

#include "dataport/job.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;

class CutInputTest : public ::testing::Test {
 protected:
  std::int64_t cut(std::uint32_t kind, std::uint32_t keep, const std::string& name = "in.bin") {
    Trace t;
    std::int64_t r = -99;
    error = failureOf([&] { r = cutInput(job, name, kind, keep, 0); });
    job.finishFiles();
    trace = t.text();
    kept = readFile(kCutFile);
    return r;
  }

  WorkDir dir;
  Job job;
  std::string trace, error;
  std::optional<std::string> kept;
};

TEST_F(CutInputTest, Kind16KeepsUpToLastDataByte) {
  const std::string data(976, 'D');
  writeFile("in.bin", data + std::string(24, '\0'));
  EXPECT_EQ(cut(16, 0), 976);
  EXPECT_EQ(kept, data);
  EXPECT_EQ(trace, "old size 1000\npos 0\nbuf[i] 0  buf[i-1] 0\ni 975\nnew size 976\n");
}

TEST_F(CutInputTest, Kind32KeepsUpToKeepCountFillBytes) {
  const std::string file = std::string(976, 'D') + std::string(24, '\0');
  writeFile("in.bin", file);
  EXPECT_EQ(cut(32, 8), 984);
  EXPECT_EQ(kept, file.substr(0, 984));
  writeFile(kCutFile, std::string(3000, 'o'));  // an old cut file is replaced
  EXPECT_EQ(cut(32, 100), 1000);
  EXPECT_EQ(kept, file);
}

TEST_F(CutInputTest, FileOfOneAndABitChunksIsReadFromTheEnd) {
  std::string file(256000 + 50, '\0');
  file[0] = 'D';
  writeFile("in.bin", file);
  EXPECT_EQ(cut(16, 0), 1);
  EXPECT_EQ(kept, "D");
  EXPECT_EQ(trace,
            "old size 256050\npos 50\nbuf[i] 0  buf[i-1] 0\ni -1\n"
            "pos 0\nbuf[i] 0  buf[i-1] 0\ni 0\nnew size 1\n");
}

TEST_F(CutInputTest, AllFillFileKeepsOnlyWhatKind32Keeps) {
  writeFile("in.bin", std::string(50, '\0'));
  EXPECT_EQ(cut(16, 0), 0);
  EXPECT_FALSE(kept.has_value());
  EXPECT_EQ(cut(32, 0), 0);
  EXPECT_FALSE(kept.has_value());
  EXPECT_EQ(cut(32, 8), 8);
  EXPECT_EQ(kept, std::string(8, '\0'));
}

TEST_F(CutInputTest, MissingInputFailsReading) {
  EXPECT_EQ(cut(16, 0, "none.bin"), -99);
  EXPECT_EQ(error, "Error: reading from end of file\n");
  EXPECT_EQ(trace, "old size 4294967295\npos 4294711295\n");
  EXPECT_FALSE(kept.has_value());
}

TEST_F(CutInputTest, CutFileAsInputIsRefusedAndKept) {
  writeFile(kCutFile, std::string("AB\0\0", 4));
  EXPECT_EQ(cut(16, 0, kCutFile), -99);
  EXPECT_EQ(error, "tmpqzpm.qwe:input is the cut file itself\n");
  EXPECT_EQ(kept, std::string("AB\0\0", 4));
}

// The step every reading mode takes first: read the kept part instead of the
// input and keep the upper bound inside it.
TEST_F(CutInputTest, CutIfAskedSwitchesToTheKeptPartAndLowersPmax) {
  writeFile("in.bin", std::string(10, 'D') + std::string(6, '\0'));
  std::string name;
  const auto cutIfAsked = [&](std::int64_t pmax) {
    name = "in.bin";
    job.pmax = pmax;
    EXPECT_EQ(capture([&] { job.cutInputIfAsked(name); }).failure, "");
    job.finishFiles();
  };
  cutIfAsked(100);
  EXPECT_EQ(name, "in.bin") << "no cut without -c";
  EXPECT_FALSE(readFile(kCutFile).has_value());

  job.cutkind = 16;
  cutIfAsked(100);
  EXPECT_EQ(name, kCutFile);
  EXPECT_EQ(job.pmax, 10);
  EXPECT_EQ(readFile(kCutFile), std::string(10, 'D'));
  cutIfAsked(4);  // already inside the kept part
  EXPECT_EQ(job.pmax, 4);
}

TEST_F(CutInputTest, CutIfAskedKeepsTheInputWhenNothingIsKept) {
  writeFile("in.bin", std::string(16, '\0'));
  std::string name = "in.bin";
  job.cutkind = 16;
  job.pmax = 100;
  EXPECT_EQ(capture([&] { job.cutInputIfAsked(name); }).failure, "");
  EXPECT_EQ(name, "in.bin");
  EXPECT_EQ(job.pmax, 100);
}

}  // namespace
}  // namespace dataport
