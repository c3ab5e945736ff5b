#include "dataport/io/byte_search.h"

#include <cstring>

namespace dataport::io {

// A memchr scan for the pattern's first byte does the bulk of the work; the
// rest of the pattern is compared only where that byte occurs. No skip table:
// the worst case is range length times pattern length.
const std::uint8_t* findBytes(const std::uint8_t* range, std::int64_t rangeLen,
                              const std::uint8_t* pattern, std::int64_t patLen) {
  if (patLen <= 0 || rangeLen <= 0 || rangeLen < patLen) return nullptr;
  const std::uint8_t* const last = range + (rangeLen - patLen);  // last start that fits
  const std::uint8_t first = pattern[0];
  const std::size_t rest = static_cast<std::size_t>(patLen - 1);
  const std::uint8_t* p = range;
  while (p <= last) {
    p = static_cast<const std::uint8_t*>(
        std::memchr(p, first, static_cast<std::size_t>(last - p) + 1));
    if (p == nullptr) return nullptr;
    if (std::memcmp(p + 1, pattern + 1, rest) == 0) return p;
    ++p;
  }
  return nullptr;
}

}  // namespace dataport::io
