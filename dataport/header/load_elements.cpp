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
#include "dataport/io/failure_text.h"
#include "dataport/io/file_helpers.h"
#include "dataport/io/file_status.h"
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
      if (got <= 0) {
        const std::string problem = io::readProblem(disk, iname);
        if (!problem.empty()) throw Failure(problem);
        break;
      }
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

void Job::requireElements(const std::string& name) {
  if (elements.empty()) {
    throw Failure("Error: no element found in " + name + "\n" + separatorHint(name));
  }
}

// Only the default separator has a known LF form: LF, six asterisks,
// "xEnDx", six asterisks, LF. The DFile is searched for it window by
// window, each window overlapping the last by the form's length less one.
std::string Job::separatorHint(const std::string& name) {
  const std::span<const std::uint8_t> used = separator();
  if (perfile && mode != kSplitDFile) return {};
  if (!std::equal(used.begin(), used.end(), kDefaultSeparator, kDefaultSeparator + kDefaultSeplen)) {
    return {};
  }
  static constexpr std::uint8_t kLfForm[] = "\n******xEnDx******\n";
  constexpr std::int64_t len = sizeof kLfForm - 1;
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(kMaxBuf));
  for (std::int64_t off = 0;; off += kMaxBuf - (len - 1)) {
    const std::int64_t got = io::readAt(disk, iname, buf.data(), off, kMaxBuf);
    if (got < len) return {};
    if (io::findBytes(buf.data(), got, kLfForm, len) != nullptr) {
      return name + ": its separators end in LF, not CR LF; give the separator with -d or -df\n";
    }
    if (got < kMaxBuf) return {};
  }
}

// Each numbered file is opened once here, so that one that cannot be read
// ends the run before anything is written; the Disk keeps it open for the
// copy that follows. A missing number ends the list; a missing first file
// is a missing input.
void Job::scanNumberedFiles() {
  Element e;
  e.index = 0;
  for (;;) {
    const std::string name = iname + numberSuffix(e.index);
    const io::FileStatus st = io::fileStatus(name);
    if (st.kind == io::FileKind::Missing) {
      if (e.index == 0) throw Failure(name + ":input file not found\n");
      break;
    }
    requireInput(name);
    inputs.add(st.id);
    e.size = st.size;
    elements.push_back(e);
    e.pos = arith::add(e.pos, st.size);
    ++e.index;
  }
  if (hname) return;
  const std::int64_t records =
      ifile ? headerRecords() : static_cast<std::int64_t>(elements.size());
  shiftPositions(elements, arith::add(htype.headerSize(records), hbase));
}

}  // namespace dataport
