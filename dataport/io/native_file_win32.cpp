#include "dataport/io/native_file.h"

// Windows files: HANDLEs opened by wide name, read and written at 64-bit
// positions through OVERLAPPED offsets (the handles are synchronous; the
// offset only says where). Every file is shared for reading, writing and
// deletion, as the C runtime shares the files it opens, so that the Disk can
// keep a file open while the same file is opened again under another name.

#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "dataport/io/wide_text.h"

namespace dataport::io::native {

namespace {

/// Largest transfer handed to one system call.
constexpr std::int64_t kMaxIo = 1 << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE handle(File f) { return reinterpret_cast<HANDLE>(f); }

File openWide(const std::wstring& name, DWORD access, DWORD disposition, DWORD flags) {
  HANDLE h = ::CreateFileW(name.c_str(), access, kShareAll, nullptr, disposition, flags, nullptr);
  if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<File>(h);
  if (::GetLastError() == ERROR_ACCESS_DENIED) {
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      ::SetLastError(kDirectoryNotSupported);
    }
  }
  return kNoFile;
}

OVERLAPPED at(std::int64_t off) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(off) & 0xFFFFFFFFu);
  ov.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(off) >> 32);
  return ov;
}

}  // namespace

File open(const std::string& name, Access access, bool* readable) {
  if (readable != nullptr) *readable = true;
  const std::wstring wide = widen(name);
  const DWORD rw = GENERIC_READ | GENERIC_WRITE;
  switch (access) {
    case Access::Read:
      return openWide(wide, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    case Access::Update:
      return openWide(wide, rw, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    case Access::ReadWriteNew: {
      File f = openWide(wide, rw, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
      if (f == kNoFile && ::GetLastError() == ERROR_ACCESS_DENIED) {
        f = openWide(wide, GENERIC_WRITE, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
        if (f == kNoFile) return kNoFile;
        if (readable != nullptr) *readable = false;
      }
      return f;
    }
  }
  return kNoFile;
}

bool close(File f) { return f == kNoFile || ::CloseHandle(handle(f)) != 0; }

std::int64_t read(File f, std::uint8_t* dst, std::int64_t n, std::int64_t off) {
  std::int64_t done = 0;
  while (done < n) {
    DWORD chunk = static_cast<DWORD>(std::min(n - done, kMaxIo));
    DWORD got = 0;
    OVERLAPPED ov = at(off + done);
    if (!::ReadFile(handle(f), dst + done, chunk, &got, off >= 0 ? &ov : nullptr)) {
      DWORD e = ::GetLastError();
      if (e == ERROR_HANDLE_EOF || e == ERROR_BROKEN_PIPE) break;  // the end, not a failure
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::int64_t write(File f, const std::uint8_t* src, std::int64_t n, std::int64_t off, int& error) {
  std::int64_t done = 0;
  while (done < n) {
    DWORD chunk = static_cast<DWORD>(std::min(n - done, kMaxIo));
    DWORD put = 0;
    OVERLAPPED ov = at(off + done);
    if (!::WriteFile(handle(f), src + done, chunk, &put, off >= 0 ? &ov : nullptr)) {
      error = lastErrno();
      break;
    }
    if (put == 0) {  // no progress: treat as failure rather than spin
      error = EIO;
      break;
    }
    done += put;
  }
  return done;
}

bool seek(File f, std::int64_t off) {
  LARGE_INTEGER to;
  to.QuadPart = off;
  return ::SetFilePointerEx(handle(f), to, nullptr, FILE_BEGIN) != 0;
}

bool truncate(File f) { return seek(f, 0) && ::SetEndOfFile(handle(f)) != 0; }

bool status(File f, FileStatus* st) {
  *st = FileStatus{};
  st->kind = FileKind::Other;  // a console, a pipe, the NUL device: no size, no identity
  if (::GetFileType(handle(f)) != FILE_TYPE_DISK) return true;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle(f), &info)) return false;
  st->kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory
                                                                     : FileKind::Regular;
  st->size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  st->id = {info.dwVolumeSerialNumber,
            (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return true;
}

int lastError() { return lastErrno(); }

}  // namespace dataport::io::native
