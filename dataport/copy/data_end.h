#pragma once
// The backward search for the end of an element's or a file's real data,
// shared by the element copy (trimming) and the input cut.

#include <cstdint>
#include <string>

#include "dataport/io/disk.h"

namespace dataport {

/// Bytes read at a time by the backward search: 256000 (not the 256 KiB of
/// the copies).
inline constexpr std::int64_t kTrimChunk = 256000;

/// Looks at name[off, off + size) from its end backwards, kTrimChunk bytes at
/// a time, for the last byte that is not `fill`, and prints per chunk the
/// trace lines "pos ", "buf[i] ...  buf[i-1] ..." and "i ". Returns the
/// length up to and including that byte, or -1 when every byte is `fill`
/// (also for size 0). Throws "Error: cant alloc memory for finding cut
/// position\n" and "Error: reading from end of file\n" (a chunk not read in
/// full, a negative size, a range that ends beyond the largest offset).
std::int64_t findDataEnd(io::Disk& disk, const std::string& name, std::int64_t off,
                         std::int64_t size, std::uint8_t fill);

}  // namespace dataport
