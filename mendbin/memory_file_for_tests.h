#pragma once
// A file held in memory for the unit tests of the cache and the patcher. It
// counts its calls and can fail or forget writes as a device or a full disk
// does.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "mendbin/file_access.h"

namespace mendbin {

class MemoryFile : public FileAccess {
 public:
  explicit MemoryFile(std::string content = {}) : bytes(std::move(content)) {}

  std::string bytes;
  int reads = 0;
  int writes = 0;
  int readError = 0;            ///< every read fails with this error number
  int writeError = 0;           ///< every write fails with this error number
  std::int64_t failWritesFrom = 0;  ///< with writeError: only writes at or past this position fail
  int seekError = 0;            ///< every positioning fails with this error number
  bool forgetAll = false;       ///< writes succeed but change nothing (as /dev/zero)
  std::set<std::int64_t> forget;  ///< positions whose writes are silently lost

  IoResult readAt(std::int64_t pos, std::uint8_t* dst, std::int64_t n) override {
    ++reads;
    if (readError != 0) return {-1, readError};
    if (pos >= static_cast<std::int64_t>(bytes.size())) return {0, 0};
    std::int64_t k = std::min<std::int64_t>(n, static_cast<std::int64_t>(bytes.size()) - pos);
    std::memcpy(dst, bytes.data() + pos, static_cast<std::size_t>(k));
    return {k, 0};
  }

  IoResult writeAt(std::int64_t pos, const std::uint8_t* src, std::int64_t n) override {
    ++writes;
    if (writeError != 0 && pos + n > failWritesFrom) return {-1, writeError};
    if (forgetAll) return {n, 0};
    if (pos + n > static_cast<std::int64_t>(bytes.size())) bytes.resize(pos + n, '\0');
    for (std::int64_t i = 0; i < n; ++i) {
      if (!forget.count(pos + i)) bytes[pos + i] = static_cast<char>(src[i]);
    }
    return {n, 0};
  }

  int seekTo(std::int64_t) override { return seekError; }
};

}  // namespace mendbin
