#include "dataport/modes/header_place.h"

#include <cstdio>
#include <string>

#include "dataport/failure.h"
#include "dataport/header/arith.h"
#include "dataport/job.h"

namespace dataport {

namespace {

/// Whether the element [pos, pos + size) shares a byte with [start, end). An
/// element of no bytes counts when it would split the header in two.
bool overlaps(const Element& e, std::int64_t start, std::int64_t end) {
  if (e.size <= 0) return start < e.pos && e.pos < end;
  return e.pos < end && start < arith::add(e.pos, e.size);
}

}  // namespace

HeaderPlace placeHeader(const Job& job, std::size_t first, std::size_t count) {
  HeaderPlace place;
  if (job.hname) return place;
  place.inData = true;
  place.start = job.hbase;
  place.length = job.htype.headerExtent(job.headerRecords());
  const std::int64_t end = arith::add(place.start, place.length);

  const ElementList& records = job.headerList;
  for (std::size_t k = first; k < records.size(); ++k) {
    const Element& r = records[k];
    const bool replaced = k < first + count;
    if (!replaced && !job.posInRange(r.pos)) continue;
    if (overlaps(r, place.start, end)) {
      char text[256];
      std::snprintf(text, sizeof text,
                    "Error: the header at offset %lld (%lld bytes) overlaps the element of "
                    "header record %lld at %lld (%lld bytes)\n",
                    static_cast<long long>(place.start), static_cast<long long>(place.length),
                    static_cast<long long>(r.index), static_cast<long long>(r.pos),
                    static_cast<long long>(r.size));
      throw Failure(text);
    }
  }

  place.behind = end > records[first].pos;
  if (place.behind) {
    // No replaced element overlaps it, so those in front end at its start at
    // the latest and those behind start at its end at the earliest.
    while (place.after < count && records[first + place.after].pos <= place.start) ++place.after;
  }
  return place;
}

}  // namespace dataport
