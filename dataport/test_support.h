#pragma once
// What dataport's unit tests share: a fresh working directory per test (the
// outputs and the cut file land there), little-endian byte building, file
// writing and reading, the text dataport prints to standard output, the text
// of a thrown Failure, and a check of an element list.

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
#include <system_error>

#include "dataport/failure.h"
#include "dataport/header/element.h"
#include "dataport/io/console.h"

namespace dataport::testsupport {

/// File contents and header bytes as the tests build them.
using Bytes = std::string;

/// A fresh empty folder that is the working directory while it lives.
class WorkDir {
 public:
  WorkDir() : old_(std::filesystem::current_path()) {
    std::random_device rd;
    do {
      dir_ = std::filesystem::temp_directory_path() / ("dp_test_" + std::to_string(rd()));
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
std::string failureOf(Fn&& fn) {
  try {
    fn();
  } catch (const Failure& f) {
    return f.text;
  }
  return "";
}

/// What a piece of work printed to standard output and the text of the
/// Failure it threw (empty when it returned).
struct Outcome {
  std::string out;
  std::string failure;
};

inline Outcome capture(const std::function<void()>& body) {
  Trace trace;
  Outcome o;
  o.failure = failureOf(body);
  o.out = trace.text();
  return o;
}

/// Checks position, size and record number of every element, in order.
inline void expectElements(const ElementList& list, const ElementList& want) {
  ASSERT_EQ(list.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_EQ(list[k].pos, want[k].pos) << "element " << k;
    EXPECT_EQ(list[k].size, want[k].size) << "element " << k;
    EXPECT_EQ(list[k].index, want[k].index) << "element " << k;
  }
}

}  // namespace dataport::testsupport
