// Split mode: every element of the header whose position is in range goes
// out of the data file, either into a numbered file of its own ("-f") or
// into the one output file, each followed by the separator.

#include <iterator>
#include <span>
#include <string>

#include "dataport/copy/copy_element.h"
#include "dataport/copy/output_guard.h"
#include "dataport/io/console.h"
#include "dataport/job.h"

namespace dataport {

void Job::splitElements() {
  const std::string out = oname;

  // With "-c"/"-cl" the elements come from the input's kept beginning.
  cutInputIfAsked(iname);

  loadElements();
  htype.printHtype();
  const std::int32_t inRange = countInRange();
  if (inRange == 0) io::err("no element lies in range\n");
  if (elements.empty()) return;  // no output file is created or changed

  const bool convert = tblname.has_value();
  const int reverse = static_cast<int>(tblreverse);
  std::int64_t written = 0;  // the copy's output count; split has no use for it

  // With "-tr" a hex-key table converts text to bytes here: every text is
  // converted ahead, before any output is written. Elements are numbered
  // as the numbered files are, in range only.
  std::int32_t number = 0;
  for (const Element& e : elements) {
    if (!posInRange(e.pos)) continue;
    prepareElement(*this, iname, e.pos, e.size, reverse, number++, blockkind, block, fill);
  }

  if (perfile) {
    // Every numbered name is checked before the first file is written.
    for (std::int32_t n = 0; n < inRange; ++n) inputs.refuse(out + numberSuffix(n));
    // Numbers go to the in-range elements only, without gaps. An element that
    // trimming leaves empty is not written by the copy, yet it still gets its
    // (empty) file: a missing number would end the list when the files are
    // read back, and a file of an earlier run would stand in for the element.
    std::int32_t n = 0;
    for (const Element& e : elements) {
      if (!posInRange(e.pos)) continue;
      const std::string name = out + numberSuffix(n);
      if (copyElement(*this, iname, name, e.pos, 0, e.size, omode.c_str(), convert, reverse,
                      written, blockkind, block, fill) == 0) {
        mustWriteAt(name, nullptr, 0, 0, omode.c_str());
      }
      ++n;
    }
    return;
  }

  // Creates or empties the output ("wb"), or leaves its content ("ab").
  inputs.refuse(out);
  mustWriteAt(out, nullptr, 0, 0, omode.c_str());
  const std::span<const std::uint8_t> separatorBytes = separator();
  for (const Element& e : elements) {
    if (!posInRange(e.pos)) continue;
    io::out("%lld  %lld\n", static_cast<long long>(e.pos), static_cast<long long>(e.size));
    copyElement(*this, iname, out, e.pos, 0, e.size, "ab", convert, reverse, written, blockkind,
                block, fill);
    if (!sepindata) mustWriteAt(out, separatorBytes.data(), 0, std::ssize(separatorBytes), "ab");
  }
}

}  // namespace dataport
