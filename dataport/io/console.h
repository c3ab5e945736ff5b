#pragma once
// Console output of dataport. Progress and traces go to standard output
// through a large buffer; every text for standard error first flushes
// standard output, so the two streams interleave exactly as written.
// Quiet mode ("-q") silences standard output; standard error never is.

#include <cstdio>

namespace dataport::io {

/// printf to standard output (buffered; flushed before any error text and at exit).
void out(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
/// Writes raw text to standard output.
void outText(const char* text);
/// printf to standard error, after flushing standard output.
void err(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
/// Writes a text unchanged to standard error, after flushing standard output.
void errText(const char* text, std::size_t len);
/// Quiet on: out() and outText() print nothing (and format nothing). Like
/// standard output itself, this is one setting for the whole process.
void setQuiet(bool quiet);
/// Flushes standard output.
void flushOut();

}  // namespace dataport::io
