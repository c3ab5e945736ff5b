#pragma once
// The platform's open files, as the Disk needs them: open by a UTF-8 name,
// positioned reads and writes with 64-bit offsets, truncation and status.
// One implementation per platform (native_file_posix.cpp,
// native_file_win32.cpp), chosen by the build; the Disk is its only user.
//
// Names are UTF-8 everywhere; the Windows implementation converts them to
// the wide names of the system's file functions. Files are always binary.
// Error numbers are errno values on every platform (Windows' own codes are
// mapped), so that errorText() of file_status.h names them.

#include <cstdint>
#include <string>

#include "dataport/io/file_status.h"

namespace dataport::io::native {

/// An open file: a descriptor on POSIX, a HANDLE on Windows.
using File = std::intptr_t;
inline constexpr File kNoFile = -1;

/// How open() opens a name.
enum class Access {
  Read,          ///< must exist
  Update,        ///< must exist; read and write
  ReadWriteNew,  ///< created when missing; read and write, or write only
                 ///< where reading is not permitted (see `readable`)
};

/// Opens `name`. Returns kNoFile when it cannot be opened (why: lastError()).
/// For ReadWriteNew, *readable (when given) tells whether the file could be
/// opened for reading too.
File open(const std::string& name, Access access, bool* readable = nullptr);
/// Closes f. False when the system reports a failure (why: lastError()).
bool close(File f);

/// Reads up to n bytes at off, or at the current position when off < 0,
/// until n bytes arrived or the end of the file. Returns the bytes read, or
/// -1 on a read error (why: lastError()).
std::int64_t read(File f, std::uint8_t* dst, std::int64_t n, std::int64_t off);
/// Writes n bytes at off, or at the current position when off < 0. Returns
/// the bytes that reached the file; when fewer than n, `error` holds why.
std::int64_t write(File f, const std::uint8_t* src, std::int64_t n, std::int64_t off, int& error);
/// Sets the current position (of a file read or written in order).
bool seek(File f, std::int64_t off);
/// Cuts the file to 0 bytes.
bool truncate(File f);

/// Kind, identity and size of an open file. False when it cannot be had.
bool status(File f, FileStatus* st);

/// The errno value of the last failed operation of this thread.
int lastError();

}  // namespace dataport::io::native
