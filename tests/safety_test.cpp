// End-to-end runs of what may go wrong: outputs named like inputs, links in
// the place of the cut file, inputs that cannot be read, runs with nothing
// to do, full disks and read-only folders. Every run checks its exit code,
// its standard error and the bytes of every input afterwards.

#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/e2e_support.h"
#include "tests/rebuild_files.h"

namespace {

namespace fs = std::filesystem;
using e2e::Bytes;
using e2e::RunResult;
using e2e::Scratch;
using rebuild::dataFile;
using rebuild::dfile;
using rebuild::Piece;
using Args = std::vector<std::string>;

const std::vector<Piece> kPieces = {{"Hello", ""}, {"Sword", "\0\0"}, {"Dragon", ""}};

/// Every input a run may read: a data file, its DFile, numbered files, a
/// table, a separator file and an HFILE.
void writeInputs(const Scratch& s) {
  s.write("data.bin", dataFile("", "", kPieces));
  s.write("edit.txt", dfile({"Hello", "Sword", "Dragon"}));
  s.write("p.000", "Hello");
  s.write("p.001", "Sword");
  s.write("t.tbl", "a=a\r\n");
  s.write("sep.txt", "\r\n******xEnDx******\r\n");
  s.write("hdr.bin", rebuild::header4440(28, kPieces));
  s.write("q.000", dataFile("", "", kPieces));
  s.write("d.txt.000", dfile({"A", "B"}));
}

std::map<std::string, Bytes> snapshot(const Scratch& s) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : fs::directory_iterator(s.dir())) {
    if (entry.is_regular_file()) files[entry.path().filename().string()] = s.read(entry.path().filename().string());
  }
  return files;
}

TEST(NoInputDestroyed, EveryModeRefusesAnOutputNamedLikeOneOfItsInputs) {
  struct Case {
    Args args;
    std::string refused;
  };
  const std::vector<Case> cases = {
      {{"4440", "data.bin", "data.bin", "-a"}, "data.bin"},
      {{"4440", "data.bin", "t.tbl", "-t", "t.tbl"}, "t.tbl"},
      {{"4440", "data.bin", "sep.txt", "-df", "sep.txt"}, "sep.txt"},
      {{"4440", "data.bin", "hdr.bin", "-h", "hdr.bin", "-hb", "0"}, "hdr.bin"},
      {{"4440", "q.000", "-f", "q"}, "q.000"},
      {{"4440", "data.bin", "-f", "q", "-df", "q.000"}, "q.000"},
      {{"4", "d.txt.000", "-sd", "d.txt"}, "d.txt.000"},
      {{"4", "p", "-jd", "p.001"}, "p.001"},
      {{"4", "p", "-jd", "t.tbl", "-t", "t.tbl"}, "t.tbl"},
      {{"440", "p", "-j", "-f", "p.000"}, "p.000"},
      {{"440", "p", "-j", "-f", "out.bin", "p.001", "-h", "x"}, "p.001"},
      {{"440", "edit.txt", "-j", "sep.txt", "-df", "sep.txt"}, "sep.txt"},
      {{"4440", "p", "-i", "data.bin", "-f", "p.001"}, "p.001"},
      {{"4440", "edit.txt", "-i", "data.bin", "t.tbl", "-t", "t.tbl"}, "t.tbl"},
      {{"4440", "edit.txt", "-i", "data.bin", "new.bin", "hdr.bin", "-h", "hdr.bin"}, "hdr.bin"},
      {{"4440", "edit.txt", "-i", "data.bin", "edit.txt", "-a"}, "edit.txt"},
  };
  for (const Case& c : cases) {
    Scratch s;
    writeInputs(s);
    const auto before = snapshot(s);
    RunResult r = s.dataport(c.args);
    EXPECT_EQ(r.status, 1) << c.args[0] << " " << c.args[1] << " " << c.args[2];
    EXPECT_EQ(r.err, c.refused + ":output file is also an input file\n");
    EXPECT_EQ(snapshot(s), before) << "a file was written or changed: " << c.args[2];
  }
}

