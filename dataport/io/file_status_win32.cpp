#include "dataport/io/file_status.h"

// Windows: a handle opened for no access at all (folders too) gives the
// kind, size and identity (volume serial number and file index); errors are
// reported as errno values, as everywhere in dataport.

#include <windows.h>

#include "dataport/io/wide_text.h"

namespace dataport::io {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

FileStatus fileStatus(const std::string& name) {
  FileStatus s;
  HANDLE h = ::CreateFileW(widen(name).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    s.error = lastErrno();
    return s;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    s.kind = FileKind::Other;  // a device: NUL, CON
  } else if (!::GetFileInformationByHandle(h, &info)) {
    s.error = lastErrno();
  } else {
    s.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory
                                                                    : FileKind::Regular;
    s.size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    s.id = FileId{info.dwVolumeSerialNumber,
                  (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  }
  ::CloseHandle(h);
  return s;
}

FileKind entryKind(const std::string& name) {
  const DWORD attributes = ::GetFileAttributesW(widen(name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::Missing;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FileKind::Other;  // a link
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::Directory;
  return fileStatus(name).kind == FileKind::Other ? FileKind::Other : FileKind::Regular;
}

int removeEntry(const std::string& name) {
  return ::DeleteFileW(widen(name).c_str()) ? 0 : lastErrno();
}

int createNew(const std::string& name) {
  HANDLE h = ::CreateFileW(widen(name).c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lastErrno();
  return ::CloseHandle(h) ? 0 : lastErrno();
}

}  // namespace dataport::io
