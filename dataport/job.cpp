#include "dataport/job.h"

#include <algorithm>
#include <cerrno>

#include "dataport/failure.h"
#include "dataport/io/failure_text.h"
#include "dataport/io/file_helpers.h"
#include "dataport/io/file_status.h"
#include "dataport/table/hex_table.h"
#include "dataport/table/tbs_table.h"

namespace dataport {

namespace {

/// Opens `name` the way `mode` opens it and lets it go again: a write of no
/// bytes still creates or empties its file, and must fail when it cannot.
void mustOpen(Job& job, const std::string& name, const char* mode) {
  io::Disk::Handle h = job.disk.open(name, io::parseOpenMode(mode));
  if (h < 0 || !job.disk.release(h)) job.failWrite(name);
}

/// The check of every write the run cannot do without: `store` writes
/// `count` bytes to `name` and returns how many it stored; fewer is a write
/// error. No bytes to store still opens the file, checked.
template <typename Store>
void mustStore(Job& job, const std::string& name, std::int64_t count, const char* mode,
               Store store) {
  if (count <= 0) {
    mustOpen(job, name, mode);
    return;
  }
  if (store() != count) job.failWrite(name);
}

}  // namespace

Job::Job() { reset(); }

Job::Job(int argc, char** argv) {
  reset();
  parse(argc, argv);
}

Job::~Job() {
  if (tblname) table::tbsTable().releaseTable();
}

std::span<const std::uint8_t> Job::separator() const {
  return std::span<const std::uint8_t>(sep).first(std::min<std::size_t>(seplen, sep.size()));
}

void Job::reset() {
  // A table that this Job loaded belongs to it; defaults mean none.
  if (tblname) table::tbsTable().releaseTable();
  pbase = 0;
  hbase = 0;
  pmin = 0;
  pmax = kNoUpperBound;
  hmax = 0;
  hcount = 0;
  elements.clear();
  headerList.clear();
  htype = HeaderType{};
  iname.clear();
  oname = "output.out";
  tblname.reset();
  txname.reset();
  fields = io::FieldFormat{};
  hpfield.reset();
  hcpfield.reset();
  hextable.reset();
  hname.reset();
  hdrname = "output.hdr";
  ifile.reset();
  mode = kSplit;
  perfile = false;
  sep.assign(kDefaultSeparator, kDefaultSeparator + kDefaultSeplen);
  seplen = kDefaultSeplen;
  sepfile.reset();
  sepindata = false;
  exkind = 0;
  cutkind = 0;
  exsize = 0;
  cutlimit = 0;
  fill = 0;
  tblreverse = 0;
  blockkind = 0;
  block = 0;
  blockadd = 0;
  useindex = true;
  append = false;
  omode = "wb";
  ostart = 0;
  shift = 0;
  nodups = false;
  quiet = false;
}

void Job::finishFiles() {
  const std::string text = incompleteOutputs();
  if (!text.empty()) throw Failure(text);
}

std::string Job::incompleteOutputs(const std::string& failing, int code) {
  std::vector<io::IoError> failed;
  disk.closeAll(failed);
  const auto named = [&](const std::string& n) {
    return std::any_of(failed.begin(), failed.end(), [&](const io::IoError& f) { return f.name == n; });
  };
  if (!failing.empty() && !named(failing)) failed.push_back(io::IoError{failing, true, code});
  std::string text;
  for (const io::IoError& f : failed) {
    const bool reported =
        std::find(reportedWrites.begin(), reportedWrites.end(), f.name) != reportedWrites.end();
    if (reported && f.name != failing) continue;
    if (!reported) reportedWrites.push_back(f.name);
    text += io::writeErrorText(f.name, f.code != 0 ? f.code : EIO);
  }
  return text;
}

// The reason is the disk's last failure when it concerns `name`, else why
// the name cannot be looked up (an output that vanished); a write that
// stored fewer bytes without the system naming a reason counts as an I/O
// error.
void Job::failWrite(const std::string& name) {
  const std::optional<io::IoError>& last = disk.lastError();
  int code = last && last->name == name ? last->code : io::fileStatus(name).error;
  if (code == 0) code = EIO;
  throw Failure(incompleteOutputs(name, code));
}

void Job::requireInput(const std::string& name) {
  const io::FileStatus st = io::fileStatus(name);
  if (st.kind == io::FileKind::Missing || st.kind == io::FileKind::Other) {
    throw Failure(name + ":input file not found\n");
  }
  if (st.kind == io::FileKind::Directory) throw Failure(io::folderProblem(name));
  const io::Disk::Handle h = disk.open(name, io::OpenMode::Read);
  if (h < 0) {
    const std::optional<io::IoError>& last = disk.lastError();
    throw Failure(io::cannotReadText(name, last && last->code != 0 ? last->code : EIO));
  }
  disk.release(h);
}

// The files each mode reads besides its numbered inputs. An HFILE is read by
// split and import only; join and the DFile modes name it for its layout.
void Job::watchInputs() {
  if (tblname) inputs.add(*tblname);
  if (sepfile) inputs.add(*sepfile);
  if (mode == kSplit || mode == kImport) {
    if (hname) inputs.add(*hname);
  }
  if (ifile) inputs.add(*ifile);
  // The data file of split and the DFile of the DFile split, or the DFile of
  // join and import without "-f".
  if (mode == kSplit || mode == kSplitDFile || !perfile) inputs.add(iname);
}

void Job::mustWriteAt(const std::string& name, const std::uint8_t* src, std::int64_t off,
                      std::int64_t count, const char* mode) {
  mustStore(*this, name, count, mode,
            [&] { return io::writeAt(disk, name, src, off, count, mode); });
}

// A copy that fell short because its input failed names the input: the
// reason the system gave, or the end of a file that is shorter than it was.
void Job::mustCopyRange(const std::string& inName, const std::string& outName,
                        std::int64_t inOff, std::int64_t outOff, std::int64_t count,
                        const char* mode) {
  mustStore(*this, outName, count, mode, [&] {
    const std::int64_t copied = io::copyRange(disk, inName, outName, inOff, outOff, count, mode);
    if (copied == count) return copied;
    const std::optional<io::IoError>& last = disk.lastError();
    if (last && !last->write && last->name == inName) {
      throw Failure(io::cannotReadText(inName, last->code));
    }
    if (!last) throw Failure(inName + ":cannot read file: unexpected end of file\n");
    return copied;
  });
}

void Job::mustFillAt(const std::string& name, std::uint8_t fillByte, std::int64_t off,
                     std::int64_t count, const char* mode) {
  mustStore(*this, name, count, mode,
            [&] { return io::fillAt(disk, name, fillByte, off, count, mode); });
}

}  // namespace dataport
