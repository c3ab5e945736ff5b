#pragma once
// The check pass: every entry of a listing is checked against the file
// before the first byte is written, so that a listing is applied whole or
// not at all.
//
// Entries are checked in listing order as if they were applied: an entry for
// an offset that an earlier entry already named is checked against the byte
// that the earlier entry would write. A listing as fc prints it names its
// offsets in rising order, and then the file itself holds every byte that an
// entry is checked against. An entry whose offset lies below the highest one
// named before it may meet an earlier entry; such entries are checked in
// further passes over the listing, one per window of 8 MiB of offsets that
// holds any of them, with the bytes that the entries before would write in
// that window held in memory. So the memory of a check is bounded whatever
// the listing's length and order.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "mendbin/listing_reader.h"

namespace mendbin {

/// Reads the byte that the file holds at `offset` into `value`. False, with
/// the message of the failure in `error`, when it cannot.
using ByteProbe = std::function<bool(std::uint32_t offset, std::uint8_t& value, std::string& error)>;

struct CheckInput {
  /// A fresh reader of the same listing, past its comment line.
  std::function<std::unique_ptr<ListingReader>()> open;
  /// The message for a reader that stopped on a read error or a bad line, or
  /// that ended before the entries that an earlier pass read.
  std::function<std::string(const ListingReader&)> stopMessage;
  /// The file's bytes. Without `verify` it is asked only about offsets above
  /// kMaxPosition, to fail with the message of a failed positioning.
  ByteProbe probe;
  /// The path of the file, for the messages of entries that do not match.
  std::string path;
  bool verify = true;
  bool revert = false;
};

struct CheckResult {
  std::int64_t entries = 0;         ///< entries in the listing (up to the first error)
  std::int64_t toApply = 0;         ///< entries that find the expected byte (verify only)
  std::int64_t alreadyApplied = 0;  ///< entries that find the new byte already (verify only)
  std::string error;                ///< the first error in listing order; empty when none
  bool ok() const { return error.empty(); }
};

/// Checks the listing of `first` (past its comment line), and with
/// `input.verify` every entry against the file. Writes nothing. Without
/// `verify` only the listing's form and the offsets are checked.
CheckResult checkListing(ListingReader& first, const CheckInput& input);

}  // namespace mendbin
