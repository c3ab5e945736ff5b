#pragma once
// Integer fields of 1 to 8 bytes, as header records hold them: little-endian
// by default, big-endian with "-be"; positions and sizes counted in bytes by
// default, or in units of N bytes ("-pu", "-su"). The Job holds one
// FieldFormat, chosen once per run; every header reader and writer goes
// through it.

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

/// As decodeLE, most significant byte first.
inline std::uint64_t decodeBE(const std::uint8_t* src, int width) {
  std::uint64_t v = 0;
  for (int i = 0; i < width; ++i) v = (v << 8) | src[i];
  return v;
}

/// As encodeLE, most significant byte first.
inline void encodeBE(std::uint8_t* dst, std::uint64_t v, int width) {
  for (int i = width - 1; i >= 0; --i) {
    dst[i] = static_cast<std::uint8_t>(v & 0xFF);
    v >>= 8;
  }
}

/// The byte order and the units of a run's header fields.
struct FieldFormat {
  bool bigEndian = false;       ///< "-be"
  std::int64_t posUnit = 1;     ///< "-pu": bytes per stored position unit (>= 1)
  std::int64_t sizeUnit = 1;    ///< "-su": bytes per stored size unit (>= 1)

  /// A whole field of `width` bytes (REQUIRES: 0 <= width <= 8).
  std::uint64_t decode(const std::uint8_t* src, int width) const {
    return bigEndian ? decodeBE(src, width) : decodeLE(src, width);
  }
  /// Writes the low `width` bytes of v (REQUIRES: 0 <= width <= 8).
  void encode(std::uint8_t* dst, std::uint64_t v, int width) const {
    if (bigEndian) {
      encodeBE(dst, v, width);
    } else {
      encodeLE(dst, v, width);
    }
  }

  /// A stored position in bytes: the field times posUnit (wrapping).
  std::int64_t decodePosition(const std::uint8_t* src, int width) const {
    return static_cast<std::int64_t>(decode(src, width) * static_cast<std::uint64_t>(posUnit));
  }
  /// A stored size in bytes: the field times sizeUnit (wrapping).
  std::int64_t decodeSize(const std::uint8_t* src, int width) const {
    return static_cast<std::int64_t>(decode(src, width) * static_cast<std::uint64_t>(sizeUnit));
  }
  /// Stores a byte offset in position units, rounded up.
  void encodePosition(std::uint8_t* dst, std::int64_t bytes, int width) const {
    encode(dst, static_cast<std::uint64_t>(inUnits(bytes, posUnit)), width);
  }
  /// Stores a byte count in size units, rounded up.
  void encodeSize(std::uint8_t* dst, std::int64_t bytes, int width) const {
    encode(dst, static_cast<std::uint64_t>(inUnits(bytes, sizeUnit)), width);
  }

  /// bytes / unit rounded up (towards plus infinity).
  static std::int64_t inUnits(std::int64_t bytes, std::int64_t unit) {
    if (unit <= 1) return bytes;
    const std::int64_t q = bytes / unit;
    return q + (bytes % unit > 0 ? 1 : 0);
  }
  /// The smallest multiple of unit that is not below bytes (bytes >= 0).
  static std::int64_t roundUp(std::int64_t bytes, std::int64_t unit) {
    return unit <= 1 ? bytes : inUnits(bytes, unit) * unit;
  }
};

}  // namespace dataport::io
