#pragma once
// What the system says about a file by its name: whether it exists, what
// kind of file it is, which file it is (device and inode), and the reason a
// call on it failed. The modes ask these through here, never the system.

#include <compare>
#include <cstdint>
#include <string>

namespace dataport::io {

/// The identity of an existing file: two names with the same FileId lead to
/// the same file (hard links, "./a" and "a", a symbolic link and its target).
struct FileId {
  std::uint64_t dev = 0;
  std::uint64_t ino = 0;
  friend auto operator<=>(const FileId&, const FileId&) = default;
};

enum class FileKind { Missing, Regular, Directory, Other };

struct FileStatus {
  FileKind kind = FileKind::Missing;
  FileId id;
  std::int64_t size = 0;  ///< bytes of a regular file
  int error = 0;          ///< why the query failed (kind Missing), else 0
};

/// Status of the file `name` leads to, following symbolic links.
FileStatus fileStatus(const std::string& name);
/// Kind of the directory entry itself: a symbolic link is Other.
FileKind entryKind(const std::string& name);
/// True when both names are the same directory entry (the same name in the
/// same folder, however written); false for two links to one file.
bool sameEntry(const std::string& a, const std::string& b);

/// The system's text for an error number ("No space left on device").
std::string errorText(int code);
/// The error number of a directory opened as a file.
int isDirectoryError();
/// The error number of a missing file.
int missingError();

/// Removes the entry `name` (a link is removed, not what it points to).
/// Returns 0, or the error number.
int removeEntry(const std::string& name);
/// Creates `name` as a new empty regular file; fails (returning the error
/// number) when the name exists in any form, a dangling link included.
/// Returns 0 on success.
int createNew(const std::string& name);

}  // namespace dataport::io
