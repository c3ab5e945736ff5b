#include "dataport/usage.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "dataport/options.h"
#include "tools_version.h"

namespace dataport {

Request requestOf(int argc, const char* const* argv) {
  if (argc <= 1) return Request::kHelp;
  // Only the first occurrence of an option word takes a value; a repeated
  // one is a positional word (as the option store hands them out).
  std::vector<std::string_view> seen;
  bool isValue = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view word = argv[i];
    if (isValue) {
      isValue = false;
      continue;
    }
    if (word == "--help" || word == "-?") return Request::kHelp;
    if (word == "--version") return Request::kVersion;
    if (takesValue(word) && std::find(seen.begin(), seen.end(), word) == seen.end()) {
      seen.push_back(word);
      isValue = true;
    }
  }
  return Request::kJob;
}

const char kUsage[] =
    "dataport - split a binary data file by its header and put it back together\n"
    "\n"
    "Usage: dataport [options] HTYPE INPUT [OUTPUT] [HEADER_OUTPUT]\n"
    "       dataport --help | -? | --version\n"
    "\n"
    "  HTYPE          the header layout (see below); needed in every mode\n"
    "  INPUT          the data file (split), a DFile, or the base name of numbered\n"
    "                 files (import, join, DFile split and join)\n"
    "  OUTPUT         the output file (default output.out)\n"
    "  HEADER_OUTPUT  the new header when it has a file of its own (-h;\n"
    "                 default output.hdr)\n"
    "\n"
    "Modes (the last of -s, -sd, -j, -jd, -i in this order wins):\n"
    "  -s        split (default): the elements of the data file into a DFile,\n"
    "            or with -f into numbered files\n"
    "  -i FILE   import: the edited elements of INPUT into a copy of the old\n"
    "            data file FILE, the header rewritten\n"
    "  -j        join: a new data file with a fresh header from INPUT's elements\n"
    "  -sd       DFile split: cut a DFile at its separators into numbered files\n"
    "  -jd       DFile join: numbered files into one DFile\n"
    "\n"
    "Options (a value is always the next word; numbers as in C: 0x1F, 017, 31):\n"
    "  -a        append to OUTPUT instead of replacing it\n"
    "  -f        one file per element: NAME.000, NAME.001, ...\n"
    "  -rd       skip a header record whose position is already listed\n"
    "  -t FILE   convert element bytes through the TBL character table FILE\n"
    "  -tx FILE  convert through the hex-key table FILE (not together with -t)\n"
    "  -tr       convert through the table (-t, -tx) in the other direction\n"
    "  -ind      import: drop the bytes between the old elements\n"
    "  -c        cut the input's trailing fill bytes first (into tmpqzpm.qwe)\n"
    "  -cl N     as -c, keeping up to N fill bytes\n"
    "  -cb       trim the trailing fill bytes of every element\n"
    "  -cbl N    trim every element's trailing fill bytes, keeping up to N\n"
    "  -eb N     pad every element to exactly N bytes\n"
    "  -ebm N    pad every element to the next multiple of N bytes\n"
    "  -eba N    append N fill bytes after every element\n"
    "  -e N      pad the joined or imported output to exactly N bytes\n"
    "  -em N     pad the output to the next multiple of N bytes\n"
    "  -ef C     the fill byte, one character (default: the NUL byte)\n"
    "  -h FILE   the header lies in the file FILE (the HFILE)\n"
    "  -hb N     the header starts at offset N of its file (default 0)\n"
    "  -hc N     read N header records\n"
    "  -hmax N   read no header record beyond offset N of the HFILE\n"
    "  -hp OFF:W   the header offset is the W-byte field at OFF of the data file\n"
    "  -hcp OFF:W  the record count is the W-byte field at OFF of the data file\n"
    "  -be       header fields are big-endian\n"
    "  -pu N     positions are stored in units of N bytes\n"
    "  -su N     sizes are stored in units of N bytes\n"
    "  -b N      position base: added to positions read from a header\n"
    "  -sa N     added to sizes read from a header\n"
    "  -min N    the lowest element position to work on (inclusive)\n"
    "  -max N    the highest element position (exclusive; default: input size)\n"
    "  -d TEXT   the separator bytes (default: CR LF ******xEnDx****** CR LF)\n"
    "  -df FILE  the separator is the whole content of FILE\n"
    "  -ds N     the separator is its first N bytes\n"
    "  -dd       the separator belongs to the element data\n"
    "  -p N      accepted and ignored\n"
    "  -q        quiet: no progress, listing or trace lines on standard output\n"
    "  --help, -?  this text\n"
    "  --version   the program's version\n"
    "\n"
    "HTYPE: one base-36 digit (0-9, A-Z) per header field, by word length:\n"
    "  1: psize          2: psize pskip          3: psize ssize sskip\n"
    "  4: csize psize ssize sskip      5: csize psize pskip ssize sskip\n"
    "  6: csize cskip psize pskip ssize sskip    8: as 6, then gcount gskip\n"
    "  12, 16: the fields of 6 and 8 with two digits each\n"
    "  csize: width of the record count (0-4, 0: none); psize, ssize: width of a\n"
    "  record's position and size (0-8); each skip: bytes after its field;\n"
    "  gcount: records per group, gskip: bytes after each group. Fields are\n"
    "  little-endian. 4440: a 4-byte count, then a 4-byte position and a 4-byte\n"
    "  size per record.\n"
    "\n"
    "Examples:\n"
    "  dataport 4440 game.dat -t game.tbl game.txt\n"
    "      split game.dat into the DFile game.txt, converting through game.tbl\n"
    "  dataport 4440 game.txt -i game.dat -t game.tbl new.dat\n"
    "      import the edited game.txt: new.dat is game.dat with its texts replaced\n"
    "  dataport 440 parts -f -j new.dat\n"
    "      join parts.000, parts.001, ... into new.dat with a fresh header\n"
    "\n"
    "Exit status: 0 on success, 1 after an error (the message is on standard\n"
    "error). See dataport(1).\n";

std::string versionLine() { return std::string("dataport ") + TOOLS_VERSION + "\n"; }

}  // namespace dataport
