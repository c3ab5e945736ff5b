#pragma once
// Reader of a byte-difference listing in the form that `fc /B` prints:
//
//   Comparing files GREETING.BIN and GREETING.NEW
//   00000007: 57 77
//   0000000C: 21 2E
//
// The first line is the comment that fc prints, unless it reads as an entry
// itself (a listing whose comment line was cut off): then it is the first
// entry. Every entry is read as the C library's formatted input reads the
// pattern "%lX: %lX %lX\n": white space may stand before each number, the
// colon must follow the offset's digits at once, and any white space after an
// entry (line ends and blank lines too) is passed over. A number is what the
// "%lX" conversion accepts: an optional sign, an optional 0x or 0X,
// hexadecimal digits of either case.
//
// The entries must run to the end of the listing: after the last one only
// blank lines and the closing lines that fc prints ("FC: ...") may follow. Any
// other text is a bad line, and so is an entry after an "FC:" line, because a
// listing that stops early would otherwise be applied in part without a word.
//
// The reader streams the listing through one buffer, so a listing of any
// length takes the same memory.

#include <cstdint>
#include <functional>
#include <string>
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

  /// How reading the entries ended.
  enum class Stop {
    none,       ///< not yet ended
    end,        ///< the end of the listing, after nothing but its trailer
    readError,  ///< the source failed (see error())
    badLine,    ///< text that is no entry (see badLineAt())
  };

  /// Reads the first line. When the whole line reads as an entry, next()
  /// returns it first; otherwise the line is the comment and is passed over,
  /// up to and including its line end.
  void readFirstLine();
  /// Reads the next entry. False once the entries end; stop() says how.
  bool next(PatchEntry& entry);
  /// Reads one entry as the formatted-input pattern does, with the numbers as
  /// read, and passes over the white space after it. False when the text
  /// does not yield all three numbers; nothing is checked about what follows.
  bool nextRaw(RawEntry& entry);
  Stop stop() const { return stop_; }
  /// The error number of a read error of the source; 0 when none happened.
  int error() const { return error_; }
  /// With Stop::badLine: the listing offset of the first character of the
  /// bad line that is not white space (see badLineMessage()).
  std::int64_t badLineAt() const { return badLineAt_; }
  /// Bytes taken from the listing so far (a byte only looked at is not taken).
  std::int64_t consumed() const { return taken_ + static_cast<std::int64_t>(pos_); }

 private:
  static constexpr int kEnd = -1;

  int peek() {
    if (pos_ < end_) [[likely]]
      return buffer_[pos_];
    return fill(1) ? buffer_[pos_] : kEnd;
  }
  void take() { ++pos_; }
  /// Makes at least n unread bytes available; false when the listing ends first.
  [[gnu::noinline]] bool fill(std::size_t n);
  /// True when the unread text starts with "FC:".
  bool atFcLine();
  void skipLine();
  bool endTrailer(std::int64_t firstFcLine);
  bool ended(Stop how);
  bool badLine(std::int64_t at);
  // InLine: white space does not include the line end (for the first line).
  template <bool InLine>
  bool readNumber(HexNumber& number);
  template <bool InLine>
  bool readEntry(RawEntry& entry);
  bool readPlainEntry(RawEntry& entry);
  template <bool InLine>
  void skipSpace();

  ListingSource source_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::int64_t taken_ = 0;  ///< bytes of earlier buffer fills
  bool ended_ = false;      ///< the source reported its end or an error
  int error_ = 0;
  bool lineStart_ = true;   ///< no text but white space since the last line end
  bool havePending_ = false;
  PatchEntry pending_;      ///< the first line, when it is an entry
  Stop stop_ = Stop::none;
  std::int64_t badLineAt_ = -1;
};

/// "ERROR: can't parse listing line N : TEXT\n" for the line of the listing
/// in `source` (read from its start) that holds offset `at`: N counted from
/// 1, TEXT the line without its line end, cut at 80 characters.
std::string badLineMessage(const ListingSource& source, std::int64_t at);

}  // namespace mendbin
