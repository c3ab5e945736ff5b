// The command line of dataport: every option word is looked up once, in the
// fixed order of the table below, the words that no option took are checked
// (no unknown or repeated option word, at most four file names), then the
// option values are used, the positional words taken, and the settings are
// completed (htype, upper bound, input check, append, character table). The
// first problem ends parsing with its message.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "dataport/failure.h"
#include "dataport/io/console.h"
#include "dataport/io/failure_text.h"
#include "dataport/io/file_helpers.h"
#include "dataport/job.h"
#include "dataport/option_store.h"
#include "dataport/options.h"
#include "dataport/table/hex_table.h"
#include "dataport/table/tbs_table.h"

namespace dataport {

namespace {

enum class ValueKind { kNone, kNumber, kUnsigned, kCharacter, kText };

/// The value of one option word, filled by the getter of the row's kind.
struct OptionValue {
  std::int64_t number = 0;
  std::uint32_t unsig = 0;
  char character = 0;
  std::string text;
};

/// A unit of "-pu" or "-su": 1 to 2^31 - 1 bytes; anything else is refused
/// with the option's parse message.
std::int64_t unit(const OptionValue& v, const char* message) {
  if (v.number < 1 || v.number > INT32_MAX) throw Failure(message);
  return v.number;
}

/// The "OFF:W" of "-hp" or "-hcp"; anything else is refused with the
/// option's parse message.
FileField field(const OptionValue& v, const char* message) {
  FileField f;
  if (!parseFileField(v.text, f)) throw Failure(message);
  return f;
}

struct OptionRow {
  const char* word;
  ValueKind kind;
  void (*apply)(Job& job, const OptionValue& v);
  const char* message;  ///< thrown when the value is missing or does not convert
};

using K = ValueKind;
using V = OptionValue;

// Looked up in this order, wherever the words stand on the line. The order
// decides between options that set the same field: the later row wins.
const OptionRow kOptionRows[] = {
    {"-s", K::kNone, [](Job& j, const V&) { j.mode = kSplit; }, nullptr},
    {"-sd", K::kNone, [](Job& j, const V&) { j.mode = kSplitDFile; }, nullptr},
    {"-j", K::kNone, [](Job& j, const V&) { j.mode = kJoin; }, nullptr},
    {"-jd", K::kNone, [](Job& j, const V&) { j.mode = kJoinDFile; }, nullptr},
    {"-i", K::kText, [](Job& j, const V& v) { j.ifile = v.text; j.mode = kImport; },
     "-i:error parse(input file)\n"},
    {"-a", K::kNone, [](Job& j, const V&) { j.append = true; }, nullptr},
    {"-rd", K::kNone, [](Job& j, const V&) { j.nodups = true; }, nullptr},
    {"-f", K::kNone, [](Job& j, const V&) { j.perfile = true; }, nullptr},
    {"-tr", K::kNone, [](Job& j, const V&) { j.tblreverse = 1; }, nullptr},
    {"-ind", K::kNone, [](Job& j, const V&) { j.useindex = false; }, nullptr},
    {"-c", K::kNone, [](Job& j, const V&) { j.cutkind = 16; }, nullptr},
    {"-cb", K::kNone, [](Job& j, const V&) { j.blockkind = 16; }, nullptr},
    {"-t", K::kText, [](Job& j, const V& v) { j.tblname = v.text; }, "-t:error parse\n"},
    {"-h", K::kText, [](Job& j, const V& v) { j.hname = v.text; }, "-h:error parse\n"},
    // "-p" is read and checked, and then has no effect.
    {"-p", K::kUnsigned, [](Job&, const V&) {}, "-p:error parse\n"},
    {"-e", K::kNumber, [](Job& j, const V& v) { j.exsize = v.number; j.exkind = 1; },
     "-e:error parse\n"},
    {"-em", K::kNumber, [](Job& j, const V& v) { j.exsize = v.number; j.exkind = 2; },
     "-em:error parse\n"},
    {"-eba", K::kUnsigned, [](Job& j, const V& v) { j.blockadd = v.unsig; },
     "-eba:error parse\n"},
    {"-eb", K::kUnsigned, [](Job& j, const V& v) { j.block = v.unsig; j.blockkind = 1; },
     "-eb:error parse\n"},
    {"-ebm", K::kUnsigned, [](Job& j, const V& v) { j.block = v.unsig; j.blockkind = 2; },
     "-ebm:error parse\n"},
    {"-cbl", K::kUnsigned, [](Job& j, const V& v) { j.block = v.unsig; j.blockkind = 32; },
     "-cbl:error parse\n"},
    {"-cl", K::kUnsigned, [](Job& j, const V& v) { j.cutlimit = v.unsig; j.cutkind = 32; },
     "-cl:error parse\n"},
    {"-ef", K::kCharacter,
     [](Job& j, const V& v) { j.fill = static_cast<std::uint8_t>(v.character); },
     "-ef:error parse\n"},
    {"-min", K::kNumber, [](Job& j, const V& v) { j.pmin = v.number; }, "-min:error parse\n"},
    {"-max", K::kNumber, [](Job& j, const V& v) { j.pmax = v.number; }, "-max:error parse\n"},
    {"-b", K::kNumber, [](Job& j, const V& v) { j.pbase = v.number; }, "-b:error parse\n"},
    {"-hb", K::kNumber, [](Job& j, const V& v) { j.hbase = v.number; }, "-hb:error parse\n"},
    {"-hmax", K::kNumber, [](Job& j, const V& v) { j.hmax = v.number; }, "-hmax:error parse\n"},
    {"-hc", K::kUnsigned, [](Job& j, const V& v) { j.hcount = v.unsig; }, "-hc:error parse\n"},
    // The shift is signed but read as an unsigned word: its low 32 bits.
    {"-sa", K::kUnsigned, [](Job& j, const V& v) { j.shift = static_cast<std::int32_t>(v.unsig); },
     "-sa:error parse\n"},
    {"-dd", K::kNone, [](Job& j, const V&) { j.sepindata = true; }, nullptr},
    // "-d" sets only where the separator bytes come from; seplen stays.
    {"-d", K::kText, [](Job& j, const V& v) { j.sep.assign(v.text.begin(), v.text.end()); },
     "-d:error parse\n"},
    {"-df", K::kText, [](Job& j, const V& v) { j.sepfile = v.text; }, "-df:error parse\n"},
    {"-ds", K::kUnsigned, [](Job& j, const V& v) { j.seplen = v.unsig; }, "-ds:error parse\n"},
    {"-tx", K::kText, [](Job& j, const V& v) { j.txname = v.text; }, "-tx:error parse\n"},
    {"-hp", K::kText, [](Job& j, const V& v) { j.hpfield = field(v, "-hp:error parse\n"); },
     "-hp:error parse\n"},
    {"-hcp", K::kText, [](Job& j, const V& v) { j.hcpfield = field(v, "-hcp:error parse\n"); },
     "-hcp:error parse\n"},
    {"-be", K::kNone, [](Job& j, const V&) { j.fields.bigEndian = true; }, nullptr},
    {"-pu", K::kNumber, [](Job& j, const V& v) { j.fields.posUnit = unit(v, "-pu:error parse\n"); },
     "-pu:error parse\n"},
    {"-su", K::kNumber, [](Job& j, const V& v) { j.fields.sizeUnit = unit(v, "-su:error parse\n"); },
     "-su:error parse\n"},
    {"-q", K::kNone, [](Job& j, const V&) { j.quiet = true; }, nullptr},
};

/// Reads the value of the option just found, from the word after it.
bool getValue(OptionStore& opts, ValueKind kind, OptionValue& v) {
  switch (kind) {
    case K::kNone: return true;
    case K::kNumber: return opts.getInt(v.number, false);
    case K::kUnsigned: return opts.getUnsigned(v.unsig, false);
    case K::kCharacter: return opts.getChar(v.character, false);
    case K::kText: return opts.getString(v.text, false);
  }
  return false;
}

/// The whole content of the "-df" file becomes the separator; an empty file
/// leaves the separator bytes as they were and makes it empty through seplen.
void loadSeparatorFile(Job& job) {
  const std::string& name = *job.sepfile;
  std::int64_t size = io::fileSize(job.disk, name);
  if (size < 0) {
    const std::string folder = io::folderProblem(name);
    throw Failure(!folder.empty() ? folder : "dfile: error checking size of dfile\n");
  }
  if (size > std::numeric_limits<std::uint32_t>::max()) {
    // seplen cannot count it; no separator of that size can be held.
    throw Failure("error allocating memory for dfile\n");
  }
  job.seplen = static_cast<std::uint32_t>(size);
  if (size == 0) return;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    throw Failure("error allocating memory for dfile\n");
  } catch (const std::length_error&) {
    throw Failure("error allocating memory for dfile\n");
  }
  // A file that can be measured but not read in full would leave part of
  // the separator undefined; that run is refused instead.
  if (io::readAt(job.disk, name, bytes.data(), 0, size) != size) {
    throw Failure(io::readProblem(job.disk, name) + "dfile: error reading dfile\n");
  }
  job.sep = std::move(bytes);
}

/// Whether `word` reads as an option word: "-" followed by a letter or by
/// another "-". "-1" and "-" do not; a file whose name starts so is named
/// as ./-x.
bool looksLikeOption(const char* word) {
  const char c = word[0] == '-' ? word[1] : '\0';
  return c == '-' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

/// The row of the option word `word`, or nullptr.
const OptionRow* rowOf(std::string_view word) {
  for (const OptionRow& row : kOptionRows) {
    if (word == row.word) return &row;
  }
  return nullptr;
}

bool isOptionWord(const char* word) { return rowOf(word) != nullptr; }

/// Refuses the command line for the first word on it, in line order, that
/// is no option word of the table, repeats one, or is a fifth file name.
/// Looks at the words that no option took: neither found as an option word
/// nor standing right after one as its value (`values`), which counts a
/// value that failed to convert, so "-b -x" stays a bad value of "-b".
void refuseStrayWords(const OptionStore& opts, int argc, char** argv,
                      const std::vector<bool>& values) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (opts.isUsed(i) || values[static_cast<std::size_t>(i)]) continue;
    const std::string word = argv[i];
    if (looksLikeOption(argv[i])) {
      throw Failure(word + (isOptionWord(argv[i]) ? ":option given twice\n" : ":unknown option\n"));
    }
    if (++positional > 4) throw Failure(word + ":too many file names\n");
  }
}

}  // namespace

