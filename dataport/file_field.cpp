#include "dataport/file_field.h"

#include "dataport/option_store.h"

namespace dataport {

bool parseFileField(const std::string& word, FileField& field) {
  const std::size_t colon = word.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string off = word.substr(0, colon);
  const std::string width = word.substr(colon + 1);
  std::int64_t o = 0;
  if (!parseNumber(off.c_str(), o) || o < 0) return false;
  if (width != "1" && width != "2" && width != "4" && width != "8") return false;
  field.off = o;
  field.width = width[0] - '0';
  return true;
}

}  // namespace dataport
