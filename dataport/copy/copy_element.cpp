#include "dataport/copy/copy_element.h"

#include <algorithm>

#include "dataport/copy/data_end.h"
#include "dataport/failure.h"
#include "dataport/io/console.h"
#include "dataport/io/failure_text.h"
#include "dataport/io/file_helpers.h"
#include "dataport/job.h"
#include "dataport/table/hex_table.h"
#include "dataport/table/tbs_table.h"

namespace dataport {
namespace {

long long ll(std::int64_t v) { return static_cast<long long>(v); }

/// Block values show in the trace as signed 32-bit numbers; a padded length
/// that has grown beyond 32 bits (an element beyond 4 GiB) shows in full.
long long signed32(std::int64_t v) {
  if (v >= 0 && v <= 0xFFFFFFFFLL) return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return v;
}

// Shortens `size` to the element's data and the fill the kind keeps. Returns
// false when nothing of the element is to be written at all.
bool keptSize(Job& job, const std::string& inName, std::int64_t inOff, std::int64_t& size,
              std::uint32_t blockKind, std::uint32_t block, std::uint8_t fill) {
  const std::int64_t end = findDataEnd(job.disk, inName, inOff, size, fill);
  if (end >= 0) size = blockKind == 16 ? end : std::min<std::int64_t>(size, end + block);
  if (end >= 0) return true;
  // All fill (or empty): kind 32 still keeps up to `block` fill bytes.
  if (blockKind == 32 && static_cast<std::int32_t>(block) > 0) {
    size = std::min<std::int64_t>(size, block);
    return true;
  }
  return false;
}

// keptSize with its trace.
bool trimElement(Job& job, const std::string& inName, std::int64_t inOff, std::int64_t& size,
                 std::uint32_t blockKind, std::uint32_t block, std::uint8_t fill) {
  io::out("old size %lld\n", ll(size));
  const bool kept = keptSize(job, inName, inOff, size, blockKind, block, fill);
  io::out("new size %lld\n", ll(size));
  return kept;
}

// Pads the element at the end of outName to exactly `block` bytes (kind 1)
// or to the next multiple of `block` (kind 2); returns the padded length.
std::int64_t padElement(Job& job, const std::string& outName, std::int64_t size,
                        std::int64_t& written, std::uint32_t blockKind, std::uint32_t block,
                        std::uint8_t fill, bool hasTable) {
  const std::int64_t b = block;
  const std::int64_t rem = size % b;
  io::out("block %d size %lld (block - size%%block)%lld", static_cast<std::int32_t>(block),
          ll(size), ll(b - rem));
  std::int64_t target = b;
  if (blockKind == 2) target = rem != 0 ? size + b - rem : size;
  // A kind 1 element longer than its block shows the difference as the
  // unsigned 32-bit number it wraps to, just before the run ends.
  io::out("res block %lld res size %lld block-size %u\n", signed32(target), ll(size),
          static_cast<std::uint32_t>(target - size));
  if (target > size) {
    job.mustFillAt(outName, fill, 0, target - size, "ab");
  } else if (target < size) {
    throw Failure("Error: block is bigger than max(exact) block size\n");
  }
  io::out("res block %lld res written %lld", signed32(target), ll(written));
  if (hasTable) written += target - size;
  io::out(" writenReal %lld\n", ll(written));
  return target;
}

/// The line that names the file that made a copy fall short: the input when
/// its read failed, the output (with every other incomplete one) when its
/// write failed; nothing when the input just ended early.
std::string copyFailureLines(Job& job, const std::string& inName, const std::string& outName) {
  const std::optional<io::IoError>& last = job.disk.lastError();
  if (!last) return {};
  if (!last->write) return io::readProblem(job.disk, inName);
  if (last->name != outName) return {};
  return job.incompleteOutputs(outName, last->code);
}

}  // namespace

// The element's length changes on the way in this order: trimmed of its
// trailing fill (kinds 16, 32), converted (lengths then count output bytes),
// extended by blockadd fill bytes, padded to its block (kinds 1, 2). Fill and
// padding always go to the end of the output, whatever its open mode.
//
// Kinds 1 and 2 with block 0 have no block to pad to: the padding step is
// left out, as for kind 0 (no trace lines, no division).
std::int64_t copyElement(Job& job, const std::string& inName, const std::string& outName,
                         std::int64_t inOff, std::int64_t outOff, std::int64_t size,
                         const char* mode, bool convert, int reverse, std::int64_t& written,
                         std::uint32_t blockKind, std::uint32_t block, std::uint8_t fill) {
  const bool hasTable = job.tblname.has_value();
  io::out("%d block %d blockadd %d\n", static_cast<std::int32_t>(blockKind),
          static_cast<std::int32_t>(block), static_cast<std::int32_t>(job.blockadd));

  if (blockKind == 16 || blockKind == 32) {
    if (!trimElement(job, inName, inOff, size, blockKind, block, fill)) {
      if (hasTable) written = 0;
      return 0;
    }
  }

  // A negative size (a size field gone wrong) cannot be copied: it takes the
  // path of any other copy that fell short. A copy of no bytes counts 0
  // whether or not its output could be opened, so an empty element only opens
  // its output, checked.
  std::int64_t copied = 0;
  if (size == 0) {
    job.mustWriteAt(outName, nullptr, outOff, 0, mode);
    if (convert) written = 0;
  } else if (size > 0) {
    if (!convert) {
      copied = io::copyRange(job.disk, inName, outName, inOff, outOff, size, mode);
    } else if (job.hextable) {
      // A hex-key table has no unmatched text here: it was refused ahead.
      copied = job.hextable->convertRange(job.disk, inName, outName, inOff, outOff, size, mode,
                                          reverse, written);
    } else {
      // Text converted back into data counts the bytes no entry matched.
      copied = table::tbsTable().convertRange(job.disk, inName, outName, inOff, outOff, size,
                                              mode, reverse, written,
                                              reverse != 0 ? &job.noEntryBytes : nullptr);
    }
  }
  if (copied != size) {
    io::out("ipos %lld, opos %lld ,writen real %lld\n", ll(inOff), ll(outOff), ll(written));
    io::out("iname %s, oname %s,copied %lld  ,copy size %lld ,tbstable %s\n", inName.c_str(),
            outName.c_str(), ll(copied), ll(size), convert ? "yes" : "no");
    throw Failure(copyFailureLines(job, inName, outName) + "Error: coping data\n");
  }
  if (hasTable) size = written;

  if (static_cast<std::int32_t>(job.blockadd) > 0) {
    job.mustFillAt(outName, fill, 0, job.blockadd, "ab");
    size += job.blockadd;
    if (hasTable) written += job.blockadd;
  }

  if ((blockKind == 1 || blockKind == 2) && block != 0) {
    size = padElement(job, outName, size, written, blockKind, block, fill, hasTable);
  }
  return size;
}

// The range the copy will convert is the element after trimming; a text
// that no entry matches is reported with the element's number. A range that
// cannot be read is left to the copy, which reports it.
void prepareElement(Job& job, const std::string& inName, std::int64_t inOff, std::int64_t size,
                    int reverse, std::int32_t number, std::uint32_t blockKind,
                    std::uint32_t block, std::uint8_t fill) {
  if (!job.hextable || reverse == 0) return;
  if ((blockKind == 16 || blockKind == 32) &&
      !keptSize(job, inName, inOff, size, blockKind, block, fill)) {
    return;
  }
  if (size <= 0) return;
  std::string unmatched;
  if (!job.hextable->prepare(job.disk, inName, inOff, size, reverse, unmatched) &&
      !unmatched.empty()) {
    throw Failure("element " + std::to_string(number) + ": no table entry for: " + unmatched +
                  "\n");
  }
}

}  // namespace dataport
