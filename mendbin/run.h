#pragma once
// A run over a whole listing: a check pass reads every entry before the
// first byte is written, then an apply pass writes them. A listing that does
// not read to its end, an offset that cannot be positioned and, in verified
// mode, an entry that does not match the file end the run in the check pass,
// with the file untouched.

#include <functional>
#include <string>

#include "mendbin/listing_reader.h"
#include "mendbin/patcher.h"

namespace mendbin {

/// Starts a pass: a source that reads the listing from its start.
using BeginPass = std::function<ListingSource()>;

/// Runs the listing whose first pass `first` has read its first line, with
/// `patcher` on the file. `beginPass` gives the later passes. Errors go to
/// `report`, the line of a check ("-c") to `output`. Returns the exit code.
/// A check checks as verified mode does, whatever `settings.verify` says.
int runListing(ListingReader& first, const BeginPass& beginPass, const std::string& listingPath,
               Patcher& patcher, const Settings& settings, const Report& report,
               const Report& output);

/// The apply pass: applies every entry of `listing` through `patcher` and
/// ends the run. `stopMessage` names a listing that does not read to its
/// end. Returns the exit code: 0 at the end of the listing, 1 after a fatal
/// error, a listing that stopped early, a failed write-back or a byte that
/// did not read back as written.
int applyListing(ListingReader& listing,
                 const std::function<std::string(const ListingReader&)>& stopMessage,
                 Patcher& patcher);

}  // namespace mendbin
