#include "dataport/io/native_file.h"

// POSIX files: descriptors, pread and pwrite, retried after interruptions.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace dataport::io::native {

namespace {

/// Largest transfer handed to one system call.
constexpr std::int64_t kMaxIo = 1 << 30;

int fd(File f) { return static_cast<int>(f); }

int openRetry(const char* name, int flags) {
  for (;;) {
    int d = ::open(name, flags | O_CLOEXEC, 0666);
    if (d >= 0 || errno != EINTR) return d;
  }
}


}  // namespace

File open(const std::string& name, Access access, bool* readable) {
  if (readable != nullptr) *readable = true;
  int d = -1;
  switch (access) {
    case Access::Read:
      d = openRetry(name.c_str(), O_RDONLY);
      break;
    case Access::Update:
      d = openRetry(name.c_str(), O_RDWR);
      break;
    case Access::ReadWriteNew:
      d = openRetry(name.c_str(), O_RDWR | O_CREAT);
      if (d < 0 && errno == EACCES) {  // writable but not readable
        d = openRetry(name.c_str(), O_WRONLY | O_CREAT);
        if (readable != nullptr) *readable = false;
      }
      break;
  }
  return d < 0 ? kNoFile : d;
}

// An interrupted close counts as done (Linux releases the descriptor in any
// case); every other failure is reported.
bool close(File f) {
  if (f == kNoFile) return true;
  return ::close(fd(f)) == 0 || errno == EINTR;
}

std::int64_t read(File f, std::uint8_t* dst, std::int64_t n, std::int64_t off) {
  std::int64_t done = 0;
  while (done < n) {
    std::size_t chunk = static_cast<std::size_t>(std::min(n - done, kMaxIo));
    ssize_t r = off >= 0 ? ::pread(fd(f), dst + done, chunk, off + done)
                         : ::read(fd(f), dst + done, chunk);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    done += r;
  }
  return done;
}

std::int64_t write(File f, const std::uint8_t* src, std::int64_t n, std::int64_t off, int& error) {
  std::int64_t done = 0;
  while (done < n) {
    std::size_t chunk = static_cast<std::size_t>(std::min(n - done, kMaxIo));
    ssize_t w = off >= 0 ? ::pwrite(fd(f), src + done, chunk, off + done)
                         : ::write(fd(f), src + done, chunk);
    if (w < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (w == 0) {  // no progress: treat as failure rather than spin
      error = EIO;
      break;
    }
    done += w;
  }
  return done;
}

bool seek(File f, std::int64_t off) { return ::lseek(fd(f), off, SEEK_SET) >= 0; }

bool truncate(File f) {
  int rc;
  do rc = ::ftruncate(fd(f), 0);
  while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool status(File f, FileStatus* st) {
  struct stat s;
  if (::fstat(fd(f), &s) != 0) return false;
  st->kind = S_ISREG(s.st_mode)   ? FileKind::Regular
             : S_ISDIR(s.st_mode) ? FileKind::Directory
                                  : FileKind::Other;
  st->size = static_cast<std::int64_t>(s.st_size);
  st->id = {static_cast<std::uint64_t>(s.st_dev), static_cast<std::uint64_t>(s.st_ino)};
  st->error = 0;
  return true;
}

int lastError() { return errno; }

}  // namespace dataport::io::native
