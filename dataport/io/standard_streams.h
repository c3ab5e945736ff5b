#pragma once
// The platform's side of the console: standard output and standard error
// carry the bytes the program writes, unchanged (binary, no CR added before
// LF on Windows), and standard output gets a large buffer when it goes to a
// file or a pipe. One implementation per platform, chosen by the build.

#include <cstddef>

namespace dataport::io {

/// Prepares the standard streams; called once, before any output. `buffer`
/// must live as long as the process.
void prepareStandardStreams(char* buffer, std::size_t size);

}  // namespace dataport::io
