#pragma once
// One element of a data file and the list of them.

#include <cstdint>
#include <string>
#include <vector>

namespace dataport {

/// One element: where it lies, how long it is, and which header record (or
/// which element found in a DFile or numbered files) it came from.
struct Element {
  std::int64_t pos = 0;
  std::int64_t size = 0;
  std::int32_t index = -1;

  /// Ordered by pos, ties by index.
  friend bool operator<(const Element& a, const Element& b) {
    return a.pos != b.pos ? a.pos < b.pos : a.index < b.index;
  }
};

using ElementList = std::vector<Element>;

/// "." followed by n in decimal, at least three digits: .000, .007, .1234.
std::string numberSuffix(std::int32_t n);

}  // namespace dataport
