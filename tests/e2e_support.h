#pragma once
// Support for end-to-end tests: a scratch folder per test, byte-exact file
// helpers and a runner that captures a program's output and exit status.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

using Bytes = std::string;  // raw bytes; std::string keeps NULs and compares exactly

/// Result of one program run.
struct RunResult {
  int status = -1;       ///< exit code, or -1 when the program did not exit normally
  std::string out;       ///< everything written to standard output
  std::string err;       ///< everything written to standard error
};

/// A fresh empty folder under the system's temp folder; removed on destruction.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::filesystem::path& dir() const { return dir_; }
  /// Path of a file inside the folder.
  std::string path(const std::string& name) const;
  /// Writes bytes into the named file (created or replaced).
  void write(const std::string& name, const Bytes& bytes) const;
  /// Whole content of the named file; fails the test when it cannot be read.
  Bytes read(const std::string& name) const;
  bool exists(const std::string& name) const;
  /// Runs a program with the folder as working directory.
  RunResult run(const std::string& program, const std::vector<std::string>& args) const;
  /// Runs the built dataport (DATAPORT_BIN overrides its path) in the folder.
  RunResult dataport(const std::vector<std::string>& args) const;
  /// Runs the built dataport through a wrapper command (the wrapper's words,
  /// then dataport's path, then `args`), e.g. one that changes the user.
  RunResult dataportVia(const std::vector<std::string>& wrapper,
                        const std::vector<std::string>& args) const;
  /// Runs the built mendbin (MENDBIN_BIN overrides its path) in the folder.
  RunResult mendbin(const std::vector<std::string>& args) const;

 private:
  std::filesystem::path dir_;
};

/// A path from UTF-8 text, and the UTF-8 text of a path (on Windows the
/// narrow path functions would use the system's code page instead).
std::filesystem::path utf8Path(const std::string& text);
std::string utf8Text(const std::filesystem::path& p);
/// Whole content of a file ("" when it cannot be read).
Bytes slurp(const std::filesystem::path& p);
/// The result of a finished run: its status and the output it left in the
/// two files, which are removed.
RunResult collectRun(int status, const std::filesystem::path& outFile,
                     const std::filesystem::path& errFile);

// The platform's side (e2e_support_posix.cpp, e2e_support_win32.cpp):
// Scratch::run, and
/// the path of a program built with the tests, from the path the build gave.
std::string builtProgram(const char* builtIn);

/// Little-endian bytes of the low `width` bytes of v.
Bytes le(std::uint64_t v, int width);
/// n copies of byte b.
Bytes fillBytes(std::size_t n, char b);
/// The default DFile separator, "\r\n******xEnDx******\r\n".
Bytes defaultSeparator();

}  // namespace e2e
