#include "dataport/io/file_status.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace dataport::io {

FileStatus fileStatus(const std::string& name) {
  FileStatus s;
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) {
    s.error = errno;
    return s;
  }
  s.id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  s.size = st.st_size;
  s.kind = S_ISREG(st.st_mode)   ? FileKind::Regular
           : S_ISDIR(st.st_mode) ? FileKind::Directory
                                 : FileKind::Other;
  return s;
}

FileKind entryKind(const std::string& name) {
  struct stat st;
  if (::lstat(name.c_str(), &st) != 0) return FileKind::Missing;
  if (S_ISREG(st.st_mode)) return FileKind::Regular;
  if (S_ISDIR(st.st_mode)) return FileKind::Directory;
  return FileKind::Other;
}

// The folder part is resolved (links and ".." included), the last part is
// taken as written: that is the entry a removal would take away.
bool sameEntry(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  auto entry = [](const std::string& name) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(name), ec);
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

int removeEntry(const std::string& name) { return ::unlink(name.c_str()) == 0 ? 0 : errno; }

int createNew(const std::string& name) {
  for (;;) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
    if (errno != EINTR) return errno;
  }
}

}  // namespace dataport::io
