#pragma once
// The htype word and the header layout it describes.

#include <cstdint>
#include <string>

namespace dataport {

/// The decoded htype word: the layout of the header's count field and of one
/// record. All zero after reset.
struct HeaderType {
  std::int32_t csize = 0;   ///< width of the element-count field (0..4); 0 = none
  std::int32_t cskip = 0;   ///< bytes between the count field and the first record
  std::int32_t psize = 0;   ///< width of a record's position field (0..8); 0 = none
  std::int32_t pskip = 0;   ///< bytes after the position field
  std::int32_t ssize = 0;   ///< width of a record's size field (0..8); 0 = none
  std::int32_t sskip = 0;   ///< bytes after the size field
  std::int32_t gcount = 0;  ///< records per group; 0 = not grouped
  std::int32_t gskip = 0;   ///< bytes after each complete group
  std::int32_t esize = 0;   ///< record size: psize + pskip + ssize + sskip

  /// Fills the fields from the htype word. Throws Failure("error reading htype\n")
  /// for a word that reads as 0 in base 36, is empty or longer than 16
  /// characters, holds a character that is no digit or letter, or gives
  /// csize > 4 or psize/ssize > 8; Failure("error reading htype(not knowen type)\n")
  /// for a length of 7, 9, 10, 11, 13, 14 or 15.
  void decodeHtype(const std::string& word);
  /// Value of one htype character: 0-9, A-Z / a-z as 10-35, else -1.
  static std::int32_t digitValue(char c);
  /// Byte size of a header of n records, counted from hbase:
  /// csize + cskip + n * esize + (gcount > 0 ? (n / gcount) * gskip : 0),
  /// computed in 64 bits so it never overflows. Stores esize anew.
  std::int64_t headerSize(std::int64_t n);
  /// Bytes of a header of n records up to the end of its last record's last
  /// field (the count field alone when n <= 0): what a reader needs and what
  /// an import rewrites. Unlike headerSize it leaves out the skip bytes after
  /// that field and a final group gap, which a table at the end of its file
  /// need not hold.
  std::int64_t headerExtent(std::int64_t n) const;
  /// Prints the two description lines to standard output.
  void printHtype() const;
};

}  // namespace dataport
