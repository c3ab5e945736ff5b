#include "dataport/copy/output_guard.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "dataport/test_support.h"

namespace dataport {
namespace {

using namespace testsupport;
namespace fs = std::filesystem;

TEST(InputFiles, AnOutputLeadingToAnInputByAnyNameIsRefused) {
  WorkDir dir;
  writeFile("in.bin", "data");
  writeFile("other.bin", "x");
  fs::create_hard_link("in.bin", "hard.bin");
  fs::create_symlink("in.bin", "soft.bin");
  InputFiles inputs;
  inputs.add("in.bin");
  inputs.add("missing.bin");  // nothing to protect yet
  for (const char* out : {"in.bin", "./in.bin", "hard.bin", "soft.bin"}) {
    EXPECT_EQ(failureOf([&] { inputs.refuse(out); }),
              std::string(out) + ":output file is also an input file\n");
  }
  for (const char* out : {"other.bin", "missing.bin", "new.bin"}) {
    EXPECT_EQ(failureOf([&] { inputs.refuse(out); }), "") << out;
  }
  EXPECT_TRUE(inputs.isInputEntry("./in.bin"));
  EXPECT_FALSE(inputs.isInputEntry("hard.bin"));
}

TEST(InputFiles, InputsFoundByIdentityAreGuardedToo) {
  WorkDir dir;
  writeFile("p.000", "a");
  InputFiles inputs;
  inputs.add(io::fileStatus("p.000").id);
  EXPECT_TRUE(inputs.leadsToInput("p.000"));
  EXPECT_FALSE(inputs.isInputEntry("p.000"));
}

}  // namespace
}  // namespace dataport
