// Filling the element lists for a mode: from the header, from a DFile (the
// elements each followed by the separator) or from numbered element files.
//
// The scans give each element the running sum of the sizes before it as its
// position and then move the positions behind the header that the elements
// will follow in the file being built. Positions are file positions: pbase is
// never added here (the header stores pos - pbase).

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "dataport/failure.h"
#include "dataport/header/arith.h"
#include "dataport/io/byte_search.h"
#include "dataport/io/console.h"
#include "dataport/io/file_helpers.h"
#include "dataport/job.h"

namespace dataport {
namespace {

/// The DFile is read through a window of this many bytes at a time.
constexpr std::int64_t kMaxBuf = 1048576;

}  // namespace

void Job::loadElements() {
  switch (mode) {
    case kSplit:
      readHeader(false);
      break;
    case kJoin:
      perfile ? scanNumberedFiles() : scanDFile();
      break;
    case kImport:
      readHeader(true);
      perfile ? scanNumberedFiles() : scanDFile();
      break;
    case kSplitDFile:
      scanDFile();
      break;
    case kJoinDFile:
      scanNumberedFiles();
      break;
    default:
      break;
  }
}

// The file is searched window by window. After the last separator found in a
// window, the final seplen - 1 bytes move to the front of the window, so that
// a separator cut by the window's end is found after the next read; the bytes
// dropped before them are counted in `carried`, so every element gets its full
// size however many windows it spans.
void Job::scanDFile() {
  const std::span<const std::uint8_t> separatorBytes = separator();
  const auto len = static_cast<std::int64_t>(separatorBytes.size());
  // A separator longer than the window could never be found whole in it.
  const std::int64_t window = std::max(kMaxBuf, 2 * len);
  std::vector<std::uint8_t> buf;
  try {
    buf.resize(static_cast<std::size_t>(window));
  } catch (const std::bad_alloc&) {
    throw Failure("cant alloc MAXBUF to read DFile\n");
  }

  Element e;
  e.index = 0;
  io::out("reading dfile %s\n", iname.c_str());

  if (len == 0) {
    const std::int64_t size = io::fileSize(disk, iname);
    if (size > 0) elements.push_back(Element{0, size, 0});
  } else {
    std::int64_t fileOff = 0;
    std::int64_t have = 0;     // bytes in the window
    std::int64_t carried = 0;  // bytes of the current element no longer in the window
    for (;;) {
      const std::int64_t got = io::readAt(disk, iname, buf.data() + have, fileOff, window - have);
      if (got <= 0) break;
      fileOff += got;
      have += got;
      io::out("reading data from dfile\n");

      std::int64_t start = 0;
      while (const std::uint8_t* hit =
                 io::findBytes(buf.data() + start, have - start, separatorBytes.data(), len)) {
        const std::int64_t at = hit - buf.data();
        io::out("a %lld Epos: %lld\n", static_cast<long long>(e.size), static_cast<long long>(e.pos));
        e.size = carried + (at - start) + (sepindata ? len : 0);
        io::out("b %lld Epos: %lld\n", static_cast<long long>(e.size), static_cast<long long>(e.pos));
        elements.push_back(e);
        e.pos = arith::add(e.pos, e.size);
        ++e.index;
        carried = 0;
        start = at + len;
      }
      const std::int64_t tail = have - start;
      const std::int64_t keep = std::min(tail, len - 1);
      carried += tail - keep;
      std::memmove(buf.data(), buf.data() + have - keep, static_cast<std::size_t>(keep));
      have = keep;
    }
  }

  io::out("hbase%llduheader size %lldpbase%lld\n", static_cast<long long>(hbase),
          static_cast<long long>(htype.headerSize(static_cast<std::int64_t>(elements.size()))),
          static_cast<long long>(pbase));
  if (hname) return;
  if (ifile) {
    shiftPositions(elements, arith::add(htype.headerSize(headerRecords()), hbase));
  } else if (mode != kSplitDFile) {
    shiftPositions(elements,
                   arith::add(htype.headerSize(static_cast<std::int64_t>(elements.size())), hbase));
  }
}

void Job::scanNumberedFiles() {
  Element e;
  e.index = 0;
  for (;;) {
    const std::int64_t size = io::fileSize(disk, iname + numberSuffix(e.index));
    if (size == -1) break;
    e.size = size;
    elements.push_back(e);
    e.pos = arith::add(e.pos, size);
    ++e.index;
  }
  if (hname) return;
  const std::int64_t records =
      ifile ? headerRecords() : static_cast<std::int64_t>(elements.size());
  shiftPositions(elements, arith::add(htype.headerSize(records), hbase));
}

}  // namespace dataport
