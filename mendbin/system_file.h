#pragma once
// The platform's side of mendbin: the real files of a run (the listing, read
// front to back, and the file being patched, read and written at positions)
// and the command-line words. One implementation per platform,
// system_file_posix.cpp and system_file_win32.cpp, chosen by the build.
// Names and words are UTF-8; on Windows the wide command line and the wide
// file functions carry them, so that any file name works.

#include <cstdint>
#include <string>
#include <vector>

#include "mendbin/file_access.h"

namespace mendbin {

class SystemFile : public FileAccess {
 public:
  SystemFile() = default;
  ~SystemFile() override;  ///< Closes the file; a failure there is lost (use close()).
  SystemFile(const SystemFile&) = delete;
  SystemFile& operator=(const SystemFile&) = delete;

  /// Opens an existing file, in binary mode: for reading only, or with
  /// `update` for reading and writing, neither created nor truncated.
  /// Returns 0 or the error number (an errno value, on Windows too).
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

/// Makes standard output and standard error carry the program's bytes
/// unchanged (on Windows: binary, no CR added before LF).
void useBinaryStandardStreams();

/// The words of the command line in UTF-8, the program's name first.
std::vector<std::string> commandLineWords(int argc, char** argv);

}  // namespace mendbin
