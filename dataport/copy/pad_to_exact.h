#pragma once

#include <cstdint>
#include <string>

namespace dataport {

class Job;

/// Pads `name` with `fill` to exactly `exsize` bytes (kind 1) or to the next
/// multiple of `exsize` (kind 2). Returns 1 when the kind and size were
/// usable, 0 when there was nothing to do. Throws
/// "Error: joining file is bigger than exact size\n" (kind 1, file too long).
int padToExact(Job& job, const std::string& name, std::uint32_t kind, std::int64_t exsize,
               std::uint8_t fill);

}  // namespace dataport
