#include "dataport/usage.h"

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "dataport/options.h"
#include "tools_version.h"

namespace dataport {
namespace {

Request requestFor(std::vector<std::string> words) {
  words.insert(words.begin(), "dataport");
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());
  return requestOf(static_cast<int>(argv.size()), argv.data());
}

TEST(Usage, RequestOfTheCommandLine) {
  struct Case {
    std::vector<std::string> words;
    Request want;
  };
  const Case cases[] = {
      {{}, Request::kHelp},
      {{"--help"}, Request::kHelp},
      {{"-?"}, Request::kHelp},
      {{"440", "in.bin", "--help"}, Request::kHelp},
      {{"--version"}, Request::kVersion},
      {{"440", "--version", "in.bin"}, Request::kVersion},
      {{"--version", "--help"}, Request::kVersion},  // the first one decides
      {{"-?", "--version"}, Request::kHelp},
      {{"440", "in.bin"}, Request::kJob},
      {{"-h"}, Request::kJob},  // -h is the HFILE option
      {{"-help"}, Request::kJob},
      {{"-q"}, Request::kJob},
      // The value of an option is never a request, but a switch takes none.
      {{"440", "in.bin", "-d", "--help"}, Request::kJob},
      {{"440", "in.bin", "-t", "-?"}, Request::kJob},
      {{"440", "in.bin", "-i", "--version"}, Request::kJob},
      {{"440", "in.bin", "-a", "--help"}, Request::kHelp},
      // "-d" as the value of "-d", then a request.
      {{"-d", "-d", "--help"}, Request::kHelp},
      // A repeated option word is a positional word and takes no value.
      {{"-d", "x", "-d", "--help"}, Request::kHelp},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& w : c.words) line += w + " ";
    EXPECT_EQ(requestFor(c.words), c.want) << line;
  }
}

TEST(Usage, EveryOptionWordHasALineOfItsOwn) {
  std::istringstream text(kUsage);
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  for (std::string_view word : optionWords()) {
    bool found = false;
    for (const std::string& line : lines) {
      // "  -WORD" followed by a blank or a value name.
      if (line.rfind("  " + std::string(word) + " ", 0) == 0) found = true;
    }
    EXPECT_TRUE(found) << word << " is missing from the usage text";
  }
}

TEST(Usage, FitsAnEightyColumnTerminal) {
  std::istringstream text(kUsage);
  int n = 0;
  for (std::string line; std::getline(text, line);) {
    ++n;
    EXPECT_LE(line.size(), 79u) << "line " << n << ": " << line;
  }
}

TEST(Usage, VersionLineNamesProgramAndProjectVersion) {
  EXPECT_EQ(versionLine(), std::string("dataport ") + TOOLS_VERSION + "\n");
  EXPECT_NE(std::string(TOOLS_VERSION), "");
}

TEST(Usage, TakesValueFollowsTheOptionTable) {
  for (const char* word : {"-i", "-t", "-h", "-p", "-e", "-ef", "-d", "-df", "-ds", "-sa"}) {
    EXPECT_TRUE(takesValue(word)) << word;
  }
  for (const char* word : {"-s", "-j", "-a", "-f", "-q", "-dd", "-c", "--help", "x", ""}) {
    EXPECT_FALSE(takesValue(word)) << word;
  }
}

}  // namespace
}  // namespace dataport
