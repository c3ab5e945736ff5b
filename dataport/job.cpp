#include "dataport/job.h"

#include <algorithm>

#include "dataport/failure.h"
#include "dataport/io/file_helpers.h"
#include "dataport/table/tbs_table.h"

namespace dataport {

namespace {

/// Opens `name` the way `mode` opens it and lets it go again: a write of no
/// bytes still creates or empties its file, and must fail when it cannot.
void mustOpen(io::Disk& disk, const std::string& name, const char* mode) {
  io::Disk::Handle h = disk.open(name, io::parseOpenMode(mode));
  if (h < 0 || !disk.release(h)) throwWriteError(name);
}

/// The check of every write the run cannot do without: `store` writes
/// `count` bytes to `name` and returns how many it stored; fewer is a write
/// error. No bytes to store still opens the file, checked.
template <typename Store>
void mustStore(io::Disk& disk, const std::string& name, std::int64_t count, const char* mode,
               Store store) {
  if (count <= 0) {
    mustOpen(disk, name, mode);
    return;
  }
  if (store() != count) throwWriteError(name);
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
}

void Job::finishFiles() {
  std::string failed;
  if (!disk.closeAll(&failed)) throwWriteError(failed);
}

void Job::mustWriteAt(const std::string& name, const std::uint8_t* src, std::int64_t off,
                      std::int64_t count, const char* mode) {
  mustStore(disk, name, count, mode,
            [&] { return io::writeAt(disk, name, src, off, count, mode); });
}

void Job::mustCopyRange(const std::string& inName, const std::string& outName,
                        std::int64_t inOff, std::int64_t outOff, std::int64_t count,
                        const char* mode) {
  mustStore(disk, outName, count, mode,
            [&] { return io::copyRange(disk, inName, outName, inOff, outOff, count, mode); });
}

void Job::mustFillAt(const std::string& name, std::uint8_t fillByte, std::int64_t off,
                     std::int64_t count, const char* mode) {
  mustStore(disk, name, count, mode,
            [&] { return io::fillAt(disk, name, fillByte, off, count, mode); });
}

}  // namespace dataport
