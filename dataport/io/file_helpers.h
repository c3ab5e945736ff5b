#pragma once
// Small stateless operations on named files: positioned reads and writes,
// range copies, fill runs, file size and whole-file load. Each opens and
// closes what it names (through the Disk, which may keep files open). They
// never throw; they report by their count, and the caller decides whether a
// short count is an error. Offsets and counts are 64-bit.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dataport/io/disk.h"

namespace dataport::io {

/// Work area of copies and conversions: 262144 bytes.
inline constexpr std::int64_t kWorkArea = 0x40000;

/// A buffered stream on one file of a Disk, with a position and the end-of-file
/// and error indicators of a C stream. Closed on destruction.
class Stream {
 public:
  /// Opens `name` with a C mode text ("rb", "wb", "ab", "rb+").
  Stream(Disk& disk, const std::string& name, const char* mode);
  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  bool isOpen() const { return handle_ >= 0; }
  /// Sets the position from the start; false (and nothing changes) when off < 0.
  bool seek(std::int64_t off);
  std::int64_t tell() const { return pos_; }
  /// Reads up to n bytes at the position and advances it; a short read at the
  /// end of the file sets eof, a failing read sets error. Returns bytes read.
  std::int64_t read(std::uint8_t* dst, std::int64_t n);
  /// Writes n bytes at the position (Append: at the end) and advances it; a
  /// short write sets error. Returns bytes written.
  std::int64_t write(const std::uint8_t* src, std::int64_t n);
  bool eof() const { return eof_; }
  bool error() const { return error_; }
  /// Ends the stream; false when a write to the file failed (also a deferred one).
  bool close();

 private:
  Disk& disk_;
  Disk::Handle handle_ = -1;
  std::int64_t pos_ = 0;
  bool eof_ = false;
  bool error_ = false;
};

/// Reads count items with at most 32 reads. Returns count when all arrived;
/// at the end of the file the items read; otherwise minus the items read
/// (a read that stopped short without reaching the end is negative).
std::int64_t readItems(void* dst, std::int64_t itemSize, std::int64_t count, Stream& in);
/// Writes count items with at most 32 writes; returns the items written.
std::int64_t writeItems(const void* src, std::int64_t itemSize, std::int64_t count, Stream& out);
/// Copies count items through a work area of at most kWorkArea bytes.
std::int64_t copyItems(Stream& in, Stream& out, std::int64_t itemSize, std::int64_t count);
/// Writes count copies of the fill byte; returns the bytes written.
std::int64_t writeFill(std::uint8_t fill, std::int64_t count, Stream& out);

/// Reads count bytes at off of `name`: bytes read as readItems counts them,
/// 0 when the file cannot be opened or positioned.
std::int64_t readAt(Disk& disk, const std::string& name, std::uint8_t* dst, std::int64_t off,
                    std::int64_t count);
/// Writes count bytes into `name` opened with `mode`, at off (0 = where the
/// mode puts it). Returns the bytes written; 0 when the file cannot be opened
/// or positioned; fewer than count when a write, flush or close failed.
std::int64_t writeAt(Disk& disk, const std::string& name, const std::uint8_t* src,
                     std::int64_t off, std::int64_t count, const char* mode);
/// Copies count bytes from inName at inOff to outName at outOff (outName
/// opened with `mode`, also for count 0). Returns the bytes copied; 0 when a
/// file cannot be opened or positioned; fewer than count on any failure,
/// including a failed flush or close of the output.
std::int64_t copyRange(Disk& disk, const std::string& inName, const std::string& outName,
                       std::int64_t inOff, std::int64_t outOff, std::int64_t count,
                       const char* mode);
/// Writes count fill bytes into `name` opened with `mode` at off (0 = where
/// the mode puts it). Returns the bytes written, as writeAt counts them.
std::int64_t fillAt(Disk& disk, const std::string& name, std::uint8_t fill, std::int64_t off,
                    std::int64_t count, const char* mode);
/// Size of a regular file, or -1 (missing, a directory, a device).
std::int64_t fileSize(Disk& disk, const std::string& name);
/// The whole file, or nothing after printing "File %s dont exist\n",
/// "Cant aloccate %d bytes(mem alloc error)\n" or "Read error from file %s \n"
/// to standard error.
std::optional<std::vector<std::uint8_t>> loadFile(Disk& disk, const std::string& name);

}  // namespace dataport::io
