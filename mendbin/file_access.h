#pragma once
// Positioned access to the file being patched: the one small interface through
// which the patcher touches the disk, so that its logic can be tested on a
// file held in memory. The real implementation is SystemFile.

#include <cstdint>

namespace mendbin {

/// Outcome of one read or write: the byte count, or -1 with the error number.
struct IoResult {
  std::int64_t count = 0;  ///< bytes moved; 0 at the end of a file; -1 on failure
  int error = 0;           ///< errno value when count is -1
};

class FileAccess {
 public:
  virtual ~FileAccess() = default;
  /// Reads up to n bytes at pos. Returns the bytes read (fewer at the end of
  /// the file, 0 at or past it), or -1 with the error number.
  virtual IoResult readAt(std::int64_t pos, std::uint8_t* dst, std::int64_t n) = 0;
  /// Writes up to n bytes at pos. Returns the bytes written, or -1 with the
  /// error number.
  virtual IoResult writeAt(std::int64_t pos, const std::uint8_t* src, std::int64_t n) = 0;
  /// Moves the file position to pos. Returns 0, or the error number when the
  /// file cannot be positioned (a pipe, a terminal).
  virtual int seekTo(std::int64_t pos) = 0;
};

}  // namespace mendbin
