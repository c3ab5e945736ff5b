#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dataport/io/console.h"
#include "dataport/job.h"
#include "dataport/option_store.h"
#include "dataport/table/tbs_table.h"
#include "dataport/test_support.h"

namespace dataport {
namespace {

namespace fs = std::filesystem;
using namespace testsupport;

/// Each test parses inside a fresh working folder holding "in.bin" (5000
/// bytes), so that default names such as "output.out" land there.
class ParseTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile("in.bin", std::string(5000, 'd')); }

  /// Parses dataport's command line made of `words`; null when it failed,
  /// with the message in `error`.
  std::unique_ptr<Job> parse(std::vector<std::string> words) {
    words.insert(words.begin(), "dataport");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    std::unique_ptr<Job> job;
    error =
        failureOf([&] { job = std::make_unique<Job>(static_cast<int>(argv.size()), argv.data()); });
    return job;
  }

  /// The message of a command line that must fail.
  std::string failure(const std::vector<std::string>& words) {
    auto job = parse(words);
    EXPECT_EQ(job, nullptr) << "parsed without error";
    return error;
  }

  WorkDir dir;
  std::string error;
};

TEST_F(ParseTest, EveryValueOptionReportsAMissingOrBadValue) {
  struct Row {
    const char* word;
    const char* message;
    const char* bad;  // a value its getter refuses; nullptr for text values
  };
  const Row rows[] = {
      {"-i", "-i:error parse(input file)\n", nullptr},
      {"-t", "-t:error parse\n", nullptr},
      {"-h", "-h:error parse\n", nullptr},
      {"-p", "-p:error parse\n", "1x"},
      {"-e", "-e:error parse\n", "zz"},
      {"-em", "-em:error parse\n", "08"},
      {"-eba", "-eba:error parse\n", "0x"},
      {"-eb", "-eb:error parse\n", "12 "},
      {"-ebm", "-ebm:error parse\n", "1.0"},
      {"-cbl", "-cbl:error parse\n", "-"},
      {"-cl", "-cl:error parse\n", "0b1"},
      {"-ef", "-ef:error parse\n", "ab"},
      {"-min", "-min:error parse\n", "1e3"},
      {"-max", "-max:error parse\n", "x"},
      {"-b", "-b:error parse\n", "ten"},
      {"-hb", "-hb:error parse\n", "9a"},
      {"-hmax", "-hmax:error parse\n", "--1"},
      {"-hc", "-hc:error parse\n", "+-1"},
      {"-sa", "-sa:error parse\n", " "},
      {"-d", "-d:error parse\n", nullptr},
      {"-df", "-df:error parse\n", nullptr},
      {"-ds", "-ds:error parse\n", "4k"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(failure({"440", "in.bin", r.word}), r.message) << r.word << " as last word";
    if (r.bad != nullptr) {
      EXPECT_EQ(failure({r.word, r.bad, "440", "in.bin"}), r.message) << r.word << " " << r.bad;
    }
  }
}

TEST_F(ParseTest, FirstFailingRowInTableOrderWinsOverLineOrder) {
  // "-b" stands first on the line, but "-t" comes earlier in the table.
  EXPECT_EQ(failure({"-b", "zz", "440", "in.bin", "-t"}), "-t:error parse\n");
  EXPECT_EQ(failure({"-ds", "q", "-ef", "qq", "440", "in.bin"}), "-ef:error parse\n");
  EXPECT_EQ(failure({"-b", "zz", "-t", "x.tbl", "-h", "-x", "-i"}),
            "-i:error parse(input file)\n");
}

TEST_F(ParseTest, ChecksComeInTheirOrder) {
  // Option values before the separator file before the positional words.
  EXPECT_EQ(failure({"-df", "nosep", "-ds", "z"}), "dfile: error checking size of dfile\n");
  EXPECT_EQ(failure({"-df", "nosep"}), "dfile: error checking size of dfile\n");
  EXPECT_EQ(failure({"-ds", "z"}), "-ds:error parse\n");
  EXPECT_EQ(failure({}), "htype:error parse\n");
  EXPECT_EQ(failure({"0"}), "input:error parse\n");
  // The htype word before the input check, the input check before the table.
  EXPECT_EQ(failure({"0", "missing.bin", "-t", "missing.tbl"}), "error reading htype\n");
  EXPECT_EQ(failure({"1234567", "missing.bin"}), "error reading htype(not knowen type)\n");
  EXPECT_EQ(failure({"440", "missing.bin", "-t", "missing.tbl"}),
            "missing.bin:input file not found\n");
  EXPECT_EQ(failure({"440", "in.bin", "-t", "missing.tbl"}),
            "missing.tbl:tbs table file error initialization\n");
}

TEST_F(ParseTest, InputThatIsAFolderCannotBeRead) {
  fs::create_directory("sub");
  EXPECT_EQ(failure({"440", "sub"}), "sub:cannot read file: Is a directory\n");
}

TEST_F(ParseTest, InputCheckSkippedForDFileJoinAndNumberedFiles) {
  auto jd = parse({"-jd", "440", "parts"});
  ASSERT_NE(jd, nullptr) << error;
  EXPECT_EQ(jd->mode, kJoinDFile);
  EXPECT_EQ(jd->pmax, kNoUpperBound);
  auto f = parse({"-f", "-j", "440", "parts"});
  ASSERT_NE(f, nullptr) << error;
  EXPECT_TRUE(f->perfile);
  EXPECT_EQ(f->pmax, kNoUpperBound);
}

TEST_F(ParseTest, DefaultsAfterTheTwoRequiredWords) {
  auto job = parse({"440", "in.bin"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_EQ(job->mode, kSplit);
  EXPECT_EQ(job->iname, "in.bin");
  EXPECT_EQ(job->oname, "output.out");
  EXPECT_EQ(job->hdrname, "output.hdr");
  EXPECT_EQ(job->pmax, 5000);  // the input's size
  EXPECT_EQ(job->pmin, 0);
  EXPECT_EQ(job->omode, "wb");
  EXPECT_EQ(job->ostart, 0);
  EXPECT_FALSE(job->tblname);
  EXPECT_EQ(job->sep, std::vector<std::uint8_t>(kDefaultSeparator, kDefaultSeparator + 21));
  EXPECT_EQ(job->seplen, 21u);
  EXPECT_EQ(job->htype.psize, 4);
  EXPECT_EQ(job->htype.ssize, 4);
  EXPECT_EQ(job->htype.esize, 8);
}

TEST_F(ParseTest, PositionalWordsInOrder) {
  auto job = parse({"-s", "440", "in.bin", "out.dat", "hdr.dat"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_EQ(job->oname, "out.dat");
  EXPECT_EQ(job->hdrname, "hdr.dat");
}

TEST_F(ParseTest, LaterModeRowWinsWhereverTheWordsStand) {
  struct Case {
    std::vector<std::string> words;
    std::uint32_t mode;
  };
  const Case cases[] = {
      {{"-j", "-s", "440", "in.bin"}, kJoin},
      {{"-s", "-sd", "440", "in.bin"}, kSplitDFile},
      {{"-jd", "-j", "440", "in.bin"}, kJoinDFile},
      {{"-i", "old.bin", "-jd", "440", "in.bin"}, kImport},
      {{"440", "in.bin", "-sd"}, kSplitDFile},
  };
  for (const auto& c : cases) {
    auto job = parse(c.words);
    ASSERT_NE(job, nullptr) << error;
    EXPECT_EQ(job->mode, c.mode) << c.words[0];
  }
}

TEST_F(ParseTest, ImportFileIsTheWordAfterDashIEvenAnotherOption) {
  auto job = parse({"-i", "-s", "440", "in.bin"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_EQ(job->mode, kImport);
  EXPECT_EQ(job->ifile, "-s");
}

TEST_F(ParseTest, ImportKeepsTheUpperBoundOpenForTheImportFile) {
  auto job = parse({"-i", "old.bin", "440", "in.bin"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_EQ(job->pmax, kNoUpperBound);
  auto capped = parse({"-i", "old.bin", "-max", "64", "440", "in.bin"});
  ASSERT_NE(capped, nullptr) << error;
  EXPECT_EQ(capped->pmax, 64);
}

TEST_F(ParseTest, NumberValuesFollowTheirConversion) {
  auto job = parse({"-b", "0x10", "-hb", "010", "-min", "-1", "-max", "4294967295", "-hmax",
                    "7", "-hc", "-1", "-sa", "-1", "-eba", "0xFFFFFFFF", "440", "in.bin"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_EQ(job->pbase, 16);
  EXPECT_EQ(job->hbase, 8);
  EXPECT_EQ(job->pmin, -1);
  EXPECT_EQ(job->pmax, 4294967295);
  EXPECT_EQ(job->hmax, 7);
  EXPECT_EQ(job->hcount, 4294967295u);
  EXPECT_EQ(job->shift, -1);  // the low 32 bits of -1
  EXPECT_EQ(job->blockadd, 0xFFFFFFFFu);
}

TEST_F(ParseTest, PositionsTakeEvery64BitValue) {
  struct Row {
    const char* word;
    std::int64_t Job::*field;
  };
  const Row rows[] = {{"-b", &Job::pbase},  {"-hb", &Job::hbase},   {"-min", &Job::pmin},
                      {"-max", &Job::pmax}, {"-hmax", &Job::hmax},  {"-e", &Job::exsize},
                      {"-em", &Job::exsize}};
  for (const Row& r : rows) {
    for (const char* value : {"0x80000000", "-2147483649", "9223372036854775806",
                              "-9223372036854775808", "-1"}) {
      auto job = parse({r.word, value, "440", "in.bin"});
      ASSERT_NE(job, nullptr) << r.word << " " << value << ": " << error;
      std::int64_t want = 0;
      ASSERT_TRUE(parseNumber(value, want));
      EXPECT_EQ((*job).*r.field, want) << r.word << " " << value;
    }
    EXPECT_EQ(failure({r.word, "9223372036854775808", "440", "in.bin"}),
              std::string(r.word) + ":error parse\n");
  }
}

TEST_F(ParseTest, ThirtyTwoBitFieldsRefuseValuesBeyondTheirRange) {
  for (const char* word : {"-p", "-eba", "-eb", "-ebm", "-cbl", "-cl", "-hc", "-sa", "-ds"}) {
    const std::string message = std::string(word) + ":error parse\n";
    for (const char* value : {"4294967296", "-2147483649", "99999999999", "0x100000000"}) {
      EXPECT_EQ(failure({word, value, "440", "in.bin"}), message) << value;
    }
    for (const char* value : {"4294967295", "-2147483648", "0xFFFFFFFF", "-1"}) {
      EXPECT_NE(parse({word, value, "440", "in.bin"}), nullptr) << word << " " << value;
    }
  }
  auto job = parse({"-sa", "4294967295", "-ds", "-1", "-ebm", "-2147483648", "440", "in.bin"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_EQ(job->shift, -1);
  EXPECT_EQ(job->seplen, 21u) << "-1 as a length: all there is, clamped to the separator";
  EXPECT_EQ(job->block, 0x80000000u);
}

TEST_F(ParseTest, SwitchesSetTheirFields) {
  auto job = parse({"-a", "-rd", "-f", "-tr", "-ind", "-c", "-cb", "-dd", "-ef", "x", "-p", "5",
                    "440", "in.bin"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_TRUE(job->append);
  EXPECT_TRUE(job->nodups);
  EXPECT_TRUE(job->perfile);
  EXPECT_EQ(job->tblreverse, 1u);
  EXPECT_FALSE(job->useindex);
  EXPECT_EQ(job->cutkind, 16u);
  EXPECT_EQ(job->blockkind, 16u);
  EXPECT_TRUE(job->sepindata);
  EXPECT_EQ(job->fill, 'x');
}

TEST_F(ParseTest, QuietSilencesStandardOutputUntilTheNextParse) {
  for (bool quiet : {true, false}) {
    Trace trace;
    auto job = quiet ? parse({"440", "-q", "in.bin"}) : parse({"440", "in.bin"});
    ASSERT_NE(job, nullptr) << error;
    EXPECT_EQ(job->quiet, quiet);
    io::out("a trace line\n");
    io::outText("a text\n");
    EXPECT_EQ(trace.text(), quiet ? "" : "a trace line\na text\n");
  }
}

TEST_F(ParseTest, LaterSizeRowsWin) {
  auto e = parse({"-em", "16", "-e", "100", "440", "in.bin"});
  ASSERT_NE(e, nullptr) << error;
  EXPECT_EQ(e->exkind, 2u);
  EXPECT_EQ(e->exsize, 16);
  auto e1 = parse({"-e", "100", "440", "in.bin"});
  ASSERT_NE(e1, nullptr) << error;
  EXPECT_EQ(e1->exkind, 1u);
  EXPECT_EQ(e1->exsize, 100);
  for (auto words : {std::vector<std::string>{"-eb", "512", "-cbl", "4", "440", "in.bin"},
                     std::vector<std::string>{"-cbl", "4", "-eb", "512", "440", "in.bin"}}) {
    auto b = parse(words);
    ASSERT_NE(b, nullptr) << error;
    EXPECT_EQ(b->blockkind, 32u);
    EXPECT_EQ(b->block, 4u);
  }
  auto cb = parse({"-eb", "7", "-cb", "440", "in.bin"});
  ASSERT_NE(cb, nullptr) << error;
  EXPECT_EQ(cb->blockkind, 1u);
  EXPECT_EQ(cb->block, 7u);
  auto cl = parse({"-cl", "9", "-c", "440", "in.bin"});
  ASSERT_NE(cl, nullptr) << error;
  EXPECT_EQ(cl->cutkind, 32u);
  EXPECT_EQ(cl->cutlimit, 9u);
}

TEST_F(ParseTest, StrayWordsAreRefusedFirstOnTheLineFirst) {
  struct Case {
    std::vector<std::string> words;
    const char* message;
  };
  const Case cases[] = {
      {{"440", "in.bin", "-x"}, "-x:unknown option\n"},
      {{"-x", "440", "in.bin"}, "-x:unknown option\n"},
      {{"440", "in.bin", "--verbose"}, "--verbose:unknown option\n"},
      {{"440", "in.bin", "-hbase", "4"}, "-hbase:unknown option\n"},
      {{"440", "in.bin", "--"}, "--:unknown option\n"},
      {{"440", "in.bin", "-a", "-a"}, "-a:option given twice\n"},
      {{"-t", "a.tbl", "440", "in.bin", "-t", "b.tbl"}, "-t:option given twice\n"},
      {{"440", "in.bin", "o", "h", "five"}, "five:too many file names\n"},
      // The first stray word on the line is named.
      {{"440", "in.bin", "-y", "-x"}, "-y:unknown option\n"},
      {{"440", "in.bin", "-a", "-z", "-a"}, "-z:unknown option\n"},
      {{"440", "in.bin", "o", "h", "five", "-x"}, "five:too many file names\n"},
      // Before every other check: bad values, the htype, the input file.
      {{"-b", "zz", "440", "in.bin", "-x"}, "-x:unknown option\n"},
      {{"0", "missing.bin", "-x"}, "-x:unknown option\n"},
      {{"-x"}, "-x:unknown option\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(failure(c.words), c.message) << c.words.back();
  }
}

TEST_F(ParseTest, ValuesAreTakenAsTheyStand) {
  writeFile("-x", "");
  auto job = parse({"-hb", "-1", "-b", "-1", "-d", "-x-", "-i", "-x", "440", "./-x", "-1"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_EQ(job->hbase, -1);
  EXPECT_EQ(job->pbase, -1);
  EXPECT_EQ(job->sep, std::vector<std::uint8_t>({'-', 'x', '-'}));
  EXPECT_EQ(job->ifile, "-x");
  EXPECT_EQ(job->iname, "./-x");
  EXPECT_EQ(job->oname, "-1") << "a negative number is no option word";
  // A value that does not convert is a bad value of its option, not a stray word.
  EXPECT_EQ(failure({"-b", "-x", "440", "in.bin"}), "-b:error parse\n");
}

TEST_F(ParseTest, AppendStartsAtTheOutputsSize) {
  writeFile("out.dat", std::string(300, 'o'));
  auto named = parse({"-a", "440", "in.bin", "out.dat"});
  ASSERT_NE(named, nullptr) << error;
  EXPECT_EQ(named->omode, "ab");
  EXPECT_EQ(named->ostart, 300);

  auto missing = parse({"-a", "440", "in.bin"});  // measures output.out, absent
  ASSERT_NE(missing, nullptr) << error;
  EXPECT_EQ(missing->omode, "ab");
  EXPECT_EQ(missing->ostart, 0);

  writeFile("output.out", std::string(12, 'o'));
  auto dflt = parse({"-a", "440", "in.bin"});
  ASSERT_NE(dflt, nullptr) << error;
  EXPECT_EQ(dflt->ostart, 12);
}

TEST_F(ParseTest, SeparatorFromWordKeepsSeplenClampedToItsBytes) {
  auto job = parse({"-d", "XYZ", "440", "in.bin"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_EQ(job->sep, (std::vector<std::uint8_t>{'X', 'Y', 'Z'}));
  EXPECT_EQ(job->seplen, 3u);
  auto shorter = parse({"-d", "XYZ", "-ds", "2", "440", "in.bin"});
  ASSERT_NE(shorter, nullptr) << error;
  EXPECT_EQ(shorter->seplen, 2u);
  auto big = parse({"-ds", "100", "440", "in.bin"});
  ASSERT_NE(big, nullptr) << error;
  EXPECT_EQ(big->seplen, 21u);
  auto empty = parse({"-d", "", "440", "in.bin"});
  ASSERT_NE(empty, nullptr) << error;
  EXPECT_EQ(empty->seplen, 0u);
}

TEST_F(ParseTest, SeparatorFileGivesItsBytesAndSize) {
  writeFile("sep.txt", std::string("<>\0|", 4));
  auto job = parse({"-df", "sep.txt", "440", "in.bin"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_EQ(job->sepfile, "sep.txt");
  EXPECT_EQ(job->sep, (std::vector<std::uint8_t>{'<', '>', 0, '|'}));
  EXPECT_EQ(job->seplen, 4u);

  auto two = parse({"-df", "sep.txt", "-ds", "2", "440", "in.bin"});
  ASSERT_NE(two, nullptr) << error;
  EXPECT_EQ(two->seplen, 2u);

  auto beyond = parse({"-ds", "9", "-df", "sep.txt", "440", "in.bin"});
  ASSERT_NE(beyond, nullptr) << error;
  EXPECT_EQ(beyond->seplen, 4u);  // the whole file

  auto overD = parse({"-d", "XYZ", "-df", "sep.txt", "440", "in.bin"});
  ASSERT_NE(overD, nullptr) << error;
  EXPECT_EQ(overD->sep, (std::vector<std::uint8_t>{'<', '>', 0, '|'}));
}

TEST_F(ParseTest, EmptySeparatorFileMakesTheSeparatorEmpty) {
  writeFile("empty.txt", "");
  auto job = parse({"-d", "XYZ", "-df", "empty.txt", "440", "in.bin"});
  ASSERT_NE(job, nullptr) << error;
  EXPECT_EQ(job->seplen, 0u);
  EXPECT_EQ(job->sep, (std::vector<std::uint8_t>{'X', 'Y', 'Z'}));
  auto sized = parse({"-df", "empty.txt", "-ds", "3", "440", "in.bin"});
  ASSERT_NE(sized, nullptr) << error;
  EXPECT_EQ(sized->seplen, 3u);  // "-ds" after the file: the default bytes again
}

TEST_F(ParseTest, SeparatorFileThatIsAFolderCannotBeRead) {
  fs::create_directory("sepdir");
  EXPECT_EQ(failure({"-df", "sepdir", "440", "in.bin"}),
            "sepdir:cannot read file: Is a directory\n");
}

TEST_F(ParseTest, SeparatorFileShorterThanItsMeasuredSizeIsRefused) {
  // Kernel attribute files measure 4096 bytes and read far fewer.
  const char* name = "/sys/kernel/uevent_seqnum";
  std::error_code ec;
  if (!fs::is_regular_file(name, ec) || fs::file_size(name, ec) != 4096) {
    GTEST_SKIP() << "no kernel attribute file";
  }
  EXPECT_EQ(failure({"-df", name, "440", "in.bin"}), "dfile: error reading dfile\n");
}

TEST_F(ParseTest, TableIsLoadedWhileParsingAndReleasedWithTheJob) {
  writeFile("a.tbl", "41=B\r\nC=D\r\n");
  {
    auto job = parse({"-t", "a.tbl", "440", "in.bin"});
    ASSERT_NE(job, nullptr) << error;
    EXPECT_EQ(job->tblname, "a.tbl");
    EXPECT_TRUE(table::tbsTable().loaded());
    EXPECT_EQ(table::tbsTable().entryCount(), 2);
  }
  EXPECT_FALSE(table::tbsTable().loaded());
}

}  // namespace
}  // namespace dataport
