// Reading the header records into an element list.
//
// A header whose record count is known (a count field, or "-hc") is fetched
// with one read and decoded in memory. Without a count the records are read
// one field at a time through a buffered reader that behaves like a C input
// stream: its end indicator is set only by a read that came up short, and a
// skip past the end of the file is no error by itself. The reading then stops
// at the first of: the data (the lowest position seen, when the header lies in
// the data file), the end of the file, or "-hmax".

#include <algorithm>
#include <new>
#include <vector>

#include "dataport/failure.h"
#include "dataport/header/arith.h"
#include "dataport/io/console.h"
#include "dataport/io/failure_text.h"
#include "dataport/io/file_helpers.h"
#include "dataport/io/le_field.h"
#include "dataport/job.h"

namespace dataport {
namespace {

// Input stream over one file with the indicators of a C stream, reading the
// file in chunks so that fields of a few bytes cost no call each.
class FieldReader {
 public:
  FieldReader(io::Disk& disk, const std::string& name) : stream_(disk, name, "rb") {}

  bool isOpen() const { return stream_.isOpen(); }
  bool good() const { return !eof_ && !error_; }
  bool eof() const { return eof_; }
  std::int64_t tell() const { return pos_; }

  /// Moves to off from the start; like fseek it clears the end indicator.
  /// Past the end of the file is allowed. False (and nothing changes) for off < 0.
  bool seek(std::int64_t off) {
    if (off < 0) return false;
    pos_ = off;
    eof_ = false;
    return true;
  }

  /// Reads up to n bytes (n <= 8); a short read sets the end indicator, a
  /// failing one the error indicator.
  std::int64_t read(std::uint8_t* dst, std::int64_t n) {
    std::int64_t got = 0;
    while (got < n) {
      if (pos_ < bufOff_ || pos_ >= bufOff_ + bufLen_) {
        if (!fill()) break;
      }
      const std::int64_t take = std::min(n - got, bufOff_ + bufLen_ - pos_);
      std::copy_n(buf_.begin() + (pos_ - bufOff_), take, dst + got);
      got += take;
      pos_ += take;
    }
    if (got < n && !error_) eof_ = true;
    return got;
  }

 private:
  static constexpr std::int64_t kChunk = 65536;

  bool fill() {
    buf_.resize(kChunk);
    bufOff_ = pos_;
    bufLen_ = 0;
    if (!stream_.seek(pos_)) {
      error_ = true;
      return false;
    }
    const std::int64_t got = stream_.read(buf_.data(), kChunk);
    if (stream_.error() || got < 0) {
      error_ = true;
      return false;
    }
    bufLen_ = got;
    return got > 0;
  }