TEST(NoInputDestroyed, CutFileLinkIsNeverWrittenThrough) {
  Scratch s;
  writeInputs(s);
  s.write("victim", "precious");
  fs::create_symlink("victim", s.path("tmpqzpm.qwe"));
  RunResult r = s.dataport({"4440", "data.bin", "-c", "o"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tmpqzpm.qwe:not a regular file\n");
  EXPECT_EQ(s.read("victim"), "precious");
  EXPECT_FALSE(s.exists("o"));

  // A hard link is removed and the cut file made anew.
  fs::remove(s.path("tmpqzpm.qwe"));
  fs::create_hard_link(s.path("victim"), s.path("tmpqzpm.qwe"));
  r = s.dataport({"4440", "data.bin", "-c", "o"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("victim"), "precious");
  EXPECT_EQ(s.read("tmpqzpm.qwe"), s.read("data.bin"));
  EXPECT_EQ(s.read("o"), dfile({"Hello", "Sword", "Dragon"}));

  // A table named like the cut file is an input, not a place to cut to.
  s.write("tmpqzpm.qwe", "a=a\r\n");
  r = s.dataport({"4440", "data.bin", "-c", "o", "-t", "tmpqzpm.qwe"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tmpqzpm.qwe:output file is also an input file\n");
  EXPECT_EQ(s.read("tmpqzpm.qwe"), "a=a\r\n");
}

TEST(UnreadableInput, FolderAmongTheInputsIsNamed) {
  Scratch s;
  writeInputs(s);
  fs::create_directory(s.path("dir"));
  fs::create_directory(s.path("p.002"));
  s.write("p.003", "late");
  const std::vector<std::pair<Args, Bytes>> cases = {
      {{"440", "dir", "-j", "out.bin"}, "dir:cannot read file: Is a directory\n"},
      {{"4", "dir", "-sd", "out"}, "dir:cannot read file: Is a directory\n"},
      {{"440", "p", "-j", "-f", "out.bin"}, "p.002:cannot read file: Is a directory\n"},
      {{"4", "p", "-jd", "out.bin"}, "p.002:cannot read file: Is a directory\n"},
      {{"4440", "data.bin", "out.bin", "-t", "dir"},
       "dir:cannot read file: Is a directory\ndir:tbs table file error initialization\n"},
      {{"4440", "edit.txt", "-i", "dir", "out.bin"}, "dir:cannot read file: Is a directory\n"},
      {{"440", "data.bin", "out.bin", "-h", "dir"},
       "dir:cannot read file: Is a directory\nerror opening header file\n"},
  };
  for (const auto& [args, err] : cases) {
    RunResult r = s.dataport(args);
    EXPECT_EQ(r.status, 1) << args[1];
    EXPECT_EQ(r.err, err);
    EXPECT_FALSE(s.exists("out.bin"));
  }
}

/// Runs dataport as a user without privileges (root reads every file and
/// writes into every folder); the scratch folder is then read-only for it.
RunResult asNobody(const Scratch& s, const Args& args) {
  if (::geteuid() != 0) return s.dataportVia({"/usr/bin/env"}, args);
  return s.dataportVia({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"},
                       args);
}

bool canChangeUser() { return ::geteuid() != 0 || fs::exists("/usr/bin/setpriv"); }

TEST(UnreadableInput, FileWithoutReadPermissionIsNamedWithTheReason) {
  if (!canChangeUser()) GTEST_SKIP() << "running as root without setpriv to drop privileges";
  Scratch s;
  writeInputs(s);
  fs::permissions(s.dir(), fs::perms::all);  // the outputs may be written
  for (const char* name : {"edit.txt", "data.bin", "p.001", "t.tbl", "sep.txt", "hdr.bin"}) {
    fs::permissions(s.path(name), fs::perms::none);
  }
  const std::vector<std::pair<Args, Bytes>> cases = {
      {{"440", "edit.txt", "-j", "out.bin"}, "edit.txt:cannot read file: Permission denied\n"},
      {{"4", "edit.txt", "-sd", "out.bin"}, "edit.txt:cannot read file: Permission denied\n"},
      {{"4440", "p", "-i", "data.bin", "-f", "-h", "hdr.bin", "out.bin", "o.hdr"},
       "data.bin:cannot read file: Permission denied\n"},
      {{"440", "p", "-j", "-f", "out.bin"}, "p.001:cannot read file: Permission denied\n"},
      {{"4440", "q.000", "out.bin", "-t", "t.tbl"},
       "t.tbl:cannot read file: Permission denied\nRead error from file t.tbl \n"
       "t.tbl:tbs table file error initialization\n"},
      {{"4440", "q.000", "out.bin", "-df", "sep.txt"},
       "sep.txt:cannot read file: Permission denied\ndfile: error reading dfile\n"},
      {{"440", "q.000", "out.bin", "-h", "hdr.bin", "-hc", "3"},
       "hdr.bin:cannot read file: Permission denied\nerror reading elements(block)\n"},
  };
  for (const auto& [args, err] : cases) {
    RunResult r = asNobody(s, args);
    EXPECT_EQ(r.status, 1) << args[1];
    EXPECT_EQ(r.err, err);
    EXPECT_FALSE(s.exists("out.bin"));
  }
}

TEST(NothingToDo, MissingOrEmptyInputIsAnError) {
  Scratch s;
  s.write("empty.txt", "");
  const std::vector<std::pair<Args, Bytes>> cases = {
      {{"440", "nosuch", "-f", "-j", "out.bin"}, "nosuch.000:input file not found\n"},
      {{"440", "nosuch", "-jd", "out.bin"}, "nosuch.000:input file not found\n"},
      {{"440", "nosuch", "-j", "out.bin"}, "nosuch:input file not found\n"},
      {{"440", "empty.txt", "-j", "out.bin"}, "Error: no element found in empty.txt\n"},
      {{"440", "empty.txt", "-sd", "out.bin"}, "Error: no element found in empty.txt\n"},
  };
  for (const auto& [args, err] : cases) {
    RunResult r = s.dataport(args);
    EXPECT_EQ(r.status, 1) << args[1] << " " << args[2];
    EXPECT_EQ(r.err, err);
    EXPECT_FALSE(s.exists("out.bin"));
    EXPECT_FALSE(s.exists("out.bin.000"));
  }
}

TEST(NothingToDo, DFileSplitWithNoElementInRangeSaysSo) {
  Scratch s;
  s.write("in.txt", dfile({"A", "BB"}));
  RunResult r = s.dataport({"4", "in.txt", "-sd", "part", "-min", "100"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "no element lies in range\n");
  EXPECT_FALSE(s.exists("part.000"));
}

TEST(SeparatorHint, LfSeparatorsAreNamedByEveryModeThatScansADFile) {
  Scratch s;
  writeInputs(s);
  s.write("lf.txt", "Hello\n******xEnDx******\nSword\n******xEnDx******\n");
  const Bytes hint = "lf.txt: its separators end in LF, not CR LF; give the separator with -d or -df\n";
  const std::vector<std::pair<Args, Bytes>> cases = {
      {{"440", "lf.txt", "-j", "out.bin"}, "Error: no element found in lf.txt\n" + hint},
      {{"4", "lf.txt", "-sd", "out.bin"}, "Error: no element found in lf.txt\n" + hint},
      {{"4440", "lf.txt", "-i", "data.bin", "out.bin"},
       "Error: no edited element found in lf.txt\n" + hint},
  };
  for (const auto& [args, err] : cases) {
    RunResult r = s.dataport(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err);
  }
  // Given as the separator, the LF form splits the file.
  RunResult r = s.dataport({"4", "lf.txt", "-sd", "part", "-d", "\n******xEnDx******\n", "-ds", "19"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(s.read("part.001"), "Sword");
}

TEST(TableNotice, BytesWithoutEntryAreCountedRightToLeftOnly) {
  Scratch s;
  s.write("t.tbl", "A=<a>\r\nB=<b>\r\n");
  s.write("in.txt", dfile({"<a>x<b>", "yz"}));
  RunResult r = s.dataport({"440", "in.txt", "-j", "out.bin", "-t", "t.tbl"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "3 bytes had no table entry\n");
  EXPECT_EQ(s.read("out.bin").substr(16), "AxByz");
  // Split converts left to right: no notice.
  r = s.dataport({"440", "out.bin", "back.txt", "-t", "t.tbl"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(s.read("back.txt"), s.read("in.txt"));
  // "-tr" turns DFile join right to left as well.
  s.write("p.000", "<a>q");
  r = s.dataport({"4", "p", "-jd", "j.txt", "-t", "t.tbl", "-tr"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "1 bytes had no table entry\n");
}

/// Runs dataport with every file it writes limited to 4096 bytes; a write
/// beyond fails with "File too large" (the signal of that limit ignored).
RunResult withFileLimit(const Scratch& s, const Args& args) {
  return s.dataportVia({"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\""}, args);
}

/// A data file of htype 4440 with elements of 100, 5000 and 6000 bytes.
Bytes bigElements() {
  return dataFile("", "", {{Bytes(100, 'a'), ""}, {Bytes(5000, 'b'), ""}, {Bytes(6000, 'c'), ""}});
}

TEST(FailedWrites, SplitIntoNumberedFilesNamesEveryIncompleteFileOnce) {
  Scratch s;
  s.write("data.bin", bigElements());
  RunResult r = withFileLimit(s, {"4440", "data.bin", "-f", "part"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "part.001:error writing file: File too large\n"
            "part.002:error writing file: File too large\n");
  EXPECT_EQ(s.read("part.000"), Bytes(100, 'a'));
}

TEST(FailedWrites, SplitIntoOneFileNamesItWithTheReason) {
  Scratch s;
  s.write("data.bin", bigElements());
  RunResult r = withFileLimit(s, {"4440", "data.bin", "out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "out.txt:error writing file: File too large\n");
  r = s.dataport({"4440", "data.bin", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "/dev/full:error writing file: No space left on device\nError: coping data\n");
}

TEST(FailedWrites, ReadOnlyFolderNamesTheFirstOutput) {
  if (!canChangeUser()) GTEST_SKIP() << "running as root without setpriv to drop privileges";
  Scratch s;
  s.write("data.bin", bigElements());
  // Read-only for its owner too, when the tests do not run as root.
  fs::permissions(s.dir(), fs::perms::owner_read | fs::perms::owner_exec |
                               fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  RunResult r = asNobody(s, {"4440", "data.bin", "out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "out.txt:error writing file: Permission denied\n");
  r = asNobody(s, {"4440", "data.bin", "-f", "part"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "part.000:error writing file: Permission denied\nError: coping data\n");
  EXPECT_FALSE(s.exists("part.000"));
  fs::permissions(s.dir(), fs::perms::owner_all, fs::perm_options::add);
}

}  // namespace
