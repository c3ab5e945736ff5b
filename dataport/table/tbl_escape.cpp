// Escapes of the TBL format: finding a marker that no escape cancels, and
// turning an escaped side into the bytes it stands for.

#include <cstring>

#include "dataport/io/byte_search.h"
#include "dataport/table/tbs_table.h"

namespace dataport::table {

namespace {

constexpr std::uint8_t kEscape = '\\';

int hexValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

// An occurrence is cancelled by an odd number of escape strings directly in
// front of it; an even number stands for escaped escapes. A marker at the
// very first byte has nothing in front of it and always counts.
std::int64_t findUnescaped(const std::uint8_t* text, std::int64_t len,
                           std::span<const std::uint8_t> marker,
                           std::span<const std::uint8_t> escape) {
  const auto mlen = static_cast<std::int64_t>(marker.size());
  const auto elen = static_cast<std::int64_t>(escape.size());
  if (mlen <= 0 || len < mlen) return -1;
  if (std::memcmp(text, marker.data(), mlen) == 0) return 0;
  std::int64_t from = 1;
  while (from < len) {
    const std::uint8_t* hit = io::findBytes(text + from, len - from, marker.data(), mlen);
    if (hit == nullptr) return -1;
    const std::int64_t at = hit - text;
    std::int64_t escapes = 0;
    if (elen > 0) {
      for (std::int64_t p = at - elen; p >= 0 && std::memcmp(text + p, escape.data(), elen) == 0;
           p -= elen)
        ++escapes;
    }
    if (escapes % 2 == 0) return at;
    from = at + 1;
  }
  return -1;
}

// One pass with a read and a write position; the result is what removing
// each escape in place and shifting the rest left would give, without the
// quadratic cost of the shifts on a side full of escapes.
std::int64_t unescape(std::uint8_t* bytes, std::int64_t len) {
  std::int64_t r = 0;
  std::int64_t w = 0;
  while (r < len) {
    if (bytes[r] != kEscape || r + 1 == len) {
      bytes[w++] = bytes[r++];
      continue;
    }
    const std::uint8_t next = bytes[r + 1];
    if (next == '\r' && r + 2 < len && bytes[r + 2] == '\n') {
      bytes[w++] = '\r';
      bytes[w++] = '\n';
      r += 3;
    } else if (next == kEscape || next == '=') {
      bytes[w++] = next;
      r += 2;
    } else if (next == 'x') {
      if (r + 3 < len && hexValue(bytes[r + 2]) >= 0 && hexValue(bytes[r + 3]) >= 0) {
        bytes[w++] = static_cast<std::uint8_t>(hexValue(bytes[r + 2]) * 16 + hexValue(bytes[r + 3]));
        r += 4;
      } else {
        // Not a hex escape: the escape, the mark and the two bytes after the
        // mark stay as they are, and those two bytes are not looked at.
        const std::int64_t end = r + 4 < len ? r + 4 : len;
        while (r < end) bytes[w++] = bytes[r++];
      }
    } else {
      bytes[w++] = bytes[r++];  // any other byte: the escape stands for itself
    }
  }
  return w;
}

}  // namespace dataport::table