std::vector<std::string_view> optionWords() {
  std::vector<std::string_view> words;
  for (const OptionRow& row : kOptionRows) words.emplace_back(row.word);
  return words;
}

bool takesValue(std::string_view word) {
  const OptionRow* row = rowOf(word);
  return row != nullptr && row->kind != K::kNone;
}

void Job::parse(int argc, char** argv) {
  OptionStore opts(argc, argv);

  // Every option word is looked up first, in table order, and the words it
  // takes are marked; the command line as a whole is checked before any
  // value is refused or used.
  struct Found {
    const OptionRow* row;
    OptionValue value;
    bool ok;
  };
  std::vector<Found> found;
  std::vector<bool> values(static_cast<std::size_t>(std::max(argc, 1)), false);
  for (const OptionRow& row : kOptionRows) {
    if (!opts.find(row.word, true)) continue;
    if (row.kind != K::kNone && opts.inRange()) values[static_cast<std::size_t>(opts.cursor())] = true;
    Found f{&row, {}, false};
    f.ok = getValue(opts, row.kind, f.value);
    found.push_back(std::move(f));
  }
  refuseStrayWords(opts, argc, argv, values);

  for (const Found& f : found) {
    if (!f.ok) throw Failure(f.row->message);
    f.row->apply(*this, f.value);
    if (std::strcmp(f.row->word, "-df") == 0) loadSeparatorFile(*this);
  }
  // Before anything of the run is printed.
  io::setQuiet(quiet);

  auto given = [&](const char* word) {
    return std::any_of(found.begin(), found.end(),
                       [&](const Found& f) { return std::strcmp(f.row->word, word) == 0; });
  };
  if (txname && tblname) throw Failure("-t and -tx can not be used together\n");
  if (hpfield && given("-hb")) throw Failure("-hp and -hb can not be used together\n");
  if (hcpfield && given("-hc")) throw Failure("-hcp and -hc can not be used together\n");
  // Join writes a header of its own where "-hb" puts it.
  if (mode == kJoin && (hpfield || hcpfield)) {
    throw Failure(std::string(hpfield ? "-hp" : "-hcp") + " can not be used with -j\n");
  }

  std::string htypeWord;
  if (!opts.getString(htypeWord, true)) throw Failure("htype:error parse\n");
  if (!opts.getString(iname, true)) throw Failure("input:error parse\n");
  if (!opts.getString(oname, true)) oname = "output.out";
  if (!opts.getString(hdrname, true)) hdrname = "output.hdr";

  htype.decodeHtype(htypeWord);

  // Default upper bound: the input's size. Not in import mode: there the
  // input is the edited DFile (or the base of the numbered files), whose size
  // says nothing about the old data file; the import takes the import file's
  // size as its bound when it reads that file's header, so every old element
  // is carried over.
  std::int64_t insize = io::fileSize(disk, iname);
  if (mode != kImport && insize != -1 && pmax == kNoUpperBound) pmax = insize;

  // The files read as a whole: the data file of split, the DFile of the
  // DFile split, of join and of import without "-f". (The import checks its
  // data file when it runs.)
  if (mode == kSplit || mode == kSplitDFile || (mode != kJoinDFile && !perfile)) {
    requireInput(iname);
  }

  if (append) {
    omode = "ab";
    std::int64_t osize = io::fileSize(disk, oname);
    ostart = osize < 0 ? 0 : osize;
  }

  if (txname) {
    hextable = std::make_unique<table::HexTable>();
    std::string error;
    if (!hextable->load(disk, *txname, error)) throw Failure(error);
    tblname = txname;
  } else if (tblname && !table::tbsTable().loadTable(disk, *tblname)) {
    throw Failure(*tblname + ":tbs table file error initialization\n");
  }

  // A separator length beyond the bytes there are takes the bytes there are:
  // "-d XYZ" alone separates with XYZ, and "-ds" beyond the "-df" file's size
  // takes the whole file.
  if (seplen > sep.size()) seplen = static_cast<std::uint32_t>(sep.size());
}

}  // namespace dataport
