#pragma once
// The Job: every setting of one run of dataport, the run's two element lists
// and the decoded htype. main builds it from the command line, runs the one
// mode the options chose, and destroys it.

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dataport/copy/output_guard.h"
#include "dataport/file_field.h"
#include "dataport/header/element.h"
#include "dataport/header/header_type.h"
#include "dataport/io/disk.h"
#include "dataport/io/le_field.h"

namespace dataport {

namespace table {
class HexTable;
}

/// The default DFile separator: CR LF, six asterisks, "xEnDx", six asterisks, CR LF.
inline constexpr char kDefaultSeparator[] = "\r\n******xEnDx******\r\n";
inline constexpr std::uint32_t kDefaultSeplen = 21;
inline constexpr std::int64_t kNoUpperBound = std::numeric_limits<std::int64_t>::max();
/// Where split, import and DFile split keep an input cut of its trailing fill.
inline constexpr char kCutFile[] = "tmpqzpm.qwe";

enum Mode : std::uint32_t {
  kSplit = 1,
  kJoin = 2,
  kImport = 3,
  kSplitDFile = 4,
  kJoinDFile = 5,
};

class Job {
 public:
  // ---- settings (defaults as reset() sets them) ----
  std::int64_t pbase = 0;                 ///< "-b": added to positions read from a header
  std::int64_t hbase = 0;                 ///< "-hb": offset of the header in its file
  std::int64_t pmin = 0;                  ///< "-min": inclusive lower position bound
  std::int64_t pmax = kNoUpperBound;      ///< "-max": exclusive upper bound (default: input size)
  std::int64_t hmax = 0;                  ///< "-hmax": HFILE offset limit of record reading; 0 = none
  std::uint32_t hcount = 0;               ///< "-hc": records to read; 0 = from the header
  ElementList elements;                   ///< the elements of the run
  ElementList headerList;                 ///< the header records an import updates
  HeaderType htype;                       ///< first positional word
  std::string iname;                      ///< second positional word (required)
  std::string oname = "output.out";       ///< third positional word
  std::optional<std::string> tblname;     ///< "-t", or the "-tx" file once loaded
  std::optional<std::string> txname;      ///< "-tx"
  /// The hex-key table of "-tx" (tblname then names its file); none with "-t".
  std::unique_ptr<table::HexTable> hextable;
  std::optional<std::string> hname;       ///< "-h"
  std::string hdrname = "output.hdr";     ///< fourth positional word
  std::optional<std::string> ifile;       ///< "-i"
  std::uint32_t mode = kSplit;            ///< "-s" "-sd" "-j" "-jd" "-i"
  bool perfile = false;                   ///< "-f"
  std::vector<std::uint8_t> sep;          ///< separator bytes ("-d", "-df"); default kDefaultSeparator
  std::uint32_t seplen = kDefaultSeplen;  ///< "-ds", "-df"; never more than sep.size() after parse
  std::optional<std::string> sepfile;     ///< "-df"
  bool sepindata = false;                 ///< "-dd"
  std::uint32_t exkind = 0;               ///< "-e" 1, "-em" 2
  std::uint32_t cutkind = 0;              ///< "-c" 16, "-cl" 32
  std::int64_t exsize = 0;                ///< "-e", "-em"
  std::uint32_t cutlimit = 0;             ///< "-cl"
  std::uint8_t fill = 0;                  ///< "-ef"
  std::uint32_t tblreverse = 0;           ///< "-tr"
  std::uint32_t blockkind = 0;            ///< "-cb" 16, "-eb" 1, "-ebm" 2, "-cbl" 32
  std::uint32_t block = 0;                ///< "-eb", "-ebm", "-cbl"
  std::uint32_t blockadd = 0;             ///< "-eba"
  bool useindex = true;                   ///< "-ind" switches it off
  bool append = false;                    ///< "-a"
  std::string omode = "wb";               ///< "-a" sets "ab"
  std::int64_t ostart = 0;                ///< "-a": size of oname before the run
  std::int32_t shift = 0;                 ///< "-sa"
  bool nodups = false;                    ///< "-rd"
  std::optional<FileField> hpfield;       ///< "-hp": the data file's field that holds hbase
  std::optional<FileField> hcpfield;      ///< "-hcp": the data file's field that holds the count
  io::FieldFormat fields;                 ///< "-be", "-pu", "-su": how header fields are stored
  bool quiet = false;                     ///< "-q": nothing on standard output

  /// All file access of the run.
  io::Disk disk;
  /// The files the run reads; no output may lead to one of them.
  InputFiles inputs;
  /// Bytes that a conversion from right to left passed unchanged, as no
  /// table entry matched them.
  std::int64_t noEntryBytes = 0;
  /// Outputs whose write error a thrown text already names.
  std::vector<std::string> reportedWrites;

  /// The separator: the first seplen bytes of sep (never more than sep holds).
  std::span<const std::uint8_t> separator() const;

  /// Resets, then parses the command line. Throws Failure.
  Job(int argc, char** argv);
  /// A Job with defaults and no command line (for tests).
  Job();
  /// Releases the table when one was loaded.
  ~Job();
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  /// Every field back to its default; `elements` emptied.
  void reset();
  /// Fills the settings from the command line (option table, positional
  /// words, htype, upper bound, input check, append, table). Throws Failure.
  void parse(int argc, char** argv);
  /// Runs the operation of `mode`.
  void run();
  /// Writes out and closes every file of the run; throws the write errors
  /// of every file whose content is incomplete and that no earlier text
  /// named, one line each, in the order the run wrote them.
  void finishFiles();

