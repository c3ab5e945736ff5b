#pragma once
// The listing, read from its start once per pass: a run reads it once to
// check every entry before the first byte is written, and once more to apply
// them. A listing that cannot be repositioned (a pipe) is copied into an
// unnamed temporary file while it is first read, and read from there after.

#include <cstdio>

#include "mendbin/listing_reader.h"
#include "mendbin/system_file.h"

namespace mendbin {

class ListingPasses {
 public:
  /// REQUIRES: `file` is open, at its start, and outlives the passes.
  explicit ListingPasses(SystemFile& file) : file_(file) {}
  ~ListingPasses();
  ListingPasses(const ListingPasses&) = delete;
  ListingPasses& operator=(const ListingPasses&) = delete;

  /// A source that reads the listing from its start. A later pass may read
  /// only what the first pass read. Failures (repositioning, the temporary
  /// file) show as read errors of the source.
  ListingSource begin();

 private:
  IoResult readFirst(std::uint8_t* dst, std::int64_t n);
  IoResult readCopy(std::uint8_t* dst, std::int64_t n);

  SystemFile& file_;
  int passes_ = 0;
  bool seekable_ = true;
  std::FILE* copy_ = nullptr;  ///< the copy of a listing that cannot be repositioned
  int copyError_ = 0;          ///< why the copy could not be made
};

}  // namespace mendbin
