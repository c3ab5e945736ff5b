// Join mode: builds a new data file with a fresh header from a DFile or from
// numbered files alone.
//
// The output holds hbase fill bytes, the header, and the elements back to
// back (with an HFILE name the fill bytes and the header go to hdrname and
// the output holds only the elements). The header is built before the
// copies from the planned sizes, and built and written again when a copy
// wrote another length (block padding, trimming) or a table converted.
// Positions are file positions in the output; buildHeader stores pos - pbase.

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "dataport/copy/copy_element.h"
#include "dataport/copy/output_guard.h"
#include "dataport/copy/pad_to_exact.h"
#include "dataport/header/arith.h"
#include "dataport/io/console.h"
#include "dataport/job.h"

namespace dataport {

// The element's new length is the count of output bytes the copy kept in
// `real` with a table, and the copy's return without one. With position
// units the element first moves up to the next unit boundary (counted from
// pbase), fill bytes standing before it; with size units it is padded with
// fill bytes to a whole number of units.
void Job::putElement(Element& e, std::int32_t number, std::int64_t& readPos, bool& changed) {
  const std::int64_t aligned =
      arith::add(pbase, io::FieldFormat::roundUp(arith::sub(e.pos, pbase), fields.posUnit));
  if (aligned != e.pos) {
    mustFillAt(oname, fill, 0, arith::sub(aligned, e.pos), "ab");
    e.pos = aligned;
    changed = true;
  }
  const std::string source = perfile ? iname + numberSuffix(number) : iname;
  std::int64_t real = 0;
  const std::int64_t written =
      copyElement(*this, source, oname, perfile ? 0 : readPos, 0, e.size, "ab",
                  tblname.has_value(), 1 - static_cast<int>(tblreverse), real, blockkind, block,
                  fill);
  if (!perfile) readPos += e.size + (sepindata ? 0 : std::ssize(separator()));
  std::int64_t newSize = tblname ? real : written;
  const std::int64_t padded = io::FieldFormat::roundUp(newSize, fields.sizeUnit);
  if (padded != newSize) {
    mustFillAt(oname, fill, 0, padded - newSize, "ab");
    newSize = padded;
  }
  if (!tblname && newSize != e.size) changed = true;
  e.size = newSize;
}

void Job::prepareElements(bool byIndex) {
  const int direction = 1 - static_cast<int>(tblreverse);
  if (!hextable || direction == 0) return;
  std::int64_t readPos = 0;
  for (std::size_t j = 0; j < elements.size(); ++j) {
    const Element& e = elements[j];
    const std::int32_t number = byIndex ? e.index : static_cast<std::int32_t>(j);
    const std::string source = perfile ? iname + numberSuffix(number) : iname;
    prepareElement(*this, source, perfile ? 0 : readPos, e.size, direction, number, blockkind,
                   block, fill);
    if (!perfile) readPos += e.size + (sepindata ? 0 : std::ssize(separator()));
  }
}

void Job::joinElements() {
  io::out("joining\n");
  loadElements();
  requireElements(iname);
  inputs.refuse(oname);
  if (hname) inputs.refuse(hdrname);
  prepareElements(true);

  const auto n = static_cast<std::int64_t>(elements.size());
  std::vector<std::uint8_t> header;
  buildHeader(header);
  const std::int64_t hsize = htype.headerSize(n);
  printElements();

  if (hname) {
    mustFillAt(hdrname, fill, 0, hbase, "wb");
    mustWriteAt(hdrname, header.data(), 0, hsize, "ab");
    mustWriteAt(oname, nullptr, 0, 0, omode.c_str());
  } else {
    mustFillAt(oname, fill, 0, hbase, omode.c_str());
    mustWriteAt(oname, header.data(), 0, hsize, "ab");
  }

  // The elements back to back; `at` is where the next one lands. The scan
  // planned the first one behind the header (at 0 with an HFILE), and found
  // it at the start of the DFile.
  bool changed = false;
  std::int64_t at = elements[0].pos;
  std::int64_t readPos = 0;
  for (Element& e : elements) {
    e.pos = at;
    putElement(e, e.index, readPos, changed);
    at = arith::add(e.pos, e.size);
  }

  if (tblname || changed) {
    buildHeader(header);
    printElements();
    if (hname) {
      mustWriteAt(hdrname, header.data(), hbase, hsize, "rb+");
    } else {
      mustWriteAt(oname, header.data(), arith::add(ostart, hbase), hsize, "rb+");
    }
  }
  padToExact(*this, oname, exkind, exsize, fill);
}

}  // namespace dataport
