#pragma once
// The element copy engine: moves one element between files, trimming its
// trailing fill, converting it through the table, appending blockadd fill and
// padding it to a block size, with a trace of the arithmetic on stdout.

#include <cstdint>
#include <string>

namespace dataport {

class Job;

/// Copies `size` bytes of inName at inOff into outName (opened with `mode`,
/// positioned at outOff). `convert` copies through the table in direction
/// `reverse`; then `written` receives the output bytes. Returns the element's
/// length in the output. Throws Failure ("Error: coping data\n", the trimming
/// and block messages).
std::int64_t copyElement(Job& job, const std::string& inName, const std::string& outName,
                         std::int64_t inOff, std::int64_t outOff, std::int64_t size,
                         const char* mode, bool convert, int reverse, std::int64_t& written,
                         std::uint32_t blockKind, std::uint32_t block, std::uint8_t fill);

/// Before any output is written: with a hex-key table and a text-to-bytes
/// direction (`reverse` not 0), converts what copyElement with the same
/// arguments will convert, and keeps the result for it. Throws "element
/// <number>: no table entry for: <text>\n" when a text matches no entry.
/// Does nothing otherwise.
void prepareElement(Job& job, const std::string& inName, std::int64_t inOff, std::int64_t size,
                    int reverse, std::int32_t number, std::uint32_t blockKind,
                    std::uint32_t block, std::uint8_t fill);

}  // namespace dataport
