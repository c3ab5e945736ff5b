// Writing header bytes: a whole new header for join mode, and the old header
// with the replaced records rewritten for import mode.
//
// Both store what readHeader turns back into the list's values: pos - pbase
// and size - shift, in the run's units and byte order (the low field-width
// bytes).

#include <algorithm>
#include <new>
#include <stdexcept>

#include "dataport/failure.h"
#include "dataport/header/arith.h"
#include "dataport/io/console.h"
#include "dataport/io/failure_text.h"
#include "dataport/io/file_helpers.h"
#include "dataport/io/le_field.h"
#include "dataport/job.h"

namespace dataport {
namespace {

void zeroed(std::vector<std::uint8_t>& buf, std::int64_t size, const char* failure) {
  try {
    buf.assign(static_cast<std::size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    throw Failure(failure);
  } catch (const std::length_error&) {
    throw Failure(failure);
  }
}

}  // namespace

std::vector<std::uint8_t>& Job::buildHeader(std::vector<std::uint8_t>& buf) {
  const HeaderType& h = htype;
  const auto n = static_cast<std::int64_t>(elements.size());
  zeroed(buf, htype.headerSize(n), "Cant alloc buf for creating header\n");

  std::uint8_t* cursor = buf.data();
  if (h.csize > 0) {
    fields.encode(cursor, static_cast<std::uint32_t>(n), h.csize);
    cursor += h.csize;
  }
  cursor += h.cskip;
  std::int32_t group = 0;
  for (const Element& e : elements) {
    fields.encodePosition(cursor, arith::sub(e.pos, pbase), h.psize);
    cursor += h.psize + h.pskip;
    if (h.ssize > 0) {
      fields.encodeSize(cursor, arith::sub(e.size, shift), h.ssize);
      cursor += h.ssize;
    }
    cursor += h.sskip;
    if (h.gcount > 0 && ++group == h.gcount) {
      cursor += h.gskip;
      group = 0;
    }
  }
  return buf;
}

// The edited elements replace the in-range records of headerList in order of
// position; each record is found in the buffer by its record number. Records
// behind the last replaced one keep their sizes and move by tailShift, as the
// bytes that hold them moved. Every byte the layout does not interpret stays
// as it was read. The buffer ends with the last record's last field: the old
// header is patched in place, and skip bytes behind that field, which a table
// at the end of its file does not hold, are neither read nor written.
std::vector<std::uint8_t>& Job::patchImportHeader(std::vector<std::uint8_t>& buf,
                                                  std::int64_t tailShift) {
  const HeaderType& h = htype;
  const std::int64_t records = headerRecords();
  const std::int64_t size = htype.headerExtent(records);
  zeroed(buf, size, "Cant alloc buf for importing header\n");

  const std::string source = hname ? *hname : ifile.value_or(iname);
  if (io::readAt(disk, source, buf.data(), hbase, size) != size) {
    const std::string problem = io::readProblem(disk, source);
    htype.printHtype();
    io::out("file:%s bufsize: %lld elements %lld hbase %lld\n", source.c_str(),
            static_cast<long long>(size), static_cast<long long>(records),
            static_cast<long long>(hbase));
    throw Failure(problem + "Error reading import header\n");
  }

  const std::size_t first = firstInRange(headerList, 0);
  if (elements.empty()) return buf;
  const std::size_t last = first + elements.size() - 1;
  io::out("pbase:%d\n", arith::dec32(pbase));

  // Start of record r in the buffer; inside it by construction, since
  // r < records.
  auto recordAt = [&](std::int32_t r) { return buf.data() + htype.headerSize(r); };

  for (std::size_t j = 0; j < elements.size() && first + j < headerList.size(); ++j) {
    const std::int32_t r = headerList[first + j].index;
    if (r < 0) continue;
    const std::int64_t storedPos = arith::sub(elements[j].pos, pbase);
    const std::int64_t storedSize = arith::sub(elements[j].size, shift);
    std::uint8_t* record = recordAt(r);
    if (h.psize > 0) fields.encodePosition(record, storedPos, h.psize);
    if (h.ssize > 0) {
      fields.encodeSize(record + h.psize + h.pskip, storedSize, h.ssize);
    }
    io::out("epos:%X;uhead.pos:%X;uhead.size:%X\n", static_cast<unsigned>(r),
            arith::hex32(storedPos), arith::hex32(storedSize));
  }

  if (tailShift != 0 && h.psize > 0) {
    for (std::size_t k = last + 1; k < headerList.size(); ++k) {
      const std::int32_t r = headerList[k].index;
      if (r < 0) continue;
      std::uint8_t* record = recordAt(r);
      const std::int64_t stored = fields.decodePosition(record, h.psize);
      fields.encodePosition(record, arith::add(stored, tailShift), h.psize);
    }
  }

  if (hname) {
    // The output header file is the whole HFILE with the new header bytes;
    // it may not be the HFILE itself, which its emptying would lose.
    InputFiles hfile;
    hfile.add(*hname);
    hfile.refuse(hdrname);
    const std::int64_t hfileBytes = std::max<std::int64_t>(io::fileSize(disk, *hname), 0);
    mustCopyRange(*hname, hdrname, 0, 0, hfileBytes, "wb");
    mustWriteAt(hdrname, buf.data(), hbase, size, "rb+");
  }
  return buf;
}

}  // namespace dataport
