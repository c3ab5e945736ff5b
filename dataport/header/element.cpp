#include "dataport/header/element.h"

#include <cstdio>

namespace dataport {

std::string numberSuffix(std::int32_t n) {
  char text[16];
  std::snprintf(text, sizeof text, ".%03d", static_cast<int>(n));
  return text;
}

}  // namespace dataport
