#include "dataport/io/file_helpers.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "dataport/io/console.h"
#include "dataport/io/failure_text.h"

namespace dataport::io {

namespace {

/// Reads, writes and short fill writes that one helper call may make.
constexpr int kMaxAttempts = 32;
/// Block of fill bytes written at a time.
constexpr std::int64_t kFillBlock = 256;

/// True when count items of itemSize bytes can be addressed at all.
bool sizeFits(std::int64_t itemSize, std::int64_t count) {
  return itemSize > 0 && count > 0 && count <= std::numeric_limits<std::int64_t>::max() / itemSize;
}

}  // namespace

// ---- Stream ----

Stream::Stream(Disk& disk, const std::string& name, const char* mode) : disk_(disk) {
  OpenMode m = parseOpenMode(mode);
  handle_ = disk_.open(name, m);
  if (handle_ >= 0 && m == OpenMode::Append) pos_ = disk_.size(handle_);
}

Stream::~Stream() { close(); }

bool Stream::seek(std::int64_t off) {
  if (off < 0 || handle_ < 0) return false;
  pos_ = off;
  eof_ = false;
  return true;
}

std::int64_t Stream::read(std::uint8_t* dst, std::int64_t n) {
  if (n <= 0) return 0;
  if (handle_ < 0) {
    error_ = true;
    return 0;
  }
  std::int64_t r = disk_.read(handle_, dst, n, pos_);
  if (r < 0) {
    error_ = true;
    return 0;
  }
  pos_ += r;
  if (r < n) eof_ = true;
  return r;
}

std::int64_t Stream::write(const std::uint8_t* src, std::int64_t n) {
  if (n <= 0) return 0;
  if (handle_ < 0) {
    error_ = true;
    return 0;
  }
  std::int64_t w = disk_.write(handle_, src, n, pos_);
  if (w < 0) w = 0;
  pos_ += w;
  if (w < n) error_ = true;
  return w;
}

bool Stream::close() {
  if (handle_ < 0) return !error_;
  bool ok = disk_.release(handle_);
  handle_ = -1;
  if (!ok) error_ = true;
  return ok;
}

// ---- stream helpers ----

std::int64_t readItems(void* dst, std::int64_t itemSize, std::int64_t count, Stream& in) {
  if (!sizeFits(itemSize, count)) return 0;
  auto* bytes = static_cast<std::uint8_t*>(dst);
  std::int64_t remaining = count;
  // A read that ends inside an item counts only the whole items; the next
  // read starts again at the first missing item, as the position has moved
  // past the partial bytes (the same as a C stream read).
  for (int attempts = 0; remaining != 0 && attempts < kMaxAttempts && !in.eof(); ++attempts) {
    std::int64_t got = in.read(bytes + (count - remaining) * itemSize, remaining * itemSize);
    remaining -= got / itemSize;
  }
  if (remaining == 0) return count;
  if (in.eof()) return count - remaining;
  return remaining - count;
}

std::int64_t writeItems(const void* src, std::int64_t itemSize, std::int64_t count, Stream& out) {
  if (!sizeFits(itemSize, count)) return 0;
  const auto* bytes = static_cast<const std::uint8_t*>(src);
  std::int64_t remaining = count;
  for (int attempts = 0; remaining != 0 && attempts < kMaxAttempts && !out.eof(); ++attempts) {
    std::int64_t put = out.write(bytes + (count - remaining) * itemSize, remaining * itemSize);
    remaining -= put / itemSize;
  }
  return count - remaining;
}

std::int64_t copyItems(Stream& in, Stream& out, std::int64_t itemSize, std::int64_t count) {
  if (itemSize <= 0 || count <= 0) return 0;
  const std::int64_t per = kWorkArea / itemSize;
  if (per == 0) return 0;
  std::int64_t batch = std::min(per, count);
  std::unique_ptr<std::uint8_t[]> area(new (std::nothrow) std::uint8_t[batch * itemSize]);
  if (!area) return 0;
  std::int64_t remaining = count;
  while (remaining != 0) {
    std::int64_t got = readItems(area.get(), itemSize, batch, in);
    if (got <= 0) break;
    std::int64_t put = writeItems(area.get(), itemSize, got, out);
    if (put == 0) break;
    remaining -= put;
    batch = std::min(per, remaining);
  }
  return count - remaining;
}

std::int64_t writeFill(std::uint8_t fill, std::int64_t count, Stream& out) {
  if (count <= 0) return 0;
  std::uint8_t block[kFillBlock];
  std::memset(block, fill, sizeof block);
  std::int64_t remaining = count;
  int shortWrites = 0;
  while (remaining != 0 && shortWrites < kMaxAttempts && !out.eof()) {
    std::int64_t len = remaining <= kFillBlock - 1 ? remaining : kFillBlock;
    std::int64_t put = out.write(block, len);
    if (put < len) ++shortWrites;
    remaining -= put;
  }
  return count - remaining;
}

// ---- named-file helpers ----

std::int64_t readAt(Disk& disk, const std::string& name, std::uint8_t* dst, std::int64_t off,
                    std::int64_t count) {
  Stream in(disk, name, "rb");
  if (!in.isOpen() || !in.seek(off)) return 0;
  std::int64_t got = readItems(dst, 1, count, in);
  in.close();
  return got;
}

std::int64_t writeAt(Disk& disk, const std::string& name, const std::uint8_t* src,
                     std::int64_t off, std::int64_t count, const char* mode) {
  Stream out(disk, name, mode);
  if (!out.isOpen()) return 0;
  if (off != 0 && !out.seek(off)) return 0;
  std::int64_t put = writeItems(src, 1, count, out);
  if (!out.close()) return 0;
  return put;
}

std::int64_t copyRange(Disk& disk, const std::string& inName, const std::string& outName,
                       std::int64_t inOff, std::int64_t outOff, std::int64_t count,
                       const char* mode) {
  Stream in(disk, inName, "rb");
  if (!in.isOpen()) return 0;
  Stream out(disk, outName, mode);
  if (!out.isOpen()) return 0;
  if (!in.seek(inOff) || !out.seek(outOff)) return 0;
  std::int64_t copied = copyItems(in, out, 1, count);
  if (!out.close()) return 0;
  in.close();
  return copied;
}

std::int64_t fillAt(Disk& disk, const std::string& name, std::uint8_t fill, std::int64_t off,
                    std::int64_t count, const char* mode) {
  Stream out(disk, name, mode);
  if (!out.isOpen()) return 0;
  if (off != 0 && !out.seek(off)) return 0;
  std::int64_t put = writeFill(fill, count, out);
  if (!out.close()) return 0;
  return put;
}

std::int64_t fileSize(Disk& disk, const std::string& name) { return disk.fileSize(name); }

std::optional<std::vector<std::uint8_t>> loadFile(Disk& disk, const std::string& name) {
  std::int64_t size = fileSize(disk, name);
  if (size < 0) {
    const std::string folder = folderProblem(name);
    if (!folder.empty()) {
      errText(folder.data(), folder.size());
    } else {
      err("File %s dont exist\n", name.c_str());
    }
    return std::nullopt;
  }
  std::vector<std::uint8_t> data;
  try {
    data.resize(static_cast<std::size_t>(size));
  } catch (const std::exception&) {
    err("Cant aloccate %d bytes(mem alloc error)\n", static_cast<int>(size));
    return std::nullopt;
  }
  if (readAt(disk, name, data.data(), 0, size) != size) {
    const std::string problem = readProblem(disk, name);
    errText(problem.data(), problem.size());
    err("Read error from file %s \n", name.c_str());
    return std::nullopt;
  }
  return data;
}

}  // namespace dataport::io
