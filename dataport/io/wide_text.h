#pragma once
// What the Windows side of dataport/io shares: UTF-8 and the UTF-16 of the
// system functions (dataport carries every name and command-line word as
// UTF-8; only the Windows files convert), and Windows' error codes as errno
// values.

#include <string>

namespace dataport::io {

/// UTF-16 of a UTF-8 text (invalid bytes become U+FFFD).
std::wstring widen(const std::string& utf8);
/// UTF-8 of a UTF-16 text (unpaired surrogates become U+FFFD).
std::string narrow(const std::wstring& utf16);

/// ERROR_DIRECTORY_NOT_SUPPORTED: what an open of a folder as a file reports
/// (the system itself says "access denied").
inline constexpr unsigned long kDirectoryNotSupported = 336;

/// The errno value of a Windows error code (EIO for the codes without one).
int errnoOf(unsigned long systemError);
/// errnoOf(GetLastError()).
int lastErrno();

}  // namespace dataport::io
