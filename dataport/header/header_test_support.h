#pragma once
// Support for the header subsystem's tests: a fresh working directory per
// test, little-endian byte building, file writing and reading, the text that
// dataport prints to standard output, and the text of a thrown Failure.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>

#include "dataport/failure.h"
#include "dataport/io/console.h"

namespace dataport::headertest {

using Bytes = std::string;

/// A fresh empty folder that is the working directory while it lives.
class WorkDir {
 public:
  WorkDir() : old_(std::filesystem::current_path()) {
    std::random_device rd;
    do {
      dir_ = std::filesystem::temp_directory_path() / ("dp_header_" + std::to_string(rd()));
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

/// The low `width` bytes of v, least significant first.
inline Bytes le(std::uint64_t v, int width) {
  Bytes b;
  for (int i = 0; i < width; ++i, v >>= 8) b.push_back(static_cast<char>(v & 0xFF));
  return b;
}

inline void writeFile(const std::string& name, const Bytes& bytes) {
  std::ofstream f(name, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(f.good()) << "cannot write " << name;
}

/// The file's bytes, or nothing when it does not exist.
inline std::optional<Bytes> readFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  if (!f) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

/// What a piece of work printed to standard output and the text of the
/// Failure it threw (empty when it returned).
struct Outcome {
  std::string out;
  std::string failure;
};

inline Outcome capture(const std::function<void()>& body) {
  Outcome o;
  io::flushOut();
  std::fflush(stdout);
  ::testing::internal::CaptureStdout();
  try {
    body();
  } catch (const Failure& f) {
    o.failure = f.text;
  }
  io::flushOut();
  std::fflush(stdout);
  o.out = ::testing::internal::GetCapturedStdout();
  return o;
}

}  // namespace dataport::headertest
