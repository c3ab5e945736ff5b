#include "mendbin/patcher.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace mendbin {
namespace {

// " : pos <decimal> (0x<HEX>) : " as the entry messages print an offset.
std::string posText(std::int64_t pos) {
  char text[64];
  std::snprintf(text, sizeof text, " : pos %ld (0x%lX) : ", static_cast<long>(pos),
                static_cast<unsigned long>(pos));
  return text;
}

}  // namespace

std::string unknownDataMessage(const std::string& path, std::int64_t offset) {
  return "ERROR: unknown data, not patching" + posText(offset) + path + "\n";
}

std::string listingReadError(const std::string& path, int error) {
  return "ERROR: error reading file: " + path + " : " + std::strerror(error) + "\n";
}

BlockCache::Config Patcher::cachedConfig(bool verify) {
  BlockCache::Config c;
  c.blockSize = 4096;
  c.capacity = 8192;  // 32 MiB of blocks
  c.verifyWriteBack = verify;
  return c;
}

BlockCache::Config Patcher::directConfig() {
  BlockCache::Config c;
  c.blockSize = 4096;
  c.capacity = 1;
  c.verifyWriteBack = false;
  return c;
}

Patcher::Patcher(FileAccess& file, std::string path, Settings settings, bool holdsData,
                 Report report)
    : file_(file),
      path_(std::move(path)),
      settings_(settings),
      holdsData_(holdsData),
      report_(std::move(report)),
      cache_(file, holdsData ? cachedConfig(settings.verify) : directConfig(),
             [this](std::int64_t pos) { reportVerifyFail(pos); }) {}

void Patcher::reportVerifyFail(std::int64_t pos) {
  verifyFailed_ = true;
  report_("ERROR: verify fail, data not written" + posText(pos) + "file " + path_ + "\n");
}

bool Patcher::apply(const PatchEntry& entry) {
  const std::uint8_t expected = settings_.revert ? entry.patchByte : entry.orgByte;
  const std::uint8_t wanted = settings_.revert ? entry.orgByte : entry.patchByte;
  const std::uint32_t offset = entry.offset;

  if (!position(offset)) return false;
  if (!settings_.verify) return store(offset, wanted);

  std::uint8_t found = 0;
  if (!fetch(offset, found)) return false;
  if (found != expected) {
    if (found == wanted) return true;  // patched already
    return stop(unknownDataMessage(path_, offset));
  }
  if (!position(offset) || !store(offset, wanted) || !flush()) return false;
  if (!position(offset) || !fetch(offset, found)) return false;
  if (found != wanted) reportVerifyFail(offset);
  return true;
}

bool Patcher::finish() {
  CacheResult r = cache_.writeBack();
  if (r.ok()) return true;
  report_(failureText(r));
  return false;
}

bool Patcher::peek(std::uint32_t offset, std::uint8_t& value, std::string& error) {
  if (offset > kMaxPosition) {
    error = fileError("can't seek in file", EINVAL);
    return false;
  }
  if (!holdsData_) {
    // A device is read at each entry, as the stream would read it.
    CacheResult r = cache_.writeBack();
    if (!r.ok()) {
      error = failureText(r);
      return false;
    }
    cache_.drop();
    if (int e = file_.seekTo(offset); e != 0) {
      error = fileError("can't seek in file", e);
      return false;
    }
  }
  CacheResult r = cache_.read(offset, value);
  if (r.ok()) return true;
  error = failureText(r);
  return false;
}

bool Patcher::stop(const std::string& message) {
  CacheResult r = cache_.writeBack();
  report_(r.ok() ? message : failureText(r));
  return false;
}

// A positioning of a stream writes out what it buffered. Files that hold
// their data keep their blocks instead; others write out and forget them.
bool Patcher::position(std::uint32_t offset) {
  if (!holdsData_) {
    CacheResult r = cache_.writeBack();
    if (!r.ok()) return stop(failureText(r));
    cache_.drop();
    if (offset <= kMaxPosition) {
      if (int error = file_.seekTo(offset); error != 0) {
        return stop(fileError("can't seek in file", error));
      }
    }
  }
  if (offset > kMaxPosition) return stop(fileError("can't seek in file", EINVAL));
  return true;
}

bool Patcher::fetch(std::uint32_t offset, std::uint8_t& value) {
  CacheResult r = cache_.read(offset, value);
  return r.ok() || stop(failureText(r));
}

bool Patcher::store(std::uint32_t offset, std::uint8_t value) {
  CacheResult r = cache_.write(offset, value);
  return r.ok() || stop(failureText(r));
}

bool Patcher::flush() {
  if (holdsData_) return true;
  CacheResult r = cache_.writeBack();
  return r.ok() || stop(failureText(r));
}

std::string Patcher::failureText(const CacheResult& r) const {
  switch (r.status) {
    case CacheStatus::writeFailed:
      return fileError("failed flush file", r.error);
    case CacheStatus::allocFailed: {
      char text[96];
      std::snprintf(text, sizeof text, "ERROR: can't alloc %u bytes : %s\n",
                    static_cast<unsigned>(cache_.blockSize()), std::strerror(r.error));
      return text;
    }
    default:
      // No error number: the read found the end of the file, at the offset
      // itself or, reading back, before the bytes just written.
      if (r.error == 0) {
        return "ERROR: can't read from file : " + path_ + " : offset beyond end of file\n";
      }
      return fileError("can't read from file", r.error);
  }
}

std::string Patcher::fileError(const char* what, int error) const {
  return std::string("ERROR: ") + what + " : " + path_ + " : " + std::strerror(error) + "\n";
}

}  // namespace mendbin