  // ---- inputs and outputs ----
  /// Registers with `inputs` the files named on the command line that the
  /// mode reads (numbered inputs are added as they are found).
  void watchInputs();
  /// Throws "<name>:input file not found\n" for a missing file, or
  /// "<name>:cannot read file: REASON\n" when it is a directory or cannot
  /// be opened for reading.
  void requireInput(const std::string& name);
  /// Throws "<name>:error writing file: REASON\n" with the reason the disk
  /// last gave for `name`, together with the same line for every other
  /// output left incomplete (all files are written out and closed first).
  [[noreturn]] void failWrite(const std::string& name);
  /// Writes out and closes every file and returns a write error line for
  /// each output whose content is incomplete, in the order the run first
  /// wrote them, skipping those an earlier text named. `failing` (with the
  /// error number `code`) is named too, also when its open failed.
  std::string incompleteOutputs(const std::string& failing = {}, int code = 0);

  // ---- checked writes: each throws "<name>:error writing file: REASON\n"
  // ---- unless the whole count reached the file ----
  void mustWriteAt(const std::string& name, const std::uint8_t* src, std::int64_t off,
                   std::int64_t count, const char* mode);
  void mustCopyRange(const std::string& inName, const std::string& outName, std::int64_t inOff,
                     std::int64_t outOff, std::int64_t count, const char* mode);
  void mustFillAt(const std::string& name, std::uint8_t fill, std::int64_t off,
                  std::int64_t count, const char* mode);

  // ---- header and element list ----
  /// With "-hp"/"-hcp": reads hbase and the record count from their fields
  /// in `dataFile`. Returns false when the count field holds 0 (a header
  /// of no records). Throws Failure when a field cannot be read or its value
  /// cannot be used.
  bool locateHeader(const std::string& dataFile);
  void readHeader(bool importing);
  bool posInRange(std::int64_t pos) const;
  /// Elements of `elements` whose position is in range.
  std::int32_t countInRange() const;
  bool isNewPosition(const ElementList& list, std::int64_t pos) const;
  std::size_t firstInRange(const ElementList& list, std::size_t start) const;
  /// Last index in range, or -1.
  std::int64_t lastInRange(const ElementList& list) const;
  void fillSizes(ElementList& list) const;
  static void shiftPositions(ElementList& list, std::int64_t delta);
  void addToSizes(std::int64_t delta);
  static void positionsFromSizes(ElementList& list);
  void printElements() const;
  /// Number of records the header really has: the highest record `index` in
  /// headerList plus one (records left out with "-rd" still count), or
  /// headerList's length when that is larger.
  std::int64_t headerRecords() const;

  /// With "-c"/"-cl" (cutkind not 0), cuts the input `name` of its trailing
  /// fill into kCutFile; when something was kept, `name` becomes kCutFile and
  /// a pmax beyond the kept length is lowered to it. Throws Failure.
  void cutInputIfAsked(std::string& name);

  // ---- element lists from data files ----
  void loadElements();
  /// Reads the DFile iname. Throws "<iname>:cannot read file: REASON\n"
  /// when a read fails.
  void scanDFile();
  /// Collects iname.000, iname.001, ... up to the first missing number.
  /// Throws "<iname>.000:input file not found\n" when there is none, and
  /// "<name>:cannot read file: REASON\n" for a numbered file that exists
  /// but cannot be read (a folder, no permission).
  void scanNumberedFiles();
  /// Join and DFile split: throws "Error: no element found in <name>\n"
  /// (and the separator hint) when the DFile held no element.
  void requireElements(const std::string& name);
  /// When the separator is the default one and the DFile iname (named
  /// `name` on the command line) holds its LF form: "<name>: its separators
  /// end in LF, not CR LF; give the separator with -d or -df\n"; else "".
  std::string separatorHint(const std::string& name);

  // ---- header writing: fill `buf` (resized as needed) and return it ----
  std::vector<std::uint8_t>& buildHeader(std::vector<std::uint8_t>& buf);
  /// The old header up to its last record's last field (headerExtent bytes)
  /// with the replaced records rewritten; also moves the position of every
  /// headerList record behind the last replaced one by `tailShift` (their
  /// bytes moved by that much).
  std::vector<std::uint8_t>& patchImportHeader(std::vector<std::uint8_t>& buf,
                                               std::int64_t tailShift = 0);

  // ---- modes ----
  void splitElements();
  /// Import and join: copies the element `e` to the end of oname from the
  /// DFile iname at `readPos` (which then moves past the element and its
  /// separator) or, with "-f", from the numbered file `number`, and sets
  /// e.size to the length written. Sets `changed` when a copy without a
  /// table wrote another length than planned. Throws Failure.
  void putElement(Element& e, std::int32_t number, std::int64_t& readPos, bool& changed);
  /// Before import or join writes anything: with a hex-key table converting
  /// text to bytes, converts every element ahead (numbered as putElement
  /// numbers them: by list order, or by `index` when `byIndex`), so that a
  /// text without a table entry ends the run with nothing written.
  void prepareElements(bool byIndex);
  void importElements();
  void measureGaps();
  void joinElements();
  void splitDFile();
  void joinDFile();
};

}  // namespace dataport
