#pragma once
// A bounded write-back cache of file blocks for the byte patcher.
//
// A listing changes one byte per entry, often a million of them. Reading and
// writing each byte with its own system calls would cost several calls per
// entry, so the cache reads a block once, when a byte of it is first read,
// changes bytes in memory and writes each block's changed bytes back
// together: when the block must make room for another one, and at
// writeBack(). A later entry therefore always
// sees what an earlier entry wrote at the same position.
//
// A write does not read its block. At write-back a block that was read goes
// out as one span from its first to its last changed byte. A block that was
// only written goes out run by run while it has a few runs of changed bytes
// (a listing spread thin over a large file costs one call per block); with
// more, the bytes between them are read from the file first and the whole
// span goes out in one call.
//
// Written bytes are checked where they can fail: each write-back reports a
// failed or short write, and with `verifyWriteBack` the span just written is
// read back from the file and every changed byte that the file does not hold
// is passed to the mismatch callback, in ascending position order per block.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "mendbin/file_access.h"

namespace mendbin {

/// Outcome of a cache operation.
enum class CacheStatus {
  ok,
  endOfFile,       ///< the byte asked for lies at or past the end of the file
  readFailed,      ///< reading a block failed; `error` holds the error number
  writeFailed,     ///< writing a block back failed; `error` holds the error number
  readBackFailed,  ///< reading a written span back failed or came short
  allocFailed,     ///< no memory for another block
};

struct CacheResult {
  CacheStatus status = CacheStatus::ok;
  int error = 0;  ///< errno value; 0 where the platform gave none (end of file)
  bool ok() const { return status == CacheStatus::ok; }
};

class BlockCache {
 public:
  struct Config {
    std::int64_t blockSize = 4096;  ///< bytes per block; a power of two
    std::int64_t capacity = 8192;   ///< blocks held at most
    /// Read each written span back and report the changed bytes it lacks.
    bool verifyWriteBack = false;
  };

  /// REQUIRES: `file` outlives the cache.
  BlockCache(FileAccess& file, Config config, std::function<void(std::int64_t pos)> onMismatch);

  /// Reads the byte at pos (0 <= pos) into value; endOfFile when the file
  /// holds no byte there. May write back another block to make room.
  CacheResult read(std::int64_t pos, std::uint8_t& value);
  /// Changes the byte at pos; it reaches the file at a later write-back.
  CacheResult write(std::int64_t pos, std::uint8_t value);
  /// Writes every changed byte to the file, block by block in position
  /// order. A block that fails stays changed; the others are still written.
  /// Returns the first failure.
  CacheResult writeBack();
  /// Forgets every block, so that the next read goes to the file.
  /// REQUIRES: nothing left to write (after a successful writeBack).
  void drop();

  std::int64_t blockSize() const { return config_.blockSize; }

 private:
  struct Slot {
    std::int64_t block = -1;                    ///< block number; -1 when free
    std::unique_ptr<std::uint8_t[]> data;       ///< blockSize bytes
    std::unique_ptr<std::uint64_t[]> changed;   ///< one bit per byte
    std::int64_t size = 0;    ///< bytes the file holds in this block (read or written)
    bool loaded = false;      ///< data holds the file's bytes [0, size)
    std::int64_t lo = 0;      ///< first changed byte
    std::int64_t hi = -1;     ///< last changed byte; hi < lo when nothing changed
    bool listed = false;      ///< in changedSlots_
  };

  CacheResult find(std::int64_t block, bool forRead, int& slot);
  CacheResult takeSlot(int& slot);
  CacheResult load(Slot& s);
  CacheResult writeSlot(Slot& s);
  CacheResult writeAll(std::int64_t pos, const std::uint8_t* src, std::int64_t n);
  CacheResult readAll(std::int64_t pos, std::uint8_t* dst, std::int64_t n, std::int64_t& got);
  int countRuns(const Slot& s) const;
  bool fillGaps(Slot& s);
  void unmap(int slot);
  bool isChanged(const Slot& s, std::int64_t i) const {
    return (s.changed[i >> 6] >> (i & 63)) & 1;
  }

  FileAccess& file_;
  Config config_;
  int shift_ = 0;
  std::function<void(std::int64_t)> onMismatch_;
  std::vector<Slot> slots_;
  std::vector<std::int32_t> slotOf_;         ///< block number -> slot, -1 when not held
  std::vector<std::int32_t> changedSlots_;   ///< slots with bytes to write back
  std::size_t hand_ = 0;                     ///< next slot to give up when full
  std::vector<std::uint8_t> scratch_;        ///< read-back buffer, blockSize bytes
};

}  // namespace mendbin
