// Quiet mode through the built program: with -q a run prints nothing on
// standard output and writes the same files as without it; errors still
// reach standard error.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tests/rebuild_files.h"

namespace {

using e2e::Bytes;
using e2e::Scratch;
using rebuild::Piece;

/// Runs `args` once as given and once with -q in a fresh folder each, and
/// checks that only standard output differs: empty with -q.
void expectQuietRunWritesTheSame(const std::vector<std::string>& args,
                                 const std::vector<std::string>& outputs) {
  const std::vector<Piece> pieces = {{"Hello", Bytes(3, '\0')}, {"World!", ""}};
  auto prepare = [&](Scratch& s) {
    s.write("game.dat", rebuild::dataFile("", "", pieces));
    s.write("game.txt", rebuild::dfile({"Hi", "Earth, hello"}));
    s.write("parts.000", "abc");
    s.write("parts.001", "de");
    s.write("bad.tbl", "=x\r\nH=h\r\n");  // the first line is reported, not fatal
  };
  Scratch loud, quiet;
  prepare(loud);
  prepare(quiet);
  std::vector<std::string> quietArgs = args;
  quietArgs.insert(quietArgs.begin() + 1, "-q");
  auto l = loud.dataport(args);
  auto q = quiet.dataport(quietArgs);
  ASSERT_EQ(l.status, 0) << l.err;
  EXPECT_NE(l.out, "") << args[0];
  EXPECT_EQ(q.status, 0) << q.err;
  EXPECT_EQ(q.out, "") << args[0];
  EXPECT_EQ(q.err, l.err);
  for (const std::string& name : outputs) {
    ASSERT_TRUE(loud.exists(name)) << name;
    EXPECT_EQ(quiet.read(name), loud.read(name)) << name;
  }
}

TEST(Quiet, EveryModeLeavesStandardOutputEmpty) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> outputs;
  };
  const Case cases[] = {
      {{"4440", "game.dat", "split.txt"}, {"split.txt"}},
      {{"4440", "game.dat", "-f", "part"}, {"part.000", "part.001"}},
      {{"4440", "game.dat", "-t", "bad.tbl", "split.txt"}, {"split.txt"}},
      {{"4440", "game.txt", "-i", "game.dat", "new.dat"}, {"new.dat"}},
      {{"440", "parts", "-f", "-j", "joined.dat"}, {"joined.dat"}},
      {{"4", "game.txt", "-sd", "piece"}, {"piece.000", "piece.001"}},
      {{"4", "parts", "-jd", "all.txt"}, {"all.txt"}},
  };
  for (const Case& c : cases) expectQuietRunWritesTheSame(c.args, c.outputs);
}

TEST(Quiet, ErrorsStillGoToStandardError) {
  Scratch s;
  auto r = s.dataport({"-q", "4440", "missing.dat"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "missing.dat:input file not found\n");
}

}  // namespace