  io::Stream stream_;
  std::vector<std::uint8_t> buf_;
  std::int64_t bufOff_ = 0;
  std::int64_t bufLen_ = 0;
  std::int64_t pos_ = 0;
  bool eof_ = false;
  bool error_ = false;
};

}  // namespace

void Job::readHeader(bool importing) {
  // Records that hold neither a position nor a size describe nothing, and one
  // by one they would be read forever: no read ever meets the end of the file.
  if (htype.psize == 0 && htype.ssize == 0) throw Failure("error reading htype\n");

  const std::string dataFile = importing ? ifile.value_or(iname) : iname;
  if (!locateHeader(dataFile)) {
    // The count field says: no records.
    io::out("elements 0\n");
    (importing ? headerList : elements).clear();
    return;
  }
  const std::string name = hname ? *hname : dataFile;
  if (importing) {
    const std::int64_t size = io::fileSize(disk, ifile.value_or(iname));
    if (size != -1 && pmax == kNoUpperBound) pmax = size;
  }
  io::out("reading HFILE: %s, hbase %X, pbase %X\n", name.c_str(), arith::hex32(hbase),
          arith::hex32(pbase));
  io::out("pbase :%llx   esize:%d  hmax %lld head.csize%d\n", static_cast<unsigned long long>(pbase),
          htype.esize, static_cast<long long>(hmax), htype.csize);

  const HeaderType& h = htype;
  ElementList local;
  std::int64_t hpos = hbase;
  std::int32_t count = static_cast<std::int32_t>(hcount);
  Element e;

  if (h.csize > 0 || hcount > 0) {
    // One block holding every record.
    if (hcount == 0) {
      std::uint8_t field[4] = {};
      if (io::readAt(disk, name, field, hpos, h.csize) != h.csize) {
        throw Failure(io::readProblem(disk, name) + "error reading elements(block)\n");
      }
      count = static_cast<std::int32_t>(static_cast<std::uint32_t>(fields.decode(field, h.csize)));
    }
    io::out("elements %d\n", static_cast<int>(count));
    hpos += h.csize + h.cskip;
    // headerSize counts no records for a negative count; the printed size
    // shows what such a count asks for.
    const std::int64_t block =
        count >= 0 ? htype.headerSize(count) - h.csize - h.cskip
                   : std::int64_t{count} * h.esize +
                         (h.gcount > 0 ? std::int64_t{count / h.gcount} * h.gskip : 0);
    io::out("bufsize %lld\n", static_cast<long long>(block));

    // The count comes from the file: nothing is allocated for records that
    // the file does not hold. The file needs to hold the records only up to
    // the last one's last field: the skip bytes behind it may lie beyond the
    // end of a table that ends its file. The buffer keeps the whole block,
    // zeroed, so the decoding below steps over every skip inside it.
    if (count < 0 || block < 0) throw Failure("error alloc elements buf\n");
    const std::int64_t needed = std::max<std::int64_t>(
        htype.headerExtent(count) - h.csize - h.cskip, 0);
    std::vector<std::uint8_t> buf;
    if (block > 0) {
      const std::int64_t fileBytes = io::fileSize(disk, name);
      if (fileBytes < 0 || hpos < 0 || needed > fileBytes - hpos) {
        // A block beyond what a 32-bit count of records could ever be held
        // in (2 GiB and up) is a count that does not fit in memory; a smaller
        // one the file cannot fill is a header read short.
        if (block > std::int64_t{INT32_MAX}) throw Failure("error alloc elements buf\n");
        throw Failure(io::readProblem(disk, name) + "error reading elements(block)\n");
      }
      try {
        buf.resize(static_cast<std::size_t>(block));
      } catch (const std::bad_alloc&) {
        throw Failure("error alloc elements buf\n");
      }
      if (io::readAt(disk, name, buf.data(), hpos, needed) != needed) {
        throw Failure(io::readProblem(disk, name) + "error reading elements(block)\n");
      }
    }

    const std::uint8_t* cursor = buf.data();
    std::int32_t group = 0;
    for (std::int32_t k = 0; k < count; ++k) {
      if (h.psize > 0) {
        e.pos = arith::add(fields.decodePosition(cursor, h.psize), pbase);
        cursor += h.psize;
      }
      cursor += h.pskip;
      if (h.ssize > 0) {
        e.size = arith::add(fields.decodeSize(cursor, h.ssize), shift);
        cursor += h.ssize;
      }
      cursor += h.sskip;
      e.index = k;
      io::out("Element %d\tEPos %X\tEPos+pbase %X\tESize %X\tHpos %d\t\n", static_cast<int>(k),
              arith::hex32(arith::sub(e.pos, pbase)), arith::hex32(e.pos), arith::hex32(e.size),
              arith::dec32(hpos));
      if (isNewPosition(local, e.pos)) local.push_back(e);
      if (h.gcount > 0 && ++group == h.gcount) {
        cursor += h.gskip;
        group = 0;
      }
    }
  } else {
    // One record at a time, until the data, the end of the file or hmax.
    FieldReader in(disk, name);
    if (!in.isOpen()) throw Failure(io::readProblem(disk, name) + "error opening header file\n");
    std::int64_t lowest = pmax;
    hpos += h.cskip;
    if (!in.seek(hpos) || !in.good()) throw Failure("error cant seek to hpos at hfile file\n");
    io::out("hpos set to:%lld\n", static_cast<long long>(in.tell()));
    io::out("pmax:%lld\n", static_cast<long long>(pmax));

    std::uint8_t field[8];
    std::int32_t group = 0;
    for (std::int32_t i = 0;; ++i) {
      if (!hname && hpos >= lowest) break;
      if (in.eof()) break;
      if (hmax != 0 && hpos + h.esize > hmax) break;

      io::out("Element %d\t", static_cast<int>(i));
      if (h.psize > 0) {
        std::fill_n(field, 8, 0);
        in.read(field, h.psize);
        if (in.eof()) break;
        const std::int64_t stored = fields.decodePosition(field, h.psize);
        io::out("EPos %X\t", arith::hex32(stored));
        e.pos = arith::add(stored, pbase);
      }
      if (h.pskip > 0) in.seek(in.tell() + h.pskip);
      if (!in.good()) throw Failure(io::readProblem(disk, name) + "error reading header file\n");
      if (h.ssize > 0) {
        std::fill_n(field, 8, 0);
        in.read(field, h.ssize);
        if (in.eof()) break;
        e.size = arith::add(fields.decodeSize(field, h.ssize), shift);
      }
      if (h.sskip > 0) in.seek(in.tell() + h.sskip);
      if (!in.good()) throw Failure(io::readProblem(disk, name) + "error reading header file\n");
      io::out("Min %d\tEPos %X\tEPos+pbaase %X\tESize %X\tHpos %d\t\n", arith::dec32(lowest),
              arith::hex32(arith::sub(e.pos, pbase)), arith::hex32(e.pos), arith::hex32(e.size),
              arith::dec32(hpos));
      e.index = i;
      if (isNewPosition(local, e.pos)) local.push_back(e);
      if (h.psize > 0 && e.pos > 0 && e.pos >= pmin && e.pos < lowest) lowest = e.pos;
      hpos += h.esize;
      if (h.gcount > 0 && ++group == h.gcount) {
        in.seek(in.tell() + h.gskip);
        if (!in.good()) throw Failure("error seeking header file(gskip)\n");
        group = 0;
      }
    }
  }

  // Sizes only: the elements stand back to back, behind the header when it
  // lies in the same file.
  if (h.psize == 0 && h.ssize > 0) {
    positionsFromSizes(local);
    if (!hname) {
      shiftPositions(local, arith::add(htype.headerSize(static_cast<std::int64_t>(local.size())), hbase));
    }
  }
  std::sort(local.begin(), local.end());
  if (h.ssize == 0) fillSizes(local);
  (importing ? headerList : elements) = std::move(local);
}

}  // namespace dataport
