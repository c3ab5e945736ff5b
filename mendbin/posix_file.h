#pragma once
// The real files of a run: the listing, read front to back, and the file
// being patched, read and written at positions.

#include <cstdint>

#include "mendbin/file_access.h"

namespace mendbin {

class PosixFile : public FileAccess {
 public:
  PosixFile() = default;
  ~PosixFile() override;  ///< Closes the file; a failure there is lost (use close()).
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  /// Opens an existing file: for reading only, or with `update` for reading
  /// and writing, neither created nor truncated. Returns 0 or the error number.
  int open(const char* path, bool update);
  /// Reads up to n bytes from the current position on.
  IoResult read(std::uint8_t* dst, std::int64_t n);
  IoResult readAt(std::int64_t pos, std::uint8_t* dst, std::int64_t n) override;
  IoResult writeAt(std::int64_t pos, const std::uint8_t* src, std::int64_t n) override;
  int seekTo(std::int64_t pos) override;
  /// True when the file reads back what was written to it: a regular file or
  /// a block device (not a character device, pipe or socket).
  bool holdsData() const;
  /// Closes the file. Returns 0, or the error number of a failed close.
  int close();

 private:
  int fd_ = -1;
};

}  // namespace mendbin
