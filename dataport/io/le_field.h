#pragma once
// Little-endian integer fields of 1 to 8 bytes, as header records hold them.
// Every header reader and writer goes through these two functions.

#include <cstdint>

namespace dataport::io {

/// Reads a field of `width` bytes (REQUIRES: 0 <= width <= 8) into the low
/// bytes of a zeroed 64-bit value (zero-extended).
inline std::uint64_t decodeLE(const std::uint8_t* src, int width) {
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | src[i];
  return v;
}

/// Writes the low `width` bytes of v (REQUIRES: 0 <= width <= 8), least
/// significant first.
inline void encodeLE(std::uint8_t* dst, std::uint64_t v, int width) {
  for (int i = 0; i < width; ++i) {
    dst[i] = static_cast<std::uint8_t>(v & 0xFF);
    v >>= 8;
  }
}

}  // namespace dataport::io
