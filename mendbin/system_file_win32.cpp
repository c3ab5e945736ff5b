#include "mendbin/system_file.h"

// Windows: the C runtime's descriptors, opened by wide name in binary mode,
// so that errors are errno values with the runtime's texts, as on POSIX.
// Positioned reads and writes seek first; mendbin has one thread.

#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace mendbin {
namespace {

/// Largest transfer handed to one runtime call.
constexpr std::int64_t kMaxIo = 1 << 30;

unsigned int chunk(std::int64_t n) { return static_cast<unsigned int>(std::min(n, kMaxIo)); }

IoResult outcome(int n) {
  if (n < 0) return {-1, errno};
  return {static_cast<std::int64_t>(n), 0};
}

std::wstring widen(const char* utf8) {
  int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), n);
  w.pop_back();  // the terminating NUL
  return w;
}

std::string narrow(const wchar_t* utf16) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string s(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, utf16, -1, s.data(), n, nullptr, nullptr);
  s.pop_back();
  return s;
}

}  // namespace

SystemFile::~SystemFile() { close(); }

int SystemFile::open(const char* path, bool update) {
  close();
  fd_ = ::_wopen(widen(path).c_str(), (update ? _O_RDWR : _O_RDONLY) | _O_BINARY | _O_NOINHERIT);
  return fd_ < 0 ? errno : 0;
}

IoResult SystemFile::read(std::uint8_t* dst, std::int64_t n) {
  return outcome(::_read(fd_, dst, chunk(n)));
}

IoResult SystemFile::readAt(std::int64_t pos, std::uint8_t* dst, std::int64_t n) {
  if (::_lseeki64(fd_, pos, SEEK_SET) < 0) return {-1, errno};
  return outcome(::_read(fd_, dst, chunk(n)));
}

IoResult SystemFile::writeAt(std::int64_t pos, const std::uint8_t* src, std::int64_t n) {
  if (::_lseeki64(fd_, pos, SEEK_SET) < 0) return {-1, errno};
  return outcome(::_write(fd_, src, chunk(n)));
}

int SystemFile::seekTo(std::int64_t pos) { return ::_lseeki64(fd_, pos, SEEK_SET) < 0 ? errno : 0; }

bool SystemFile::holdsData() const {
  struct _stat64 st;
  if (::_fstat64(fd_, &st) != 0) return false;
  return (st.st_mode & _S_IFMT) == _S_IFREG;
}

int SystemFile::close() {
  if (fd_ < 0) return 0;
  int r = ::_close(fd_);
  fd_ = -1;
  return r != 0 ? errno : 0;
}

void useBinaryStandardStreams() {
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
}

// The runtime's argv holds the words in the system's code page, where a
// name outside it is lost; the wide command line holds them all.
std::vector<std::string> commandLineWords(int argc, char** argv) {
  int n = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> words;
  for (int i = 0; i < n; ++i) words.push_back(narrow(wide[i]));
  ::LocalFree(wide);
  return words;
}

}  // namespace mendbin
