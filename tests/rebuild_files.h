#pragma once
// Builders for the input files of the rebuild-mode tests: data files with a
// header in front of their elements, and DFiles.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace rebuild {

using e2e::Bytes;

/// One element of a data file and the bytes that follow it before the next.
struct Piece {
  Bytes data;
  Bytes gap;
};

/// Header of htype 4440: the record count, then per element its position
/// (less pbase) and size; the first element lies at `start`.
inline Bytes header4440(std::int64_t start, const std::vector<Piece>& pieces,
                        std::int64_t pbase = 0) {
  Bytes h = e2e::le(pieces.size(), 4);
  std::int64_t pos = start;
  for (const Piece& p : pieces) {
    h += e2e::le(static_cast<std::uint64_t>(pos - pbase), 4) + e2e::le(p.data.size(), 4);
    pos += static_cast<std::int64_t>(p.data.size() + p.gap.size());
  }
  return h;
}

/// The elements, each followed by its gap.
inline Bytes body(const std::vector<Piece>& pieces) {
  Bytes b;
  for (const Piece& p : pieces) b += p.data + p.gap;
  return b;
}

/// A data file with its 4440 header at hbase = front.size(): front bytes,
/// header, lead bytes, then the elements with their gaps.
inline Bytes dataFile(const Bytes& front, const Bytes& lead, const std::vector<Piece>& pieces,
                      std::int64_t pbase = 0) {
  const std::int64_t start =
      static_cast<std::int64_t>(front.size() + 4 + 8 * pieces.size() + lead.size());
  return front + header4440(start, pieces, pbase) + lead + body(pieces);
}

/// A data file whose 4440 header lies behind the first `before` elements and
/// their gaps (0: in front of all, pieces.size(): behind all), after `front`.
struct Placed {
  Bytes file;
  std::int64_t hbase = 0;
};
inline Placed headerAfter(std::size_t before, const Bytes& front,
                          const std::vector<Piece>& pieces) {
  const auto hsize = static_cast<std::int64_t>(4 + 8 * pieces.size());
  Placed p;
  Bytes header = e2e::le(pieces.size(), 4);
  Bytes in_front = front, behind;
  auto pos = static_cast<std::int64_t>(front.size());
  for (std::size_t k = 0; k <= pieces.size(); ++k) {
    if (k == before) {
      p.hbase = pos;
      pos += hsize;
    }
    if (k == pieces.size()) break;
    header += e2e::le(static_cast<std::uint64_t>(pos), 4) + e2e::le(pieces[k].data.size(), 4);
    pos += static_cast<std::int64_t>(pieces[k].data.size() + pieces[k].gap.size());
    (k < before ? in_front : behind) += pieces[k].data + pieces[k].gap;
  }
  p.file = in_front + header + behind;
  return p;
}

/// The elements, each followed by the separator.
inline Bytes dfile(const std::vector<Bytes>& elements, const Bytes& sep = e2e::defaultSeparator()) {
  Bytes d;
  for (const Bytes& e : elements) d += e + sep;
  return d;
}

}  // namespace rebuild
