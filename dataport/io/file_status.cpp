#include "dataport/io/file_status.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace dataport::io {

// The folder part is resolved (links and ".." included), the last part is
// taken as written: that is the entry a removal would take away. Names are
// UTF-8 (on Windows the narrow path would use the system's code page).
bool sameEntry(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  auto entry = [](const std::string& name) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(std::u8string(name.begin(), name.end())), ec);
    if (ec) return fs::path();
    fs::path folder = fs::weakly_canonical(p.parent_path(), ec);
    if (ec) return fs::path();
    return folder / p.filename();
  };
  const fs::path ea = entry(a);
  return !ea.empty() && ea == entry(b);
}

std::string errorText(int code) { return std::strerror(code); }

int isDirectoryError() { return EISDIR; }

int missingError() { return ENOENT; }

}  // namespace dataport::io
