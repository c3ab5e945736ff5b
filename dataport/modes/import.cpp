// Import mode: puts edited elements back into a copy of the data file.
//
// The output is the import file with its elements replaced: the bytes in
// front of the first element in range, and then each edited element followed
// by the bytes that followed the element it replaces (its gap). The gap of
// the last replaced element runs to the end of the import file, so old
// elements that no edited one replaces and the file's tail are carried over
// unchanged; their header records move along with their bytes. The header is
// patched in place wherever it lies: in front of the first element in range
// it stays where it was; behind it, it moves with the gap that holds it by
// the growth of every replaced element in front of it.
//
// Positions in `elements` are file positions in the output, counted from
// where this run's output starts (so without the old content that "-a"
// keeps). `headerList` holds file positions in the import file. The header
// stores pos - pbase; patchImportHeader does that subtraction.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "dataport/copy/output_guard.h"
#include "dataport/copy/pad_to_exact.h"
#include "dataport/failure.h"
#include "dataport/header/arith.h"
#include "dataport/io/console.h"
#include "dataport/io/file_helpers.h"
#include "dataport/job.h"
#include "dataport/modes/header_place.h"

namespace dataport {

namespace {

std::string format(const char* fmt, long long a, long long b = 0) {
  char text[256];
  std::snprintf(text, sizeof text, fmt, a, b);
  return text;
}

/// Refuses an import whose edited elements cannot be paired with the header
/// records from the first in-range one on. Runs before anything is written.
void checkPairing(Job& job, std::size_t first) {
  const std::size_t edited = job.elements.size();
  const std::size_t records = job.headerList.size() - first;
  if (edited > 0 && records == 0) {
    throw Failure("Error: edited elements found, but no header record lies in range\n");
  }
  if (edited == 0) {
    throw Failure("Error: no edited element found in " + job.iname + "\n" +
                  job.separatorHint(job.iname));
  }
  if (edited > records) {
    throw Failure(format("Error: %lld edited elements, but only %lld header records from the "
                         "first in range on\n",
                         static_cast<long long>(edited), static_cast<long long>(records)));
  }
  if (!job.useindex && edited < records) {
    throw Failure(format("Error: -ind needs one edited element for each of the %lld header "
                         "records from the first in range on, found %lld\n",
                         static_cast<long long>(records), static_cast<long long>(edited)));
  }
}

/// True when [off, off + count) lies inside a file of `size` bytes.
bool inside(std::int64_t off, std::int64_t count, std::int64_t size) {
  return off >= 0 && count >= 0 && off <= size && count <= size - off;
}

/// Writes the header's new offset into the "-hp" field of the output, in
/// the run's byte order. Throws when the offset does not fit the field.
void writeHeaderOffset(Job& job, std::int64_t headerAt) {
  const int width = job.hpfield->width;
  if (width < 8 && static_cast<std::uint64_t>(headerAt) >> (8 * width) != 0) {
    throw Failure(format("Error: the header offset %lld does not fit the %lld-byte -hp field\n",
                         headerAt, width));
  }
  std::uint8_t bytes[8] = {};
  job.fields.encode(bytes, static_cast<std::uint64_t>(headerAt), width);
  job.mustWriteAt(job.oname, bytes, arith::add(job.ostart, job.hpfield->off), width, "rb+");
  io::out("header offset field at %lld set to %lld\n", static_cast<long long>(job.hpfield->off),
          static_cast<long long>(headerAt));
}

}  // namespace

void Job::measureGaps() {
  const std::int64_t size = io::fileSize(disk, *ifile);
  if (size < 0) throw Failure("Error accesing ifile(reading size)\n");
  const auto first = static_cast<std::int64_t>(firstInRange(headerList, 0));
  const std::int64_t last = first + static_cast<std::int64_t>(elements.size()) - 1;
  io::out("%lld, %lld\n", static_cast<long long>(first), static_cast<long long>(last));
  if (last < first) return;
  // Callers pair at most as many elements as there are records from first on.
  const std::int64_t end = std::min<std::int64_t>(last, std::ssize(headerList) - 1);
  for (std::int64_t k = first; k < end; ++k) {
    Element& rec = headerList[k];
    io::out("%lld pos %lld ", static_cast<long long>(k), static_cast<long long>(rec.pos));
    rec.size = arith::sub(arith::sub(headerList[k + 1].pos, rec.pos), rec.size);
    io::out("size %lld\n", static_cast<long long>(rec.size));
  }
  Element& rec = headerList[end];
  rec.size = arith::sub(arith::sub(size, rec.pos), rec.size);
  io::out("last size %lld\n", static_cast<long long>(rec.size));
}

void Job::importElements() {
  io::out("importing\n");

  requireInput(*ifile);
  // An input cut of its trailing fill: read the kept part instead.
  cutInputIfAsked(*ifile);

  loadElements();
  const std::size_t first = firstInRange(headerList, 0);
  if (headerList.empty() && elements.empty()) return;
  checkPairing(*this, first);
  const std::size_t count = elements.size();
  const std::size_t last = first + count - 1;
  const HeaderPlace place = placeHeader(*this, first, count);

  // Where each replaced element ended in the import file: its gap is copied
  // from there. measureGaps turns the record sizes into gap lengths.
  std::vector<std::int64_t> oldEnd(count);
  for (std::size_t j = 0; j < count; ++j) {
    oldEnd[j] = arith::add(headerList[first + j].pos, headerList[first + j].size);
  }
  if (useindex) measureGaps();

  const std::int64_t hsize = htype.headerSize(headerRecords());
  const std::int64_t ifileSize = io::fileSize(disk, *ifile);
  const std::int64_t firstPos = headerList[first].pos;
  if (firstPos < 0 || firstPos > ifileSize) {
    throw Failure("Error: the first element in range lies " +
                  std::string(firstPos < 0 ? "before the start" : "beyond the end") + " of " +
                  *ifile + "\n");
  }
  if (useindex) {
    for (std::size_t j = 0; j < count; ++j) {
      const std::int64_t gap = headerList[first + j].size;
      if (gap > 0 && !inside(oldEnd[j], gap, ifileSize)) {
        throw Failure(format("Error: the gap after header record %lld reaches past the end "
                             "of the import file\n",
                             headerList[first + j].index));
      }
    }
  }

  inputs.refuse(oname);
  if (hname) inputs.refuse(hdrname);
  // The field that names the header's offset is rewritten when the header
  // moves; it must lie in the bytes in front of the first element, which
  // stay where they were.
  if (hpfield && place.behind && arith::add(hpfield->off, hpfield->width) > firstPos) {
    throw Failure(format("Error: the -hp field at %lld lies behind the first element in range "
                         "(%lld); the moved header's offset could not be written there\n",
                         hpfield->off, firstPos));
  }
  prepareElements(false);

  // The planned positions: the edited elements back to back from where the
  // first replaced one starts.
  positionsFromSizes(elements);
  shiftPositions(elements, firstPos);

  std::vector<std::uint8_t> header;
  if (tblname) {
    header.assign(static_cast<std::size_t>(place.length), 0);  // rewritten once sizes are known
  } else {
    patchImportHeader(header);
  }
  printElements();
  const auto headerBytes = static_cast<std::int64_t>(header.size());

  // The bytes in front of the first element; a header among them is written
  // anew in its place.
  bool changed = false;
  if (place.inData && !place.behind) {
    mustCopyRange(*ifile, oname, 0, 0, hbase, omode.c_str());
    mustWriteAt(oname, header.data(), 0, headerBytes, "ab");
    const std::int64_t rest = arith::add(hbase, headerBytes);
    mustCopyRange(*ifile, oname, rest, 0, arith::sub(firstPos, rest), "ab");
    const std::int64_t lead = arith::sub(firstPos, arith::add(hbase, hsize));
    if (lead > 0) io::out(" space between header and data %lld\n", static_cast<long long>(lead));
  } else {
    mustCopyRange(*ifile, oname, 0, 0, firstPos, omode.c_str());
    if (hname && firstPos > 0) {
      io::out(" space between file start and data %lld\n", static_cast<long long>(firstPos));
    }
  }

  // The elements, each followed by its gap. `at` is where the next element
  // lands; it moves by what each copy really wrote. A header behind the
  // first element travels with the gap of the element in front of it, or,
  // with "-ind", which drops the gaps, is written right after that element.
  std::int64_t at = firstPos;
  std::int64_t readPos = 0;
  std::int64_t tailShift = 0;
  std::int64_t headerAt = hbase;
  for (std::size_t j = 0; j < count; ++j) {
    Element& e = elements[j];
    e.pos = at;
    putElement(e, static_cast<std::int32_t>(j), readPos, changed);
    at = arith::add(e.pos, e.size);
    if (j + 1 == count) tailShift = arith::sub(at, oldEnd[j]);

    if (place.behind && j + 1 == place.after) {
      if (useindex) {
        headerAt = arith::add(at, arith::sub(hbase, oldEnd[j]));
      } else {
        mustWriteAt(oname, header.data(), 0, headerBytes, "ab");
        headerAt = at;
        at = arith::add(at, headerBytes);
        changed = true;
      }
    }
    if (useindex) {
      std::int64_t gap = headerList[first + j].size;
      std::int64_t from = oldEnd[j];
      // The gap of the last replaced element holds the records carried over;
      // with position units the first of them must start on a unit
      // boundary too: the gap up to it, the fill, then the rest.
      if (j + 1 == count && last + 1 < headerList.size() && fields.posUnit > 1) {
        const std::int64_t next = headerList[last + 1].pos;
        const std::int64_t before = arith::sub(next, from);
        if (before >= 0 && before <= gap) {
          if (before > 0) mustCopyRange(*ifile, oname, from, 0, before, "ab");
          at = arith::add(at, before);
          const std::int64_t aligned =
              arith::add(pbase, io::FieldFormat::roundUp(arith::sub(at, pbase), fields.posUnit));
          if (aligned != at) mustFillAt(oname, fill, 0, arith::sub(aligned, at), "ab");
          at = aligned;
          tailShift = arith::sub(at, next);
          // A header among the carried records moves as they do.
          if (place.behind && j + 1 == place.after && hbase >= next) {
            headerAt = arith::add(hbase, tailShift);
          }
          gap -= before;
          from = next;
          changed = true;
        }
      }
      if (gap > 0) {
        mustCopyRange(*ifile, oname, from, 0, gap, "ab");
        at = arith::add(at, gap);
        changed = true;
      }
    }
  }
  // Records carried over behind the last replaced one move with their bytes.
  if (last + 1 < headerList.size() && tailShift != 0) changed = true;

  // A header behind the first element was copied as it was: it is always
  // patched where it landed.
  if (tblname || changed || place.behind) {
    patchImportHeader(header, tailShift);
    printElements();
    if (place.inData) {
      mustWriteAt(oname, header.data(), arith::add(ostart, headerAt), headerBytes, "rb+");
    }
  }
  if (headerAt != hbase) {
    io::out("header moved to offset %lld\n", static_cast<long long>(headerAt));
    if (hpfield) writeHeaderOffset(*this, headerAt);
  }
  padToExact(*this, oname, exkind, exsize, fill);
}

}  // namespace dataport
