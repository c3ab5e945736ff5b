#pragma once
// A field of the data file that names where the header is or how many
// records it has: "-hp OFF:W" and "-hcp OFF:W".

#include <cstdint>
#include <string>

namespace dataport {

/// W bytes at offset OFF of the data file.
struct FileField {
  std::int64_t off = 0;
  int width = 0;  ///< 1, 2, 4 or 8
};

/// Parses "OFF:W": OFF a number as the other options take it (decimal, 0x
/// hexadecimal or 0 octal, not negative), W one of 1, 2, 4, 8. False when the
/// word is anything else.
bool parseFileField(const std::string& word, FileField& field);

}  // namespace dataport
