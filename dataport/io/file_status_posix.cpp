#include "dataport/io/file_status.h"

// POSIX: stat, lstat, unlink and an exclusive create.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

int removeEntry(const std::string& name) { return ::unlink(name.c_str()) == 0 ? 0 : errno; }

int createNew(const std::string& name) {
  for (;;) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
    if (errno != EINTR) return errno;
  }
}

}  // namespace dataport::io
