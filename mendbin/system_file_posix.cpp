#include "mendbin/system_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace mendbin {
namespace {

IoResult outcome(ssize_t n) {
  if (n < 0) return {-1, errno};
  return {static_cast<std::int64_t>(n), 0};
}

}  // namespace

SystemFile::~SystemFile() { close(); }

int SystemFile::open(const char* path, bool update) {
  close();
  do {
    fd_ = ::open(path, (update ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  return fd_ < 0 ? errno : 0;
}

IoResult SystemFile::read(std::uint8_t* dst, std::int64_t n) {
  ssize_t r;
  do {
    r = ::read(fd_, dst, static_cast<std::size_t>(n));
  } while (r < 0 && errno == EINTR);
  return outcome(r);
}

IoResult SystemFile::readAt(std::int64_t pos, std::uint8_t* dst, std::int64_t n) {
  ssize_t r;
  do {
    r = ::pread(fd_, dst, static_cast<std::size_t>(n), static_cast<off_t>(pos));
  } while (r < 0 && errno == EINTR);
  return outcome(r);
}

IoResult SystemFile::writeAt(std::int64_t pos, const std::uint8_t* src, std::int64_t n) {
  ssize_t r;
  do {
    r = ::pwrite(fd_, src, static_cast<std::size_t>(n), static_cast<off_t>(pos));
  } while (r < 0 && errno == EINTR);
  return outcome(r);
}

int SystemFile::seekTo(std::int64_t pos) {
  return ::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0 ? errno : 0;
}

bool SystemFile::holdsData() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return false;
  return S_ISREG(st.st_mode) || S_ISBLK(st.st_mode);
}

int SystemFile::close() {
  if (fd_ < 0) return 0;
  int r = ::close(fd_);
  fd_ = -1;
  // After an interrupted close the descriptor is gone as well.
  return r != 0 && errno != EINTR ? errno : 0;
}

void useBinaryStandardStreams() {}

std::vector<std::string> commandLineWords(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace mendbin
