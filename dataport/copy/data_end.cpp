#include "dataport/copy/data_end.h"

#include <algorithm>
#include <limits>
#include <new>
#include <vector>

#include "dataport/failure.h"
#include "dataport/io/console.h"
#include "dataport/io/failure_text.h"
#include "dataport/io/file_helpers.h"

namespace dataport {

std::int64_t findDataEnd(io::Disk& disk, const std::string& name, std::int64_t off,
                         std::int64_t size, std::uint8_t fill) {
  // A negative size (a size field gone wrong) or a range whose end cannot
  // be an offset has no chunk that could be read in full.
  if (size < 0 || off > std::numeric_limits<std::int64_t>::max() - size) {
    throw Failure("Error: reading from end of file\n");
  }
  std::int64_t chunk = std::min(size, kTrimChunk);
  std::vector<std::uint8_t> buf;
  try {
    buf.resize(static_cast<std::size_t>(chunk));
  } catch (const std::bad_alloc&) {
    throw Failure("Error: cant alloc memory for finding cut position\n");
  }

  // The chunks are taken from the end; the last one (nearest the start) is
  // whatever is left over, so every chunk but that one is kTrimChunk long.
  // A chunk of one byte has no byte before its last: the trace shows 0 there.
  std::int64_t pos = size;
  while (pos != 0) {
    if (pos < chunk) {
      chunk = pos;
      pos = 0;
    } else {
      pos -= chunk;
    }
    io::out("pos %lld\n", static_cast<long long>(pos));
    if (io::readAt(disk, name, buf.data(), off + pos, chunk) != chunk) {
      throw Failure(io::readProblem(disk, name) + "Error: reading from end of file\n");
    }
    const auto signedByte = [&](std::int64_t k) {
      return k >= 0 ? static_cast<int>(static_cast<std::int8_t>(buf[k])) : 0;
    };
    io::out("buf[i] %d  buf[i-1] %d\n", signedByte(chunk - 1), signedByte(chunk - 2));
    std::int64_t i = chunk - 1;
    while (i >= 0 && buf[i] == fill) --i;
    io::out("i %lld\n", static_cast<long long>(i));
    if (i >= 0) return pos + i + 1;
  }
  return -1;
}

}  // namespace dataport
