#include "dataport/io/console.h"

#include <cstdarg>

#include "dataport/io/standard_streams.h"

namespace dataport::io {

namespace {

// A run prints a line per element; when standard output goes to a file or a
// pipe it is worth a large buffer. Done before main, ahead of any output.
char stdoutBuffer[1 << 18];

bool bufferStdout() {
  prepareStandardStreams(stdoutBuffer, sizeof stdoutBuffer);
  return true;
}

[[maybe_unused]] const bool stdoutBuffered = bufferStdout();

bool quietMode = false;

}  // namespace

void out(const char* fmt, ...) {
  if (quietMode) return;
  va_list args;
  va_start(args, fmt);
  std::vfprintf(stdout, fmt, args);
  va_end(args);
}

void outText(const char* text) {
  if (!quietMode) std::fputs(text, stdout);
}

void setQuiet(bool quiet) { quietMode = quiet; }

void err(const char* fmt, ...) {
  std::fflush(stdout);
  va_list args;
  va_start(args, fmt);
  std::vfprintf(stderr, fmt, args);
  va_end(args);
}

void errText(const char* text, std::size_t len) {
  std::fflush(stdout);
  std::fwrite(text, 1, len, stderr);
}

void flushOut() { std::fflush(stdout); }

}  // namespace dataport::io
