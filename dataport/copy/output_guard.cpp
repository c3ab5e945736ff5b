#include "dataport/copy/output_guard.h"

#include <filesystem>
#include <system_error>

#include "dataport/failure.h"

namespace dataport {

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

// Emptying an input before it is read loses it: a data file imported into
// itself, a DFile joined into itself, an HFILE split into. Appending keeps
// every byte the run still reads, so only "wb" is refused.
void refuseOverwrite(const std::string& out, const std::string& mode,
                     std::initializer_list<std::string> inputs) {
  if (mode != "wb") return;
  for (const std::string& in : inputs) {
    if (!in.empty() && sameFile(out, in)) {
      throw Failure(out + ":output file is also an input file\n");
    }
  }
}

}  // namespace dataport
