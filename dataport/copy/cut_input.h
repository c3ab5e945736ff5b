#pragma once

#include <cstdint>
#include <string>

namespace dataport {

class Job;

/// Finds where the real data of `name` ends (the last byte that is not `fill`)
/// and copies the kept beginning to "tmpqzpm.qwe". Kind 16 keeps up to the
/// last data byte, kind 32 keeps up to `keep` fill bytes after it. Returns
/// the kept length; 0 when nothing was kept and no file was written.
std::int64_t cutInput(Job& job, const std::string& name, std::uint32_t kind, std::uint32_t keep,
                      std::uint8_t fill);

}  // namespace dataport
