#pragma once
// Reader of a byte-difference listing in the form that `fc /B` prints:
//
//   Comparing files GREETING.BIN and GREETING.NEW
//   00000007: 57 77
//   0000000C: 21 2E
//
// The first line is a comment. Every entry is read as the C library's
// formatted input reads the pattern "%lX: %lX %lX\n": white space may stand
// before each number, the colon must follow the offset's digits at once, and
// any white space after an entry (line ends and blank lines too) is passed
// over. A number is what the "%lX" conversion accepts: an optional sign, an
// optional 0x or 0X, hexadecimal digits of either case. Reading ends at the
// first entry that does not yield all three numbers.
//
// The reader streams the listing through one buffer, so a listing of any
// length takes the same memory.

#include <cstdint>
#include <functional>
#include <vector>

#include "mendbin/file_access.h"

namespace mendbin {

/// A number as the "%lX" conversion reads it, before it is cut to a width.
struct HexNumber {
  bool negative = false;        ///< a minus sign stood before the digits
  std::uint64_t magnitude = 0;  ///< the digits' value (saturated when tooLarge)
  bool tooLarge = false;        ///< the digits' value does not fit in 64 bits

  /// The value that strtoul returns for an unsigned long of `bits` bits (32
  /// or 64): a magnitude beyond the width gives all ones, a minus sign
  /// negates modulo 2 to the power `bits`.
  std::uint64_t value(int bits) const;
};

/// One entry with its numbers as read.
struct RawEntry {
  HexNumber offset;
  HexNumber orgByte;
  HexNumber patchByte;
};

/// One entry as the patcher uses it. Offsets are 32-bit unsigned numbers (an
/// offset from 0x80000000 up is a negative file position); of each byte
/// value only the low eight bits count.
struct PatchEntry {
  std::uint32_t offset = 0;
  std::uint8_t orgByte = 0;
  std::uint8_t patchByte = 0;
};

/// The entry that the patcher applies for a raw entry.
PatchEntry toPatchEntry(const RawEntry& raw);

/// Source of listing bytes: fills up to n bytes at dst and returns the count
/// (0 at the end), or -1 with the error number.
using ListingSource = std::function<IoResult(std::uint8_t* dst, std::int64_t n)>;

class ListingReader {
 public:
  explicit ListingReader(ListingSource source, std::size_t bufferSize = std::size_t{1} << 20);

  /// Passes over the first line: everything up to and including its line
  /// end, or up to the end of the listing.
  void skipFirstLine();
  /// Reads the next entry. False at the first entry that does not parse,
  /// at the end of the listing and after a read error (see error()).
  bool next(PatchEntry& entry);
  /// As next(), with the numbers as read.
  bool nextRaw(RawEntry& entry);
  /// The error number of a read error of the source; 0 when none happened.
  int error() const { return error_; }
  /// Bytes taken from the listing so far (a byte only looked at is not taken).
  std::int64_t consumed() const { return taken_ + static_cast<std::int64_t>(pos_); }

 private:
  static constexpr int kEnd = -1;

  int peek() {
    if (pos_ < end_) [[likely]]
      return buffer_[pos_];
    return refill() ? buffer_[pos_] : kEnd;
  }
  void take() { ++pos_; }
  [[gnu::noinline]] bool refill();
  bool readNumber(HexNumber& number);
  void skipSpace();

  ListingSource source_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::int64_t taken_ = 0;  ///< bytes of earlier buffer fills
  bool ended_ = false;      ///< the source reported its end or an error
  int error_ = 0;
};

}  // namespace mendbin
