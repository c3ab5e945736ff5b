#pragma once

#include <cstdint>

namespace dataport::io {

/// First complete occurrence of pattern[0..patLen) inside range[0..rangeLen),
/// or nullptr. Overlapping occurrences are found (aab in aaab at offset 1).
/// An empty or negative length, or a range shorter than the pattern, yields
/// nullptr without reading anything. NUL bytes are ordinary bytes.
const std::uint8_t* findBytes(const std::uint8_t* range, std::int64_t rangeLen,
                              const std::uint8_t* pattern, std::int64_t patLen);

}  // namespace dataport::io
