#include "dataport/copy/output_guard.h"

#include <algorithm>

#include "dataport/failure.h"

namespace dataport {

void InputFiles::add(const std::string& name) {
  if (name.empty()) return;
  names_.push_back(name);
  const io::FileStatus st = io::fileStatus(name);
  if (st.kind != io::FileKind::Missing) ids_.insert(st.id);
}

bool InputFiles::leadsToInput(const std::string& name) const {
  if (ids_.empty()) return false;
  const io::FileStatus st = io::fileStatus(name);
  return st.kind != io::FileKind::Missing && ids_.count(st.id) != 0;
}

bool InputFiles::isInputEntry(const std::string& entry) const {
  return std::any_of(names_.begin(), names_.end(),
                     [&](const std::string& n) { return io::sameEntry(n, entry); });
}

void InputFiles::refuse(const std::string& out) const {
  if (leadsToInput(out)) throw Failure(out + ":output file is also an input file\n");
}

}  // namespace dataport
