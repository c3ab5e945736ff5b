#pragma once
// Support for the copy engine's tests: each test works in a fresh working
// directory (the cut file lands there), writes its input bytes, reads the
// output bytes back, and captures the trace from standard output.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>

#include "dataport/failure.h"
#include "dataport/io/console.h"

namespace dataport::copytest {

/// A fresh empty folder that is the working directory while it lives.
class WorkDir {
 public:
  WorkDir() : old_(std::filesystem::current_path()) {
    std::random_device rd;
    do {
      dir_ = std::filesystem::temp_directory_path() / ("dp_copy_" + std::to_string(rd()));
    } while (!std::filesystem::create_directory(dir_));
    std::filesystem::current_path(dir_);
  }
  ~WorkDir() {
    std::filesystem::current_path(old_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;

 private:
  std::filesystem::path old_;
  std::filesystem::path dir_;
};

inline void writeFile(const std::string& name, const std::string& bytes) {
  std::ofstream f(name, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(f.good()) << "cannot write " << name;
}

/// The file's bytes, or nothing when it does not exist.
inline std::optional<std::string> readFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  if (!f) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

/// Collects what dataport prints to standard output while it lives.
class Trace {
 public:
  Trace() {
    io::flushOut();
    std::fflush(stdout);
    ::testing::internal::CaptureStdout();
  }
  ~Trace() {
    if (!done_) text();
  }
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;
  /// Ends the capture and returns the text.
  std::string text() {
    io::flushOut();
    std::fflush(stdout);
    done_ = true;
    return ::testing::internal::GetCapturedStdout();
  }

 private:
  bool done_ = false;
};

/// The text of the Failure that fn throws, or "" when it throws none.
template <typename Fn>
std::string failureOf(Fn fn) {
  try {
    fn();
  } catch (const Failure& f) {
    return f.text;
  }
  return "";
}

}  // namespace dataport::copytest
