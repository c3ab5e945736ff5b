#pragma once
// The Disk: the only place where dataport opens, reads, writes and closes
// files. Every helper of file_helpers.h goes through it.
//
// The modes work step by step: each step opens its files, moves some bytes
// and closes them again. Opening and closing a file for every element costs
// several system calls per element, so the Disk keeps regular files open
// across steps (a small cache keyed by the file's identity, not its name) and
// gathers consecutive writes in a buffer. The files always read as the
// step-by-step design would leave them:
//   - a read of a file first writes out what is buffered for it;
//   - "wb" empties the file at the moment it is opened;
//   - "ab" writes go to the current end of the file, buffered bytes counted;
//   - fileSize() counts buffered bytes;
//   - closeAll() (end of run, also after an error) writes everything out.
// Files that are not regular (devices, pipes) are opened and closed per
// operation and written through at once.
//
// A write that fails when its buffer is written out later is reported by the
// operation that wrote it out, or by closeAll().
//
// The Disk takes itself for the only writer of the files it keeps open:
// changes another program (or another Disk) makes to such a file during the
// run may go unseen until closeAll(). closeAll() reports every write failure
// of the run, also one an operation already reported by a short count.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dataport::io {

/// How an operation opens a file, as the C open modes name them.
enum class OpenMode {
  Read,    ///< "rb": must exist; read only
  Write,   ///< "wb": created or emptied when opened
  Append,  ///< "ab": created when missing; every write goes to the end
  Update,  ///< "rb+": must exist; writes at the given position, nothing truncated
};

/// Parses "rb", "wb", "ab", "rb+" (also "r+b"). REQUIRES: one of these.
OpenMode parseOpenMode(const char* mode);

/// A failed open, read, write or close: the file's name, whether the file
/// was being written, and the system's error number.
struct IoError {
  std::string name;
  bool write = false;
  int code = 0;
};

class Disk {
 public:
  Disk();
  ~Disk();  ///< Writes out and closes everything; failures are lost (use closeAll first).
  Disk(const Disk&) = delete;
  Disk& operator=(const Disk&) = delete;

  /// Handle of an open file for the duration of one operation; -1 = not open.
  using Handle = int;

  /// Opens `name` in `mode`. Returns -1 when the file cannot be opened
  /// (missing for Read/Update, a directory, no permission).
  Handle open(const std::string& name, OpenMode mode);
  /// Ends one operation's use of a handle. The file may stay open in the
  /// cache. Returns false when a write to it is known to have failed.
  bool release(Handle h);

  /// Reads up to n bytes at offset off. Returns the bytes read (fewer at the
  /// end of the file, 0 at or past it), or -1 on a read error.
  std::int64_t read(Handle h, std::uint8_t* dst, std::int64_t n, std::int64_t off);
  /// Writes n bytes at offset off (for an Append handle: at the end of the
  /// file, off ignored). Returns the bytes accepted; fewer on failure.
  std::int64_t write(Handle h, const std::uint8_t* src, std::int64_t n, std::int64_t off);
  /// Current size of the open file, buffered bytes counted.
  std::int64_t size(Handle h);

  /// Size of a regular file by name (buffered bytes counted), or -1 when the
  /// name is missing or not a regular file.
  std::int64_t fileSize(const std::string& name);

  /// Writes out and closes the file `name` leads to, if the Disk holds it
  /// open, before another program or a removal changes what the name means.
  void forget(const std::string& name);

  /// The last failure since the last open() call began, if any: every
  /// operation opens its files first, so this is the failure of the
  /// operation just done (a deferred write that failed meanwhile included).
  const std::optional<IoError>& lastError() const;

  /// Writes out and closes every file. Returns true when all went well;
  /// otherwise false, with the name of the first file that failed.
  bool closeAll(std::string* failedName);
  /// The same, giving every file whose writes failed during the run, each
  /// once, in the order the run first wrote to them.
  bool closeAll(std::vector<IoError>& failed);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dataport::io
