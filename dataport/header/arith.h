#pragma once
// Wrapping 64-bit arithmetic and the low-32-bit views that the printed lines
// use. Header fields are whatever bytes a file holds, so sums of positions,
// bases and shifts must wrap like the machine words they model instead of
// overflowing.

#include <cstdint>

namespace dataport::arith {

/// a + b, wrapping modulo 2^64.
inline std::int64_t add(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

/// a - b, wrapping modulo 2^64.
inline std::int64_t sub(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

/// The low 32 bits, for "%X".
inline unsigned hex32(std::int64_t v) { return static_cast<std::uint32_t>(v); }

/// The low 32 bits read as a signed number, for "%d".
inline int dec32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

}  // namespace dataport::arith
