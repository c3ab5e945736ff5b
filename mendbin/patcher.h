#pragma once
// The patcher: applies listing entries to the file being patched, with every
// check and message of a run, and the loop over a whole listing.
//
// Each entry is applied as a stream-based patcher applies it: position at the
// offset, read the byte, compare it with the expected and the new byte, write
// the new byte, flush, read it back and compare. The bytes go through a
// BlockCache, so that a million entries cost a few thousand system calls:
//
//  - For a file that holds what is written to it (a regular file, a block
//    device) the cache keeps blocks across entries. A byte read back from the
//    cache always equals the byte just written, so for these files the
//    read-back check moves to the point where the bytes really reach the
//    file: every write-back reads its span back and reports "verify fail"
//    for each changed byte that the file does not hold. A write that fails
//    there is reported as the failed flush it is ("failed flush file"), with
//    "-n" too.
//  - For any other file (a character device such as /dev/zero, which forgets
//    what is written) every positioning first writes out what is pending and
//    forgets what was read, and a verified entry flushes at once, so that each
//    entry reads, writes and reads back the file itself.
//
// Before a fatal error is reported, the bytes of the entries before it are
// written to the file, so that they stay applied. When that write fails, its
// failure came first and is the error reported.

#include <cstdint>
#include <functional>
#include <string>

#include "mendbin/block_cache.h"
#include "mendbin/file_access.h"
#include "mendbin/listing_reader.h"

namespace mendbin {

/// Settings of a run, from the option words.
struct Settings {
  bool verify = true;      ///< check each byte before writing it and read it back
  bool revert = false;     ///< exchange the expected and the new byte of every entry
  bool checkOnly = false;  ///< check the whole listing against the file, write nothing
};

/// Receives each message (one complete line) as it is produced.
using Report = std::function<void(const std::string& line)>;

/// The highest file position that can be patched; offsets above it are
/// negative positions for a 32-bit file offset.
inline constexpr std::uint32_t kMaxPosition = 0x7FFFFFFF;

class Patcher {
 public:
  /// `holdsData`: the file returns what was written to it (regular file or
  /// block device), so blocks can stay cached between entries.
  /// REQUIRES: `file` outlives the patcher.
  Patcher(FileAccess& file, std::string path, Settings settings, bool holdsData, Report report);

  /// Applies one entry. Returns false after a fatal error, which has been
  /// reported; the entries applied before it are on the file.
  bool apply(const PatchEntry& entry);
  /// Writes every pending byte to the file at the end of the listing.
  /// Returns false after reporting a failure.
  bool finish();
  /// Reads the byte at `offset` as a verified entry would find it, without
  /// writing anything. False, with the message of the failure in `error`, for
  /// an offset that cannot be positioned or read (at or past the end of the
  /// file: "offset beyond end of file").
  bool peek(std::uint32_t offset, std::uint8_t& value, std::string& error);
  /// The file's name as typed.
  const std::string& path() const { return path_; }
  /// True once a byte read back was not the one written ("verify fail").
  bool verifyFailed() const { return verifyFailed_; }
  /// Ends the run with a fatal error: writes the pending bytes of the entries
  /// before, then reports `message` (or the failure of that write). Returns false.
  bool stop(const std::string& message);

  /// Block configuration used for a file that holds its data.
  static BlockCache::Config cachedConfig(bool verify);
  /// Block configuration used for any other file.
  static BlockCache::Config directConfig();

 private:
  bool position(std::uint32_t offset);
  bool fetch(std::uint32_t offset, std::uint8_t& value);
  bool store(std::uint32_t offset, std::uint8_t value);
  bool flush();
  std::string failureText(const CacheResult& r) const;
  void reportVerifyFail(std::int64_t pos);
  std::string fileError(const char* what, int error) const;

  FileAccess& file_;
  std::string path_;
  Settings settings_;
  bool holdsData_;
  Report report_;
  bool verifyFailed_ = false;
  BlockCache cache_;
};

/// "ERROR: unknown data, not patching : pos <dec> (0x<HEX>) : <path>\n"
std::string unknownDataMessage(const std::string& path, std::int64_t offset);

/// "ERROR: error reading file: <path> : <error text>\n"
std::string listingReadError(const std::string& path, int error);

}  // namespace mendbin
