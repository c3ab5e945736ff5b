#pragma once
// Where the header of an import file lies among the elements it replaces.
//
// A header in the data file in front of the first element in range is
// written where it was. Anywhere else (between the elements, behind all of
// them) it is one more run of kept bytes: it travels with the bytes that
// follow the replaced element in front of it and is patched where it lands.
// A header whose bytes share a byte with an element that the import
// replaces or that lies in range cannot be kept and patched both ways.

#include <cstddef>
#include <cstdint>

namespace dataport {

class Job;

struct HeaderPlace {
  bool inData = false;      ///< the header lies in the import file (no HFILE)
  bool behind = false;      ///< in the data file, not in front of the first element in range
  std::int64_t start = 0;   ///< hbase: where the header starts in the import file
  std::int64_t length = 0;  ///< its bytes up to the last record's last field
  /// With `behind`: how many replaced elements lie in front of it (at least
  /// one); it follows the bytes of the last of them.
  std::size_t after = 0;
};

/// Locates the header of the import among the `count` records of headerList
/// that the edited elements replace, from `first` on. Reads the record sizes
/// as the header gave them, so it runs before measureGaps. Throws Failure,
/// before anything is written, when the header shares a byte with a replaced
/// element or an element in range (a zero-size element only counts when it
/// lies strictly inside the header).
/// REQUIRES: first + count <= headerList.size(), count >= 1.
HeaderPlace placeHeader(const Job& job, std::size_t first, std::size_t count);

}  // namespace dataport
