// DFile split and join: convert between a DFile (each element followed by
// the separator) and numbered files, one per element, without any header.
//
// The DFile split reads each element from its offset in the DFile: the scan
// gives positions that leave the separators out, so the read position counts
// them itself. The DFile join writes every numbered file into one output,
// each followed by the separator. Bytes after the last separator of a DFile
// form no element, so a split and a join give the DFile back up to its last
// separator.

#include <cstdint>
#include <iterator>
#include <string>

#include "dataport/copy/copy_element.h"
#include "dataport/copy/pad_to_exact.h"
#include "dataport/io/console.h"
#include "dataport/job.h"

namespace dataport {

void Job::splitDFile() {
  io::out("spliting DFIle\n");
  const std::string dfile = iname;
  cutInputIfAsked(iname);
  loadElements();
  printElements();
  requireElements(dfile);
  const std::int32_t inRange = countInRange();
  if (inRange == 0) io::err("no element lies in range\n");
  for (std::int32_t n = 0; n < inRange; ++n) inputs.refuse(oname + numberSuffix(n));
  const int direction = 1 - static_cast<int>(tblreverse);

  // Twice over the elements: first (with a hex-key table) every text is
  // converted ahead, so that one without a table entry stops the run before
  // any file is written; then the files are written.
  for (const bool write : {false, true}) {
    std::int32_t k = 0;
    std::int64_t readPos = elements[0].pos;
    for (const Element& e : elements) {
      if (posInRange(e.pos)) {
        if (write) {
          std::int64_t real = 0;
          copyElement(*this, iname, oname + numberSuffix(k), readPos, 0, e.size, omode.c_str(),
                      tblname.has_value(), direction, real, blockkind, block, fill);
        } else {
          prepareElement(*this, iname, readPos, e.size, direction, k, blockkind, block, fill);
        }
        ++k;
      }
      readPos += e.size + (sepindata ? 0 : std::ssize(separator()));
    }
  }
}

void Job::joinDFile() {
  io::out("Joining DFile\n");
  loadElements();
  inputs.refuse(oname);

  // With "-tr" a hex-key table converts text to bytes here: every text is
  // converted ahead, before the output is written.
  for (const Element& e : elements) {
    prepareElement(*this, iname + numberSuffix(e.index), 0, e.size, static_cast<int>(tblreverse),
                   e.index, blockkind, block, fill);
  }
  mustWriteAt(oname, nullptr, 0, 0, omode.c_str());
  for (const Element& e : elements) {
    std::int64_t real = 0;
    copyElement(*this, iname + numberSuffix(e.index), oname, 0, 0, e.size, "ab",
                tblname.has_value(), static_cast<int>(tblreverse), real, blockkind, block, fill);
    if (!sepindata) mustWriteAt(oname, separator().data(), 0, std::ssize(separator()), "ab");
  }
  padToExact(*this, oname, exkind, exsize, fill);
}

}  // namespace dataport
