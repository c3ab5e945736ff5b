// The installed tree: what `cmake --install` puts under a prefix, the
// installed programs, their man pages (rendered without a warning) and bash
// completions, and that help text, man page and completion name the same
// option words.

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tools_version.h"

namespace {

using e2e::Scratch;

/// Installs the build tree into `s`/prefix once; the test fails when that fails.
std::string installInto(const Scratch& s) {
  auto r = s.run(CMAKE_COMMAND_PATH, {"--install", BUILD_DIR, "--prefix", s.path("prefix")});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  return s.path("prefix");
}

/// Runs a shell command line in the folder.
e2e::RunResult shell(const Scratch& s, const std::string& command) {
  return s.run("/bin/sh", {"-c", command});
}

bool haveCommand(const Scratch& s, const std::string& name) {
  return shell(s, "command -v " + name).status == 0;
}

/// The option words that the usage text lists at the start of a line.
std::set<std::string> usageOptionWords(const std::string& usage) {
  std::set<std::string> words;
  std::istringstream lines(usage);
  const std::regex option("^  (-[a-z?-]+)[ ,]");
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_search(line, m, option)) words.insert(m[1]);
  }
  return words;
}

/// The words the bash completion of `program` offers for `word`.
std::set<std::string> completions(const Scratch& s, const std::string& script,
                                  const std::string& line, int cword) {
  auto r = s.run("/usr/bin/env", {"bash", "-c", "set -e; . '" + script + "'; COMP_WORDS=(" + line + "); COMP_CWORD=" +
                        std::to_string(cword) + "; _" + line.substr(0, line.find(' ')) +
                        "; printf '%s\\n' \"${COMPREPLY[@]}\""});
  EXPECT_EQ(r.status, 0) << r.err;
  std::set<std::string> words;
  std::istringstream lines(r.out);
  for (std::string w; std::getline(lines, w);) {
    if (!w.empty()) words.insert(w);
  }
  return words;
}

TEST(Install, PutsProgramsManPagesCompletionsAndReadme) {
  Scratch s;
  const std::string prefix = installInto(s);
  for (const char* file :
       {"bin/dataport", "bin/mendbin", "share/man/man1/dataport.1", "share/man/man1/mendbin.1",
        "share/bash-completion/completions/dataport", "share/bash-completion/completions/mendbin",
        "share/doc/dataport-tools/README.md"}) {
    EXPECT_TRUE(s.exists(std::string("prefix/") + file)) << file;
  }
  for (const char* program : {"dataport", "mendbin"}) {
    auto r = s.run(prefix + "/bin/" + program, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string(program) + " " + TOOLS_VERSION + "\n");
  }
}

TEST(Install, ManPagesRenderWithoutWarnings) {
  Scratch s;
  if (!haveCommand(s, "groff")) GTEST_SKIP() << "groff not installed (Debian: groff-base)";
  const std::string prefix = installInto(s);
  for (const char* page : {"dataport", "mendbin"}) {
    const std::string file = prefix + "/share/man/man1/" + page + ".1";
    auto r = shell(s, "groff -man -Tutf8 -ww '" + file + "' >/dev/null");
    EXPECT_EQ(r.status, 0) << page;
    EXPECT_EQ(r.err, "") << page;
    if (haveCommand(s, "man")) {
      r = shell(s, "MANWIDTH=80 man -l '" + file + "' >man.txt");
      EXPECT_EQ(r.status, 0) << page;
      EXPECT_EQ(r.err, "") << page;
      EXPECT_NE(s.read("man.txt").find("EXIT STATUS"), std::string::npos) << page;
    }
    // The page names its version, the project's.
    EXPECT_NE(s.read(std::string("prefix/share/man/man1/") + page + ".1").find(TOOLS_VERSION),
              std::string::npos)
        << page;
  }
}

TEST(Install, ManPageAndCompletionCoverEveryOptionOfTheUsage) {
  Scratch s;
  if (!haveCommand(s, "bash")) GTEST_SKIP() << "bash not installed";
  const std::string prefix = installInto(s);
  const std::set<std::string> words = usageOptionWords(s.dataport({"--help"}).out);
  ASSERT_GT(words.size(), 30u);
  const std::string page = s.read("prefix/share/man/man1/dataport.1");
  const std::set<std::string> offered =
      completions(s, prefix + "/share/bash-completion/completions/dataport", "dataport -", 1);
  for (const std::string& word : words) {
    // An item of the option list: .TP, then the word (in roff a minus sign is \-).
    const std::string roff = std::regex_replace(word, std::regex("-"), "\\-");
    const std::regex item("\n\\.TP\n\\.(B|BI|BR) " + std::regex_replace(roff, std::regex("[\\\\?]"),
                                                                  "\\$&") +
                          "[ ,\n]");
    EXPECT_TRUE(std::regex_search(page, item)) << word << " is not an item of dataport.1";
    EXPECT_TRUE(offered.count(word) == 1 || word == "-?") << word << " is not completed";
  }
}

TEST(Install, CompletionsOfferFilesWhereAFileGoes) {
  Scratch s;
  if (!haveCommand(s, "bash")) GTEST_SKIP() << "bash not installed";
  const std::string prefix = installInto(s);
  s.write("game.dat", "x");
  s.write("game.tbl", "y");
  const std::string dp = prefix + "/share/bash-completion/completions/dataport";
  const std::string mb = prefix + "/share/bash-completion/completions/mendbin";
  const std::set<std::string> both = {"game.dat", "game.tbl"};
  struct Case {
    std::string script, line;
    int cword;
    std::set<std::string> want;
  };
  const Case cases[] = {
      {dp, "dataport 4440 game", 2, both},
      {dp, "dataport -t game.t", 2, {"game.tbl"}},
      {dp, "dataport -i g", 2, both},
      {dp, "dataport -eb g", 2, {}},  // a number goes there
      {dp, "dataport -hm", 1, {"-hmax"}},
      {mb, "mendbin g", 1, both},
      {mb, "mendbin d.txt game.d", 2, {"game.dat"}},
      {mb, "mendbin d.txt f -", 3, {"-n", "-r", "-c"}},
      {mb, "mendbin --v", 1, {"--version"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(completions(s, c.script, c.line, c.cword), c.want) << c.line;
  }
}

}  // namespace
