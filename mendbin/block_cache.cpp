#include "mendbin/block_cache.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace mendbin {
namespace {

// A block with more runs of changed bytes than this is completed from the
// file and written in one call.
constexpr int kMaxSeparateRuns = 4;

}  // namespace

BlockCache::BlockCache(FileAccess& file, Config config,
                       std::function<void(std::int64_t pos)> onMismatch)
    : file_(file), config_(config), onMismatch_(std::move(onMismatch)) {
  while ((std::int64_t{1} << shift_) < config_.blockSize) ++shift_;
  config_.blockSize = std::int64_t{1} << shift_;
  if (config_.capacity < 1) config_.capacity = 1;
}

CacheResult BlockCache::read(std::int64_t pos, std::uint8_t& value) {
  int slot = -1;
  CacheResult r = find(pos >> shift_, true, slot);
  if (!r.ok()) return r;
  const Slot& s = slots_[slot];
  const std::int64_t off = pos & (config_.blockSize - 1);
  if (off >= s.size) return {CacheStatus::endOfFile, 0};
  value = s.data[off];
  return {};
}

CacheResult BlockCache::write(std::int64_t pos, std::uint8_t value) {
  int slot = -1;
  CacheResult r = find(pos >> shift_, false, slot);
  if (!r.ok()) return r;
  Slot& s = slots_[slot];
  const std::int64_t off = pos & (config_.blockSize - 1);
  s.data[off] = value;
  s.changed[off >> 6] |= std::uint64_t{1} << (off & 63);
  if (s.hi < s.lo) {
    s.lo = s.hi = off;
  } else {
    s.lo = std::min(s.lo, off);
    s.hi = std::max(s.hi, off);
  }
  s.size = std::max(s.size, off + 1);
  if (!s.listed) {
    s.listed = true;
    changedSlots_.push_back(slot);
  }
  return {};
}

CacheResult BlockCache::writeBack() {
  std::sort(changedSlots_.begin(), changedSlots_.end(),
            [this](std::int32_t a, std::int32_t b) { return slots_[a].block < slots_[b].block; });
  CacheResult first;
  std::vector<std::int32_t> failed;
  for (std::int32_t i : changedSlots_) {
    CacheResult r = writeSlot(slots_[i]);
    if (r.ok()) {
      slots_[i].listed = false;
    } else {
      if (first.ok()) first = r;
      failed.push_back(i);
    }
  }
  changedSlots_ = std::move(failed);
  return first;
}

void BlockCache::drop() {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].block >= 0) unmap(static_cast<int>(i));
  }
}

// A block asked for by a read must hold the file's bytes. A block held only
// for writes is written out first and then read, so that the read sees the
// file with those writes on it.
CacheResult BlockCache::find(std::int64_t block, bool forRead, int& slot) {
  if (block < static_cast<std::int64_t>(slotOf_.size()) && slotOf_[block] >= 0) {
    slot = slotOf_[block];
    Slot& s = slots_[slot];
    if (!forRead || s.loaded) return {};
    CacheResult r = writeSlot(s);
    if (!r.ok()) return r;
    return load(s);
  }
  CacheResult r = takeSlot(slot);
  if (!r.ok()) return r;
  Slot& s = slots_[slot];
  if (block >= static_cast<std::int64_t>(slotOf_.size())) slotOf_.resize(block + 1, -1);
  s.block = block;
  slotOf_[block] = slot;
  s.loaded = false;
  s.size = 0;
  if (forRead) {
    r = load(s);
    if (!r.ok()) {
      unmap(slot);
      return r;
    }
  }
  return {};
}

CacheResult BlockCache::takeSlot(int& slot) {
  if (static_cast<std::int64_t>(slots_.size()) < config_.capacity) {
    try {
      Slot s;
      s.data = std::make_unique_for_overwrite<std::uint8_t[]>(config_.blockSize);
      s.changed = std::make_unique<std::uint64_t[]>((config_.blockSize + 63) / 64);
      slots_.push_back(std::move(s));
    } catch (const std::bad_alloc&) {
      return {CacheStatus::allocFailed, ENOMEM};
    }
    slot = static_cast<int>(slots_.size() - 1);
    return {};
  }
  slot = static_cast<int>(hand_);
  hand_ = (hand_ + 1) % slots_.size();
  CacheResult r = writeSlot(slots_[slot]);
  if (!r.ok()) return r;
  unmap(slot);
  return {};
}

CacheResult BlockCache::readAll(std::int64_t pos, std::uint8_t* dst, std::int64_t n,
                                std::int64_t& got) {
  got = 0;
  while (got < n) {
    IoResult r = file_.readAt(pos + got, dst + got, n - got);
    if (r.count < 0) return {CacheStatus::readFailed, r.error};
    if (r.count == 0) break;
    got += r.count;
  }
  return {};
}

// REQUIRES: nothing changed in the block.
CacheResult BlockCache::load(Slot& s) {
  std::int64_t got = 0;
  CacheResult r = readAll(s.block << shift_, s.data.get(), config_.blockSize, got);
  if (!r.ok()) return r;
  // Past the end of the file the block reads as zeros, as a later write there
  // leaves the gap on the file.
  std::memset(s.data.get() + got, 0, static_cast<std::size_t>(config_.blockSize - got));
  s.size = got;
  s.loaded = true;
  return {};
}

CacheResult BlockCache::writeAll(std::int64_t pos, const std::uint8_t* src, std::int64_t n) {
  while (n > 0) {
    IoResult r = file_.writeAt(pos, src, n);
    if (r.count < 0) return {CacheStatus::writeFailed, r.error};
    if (r.count == 0) return {CacheStatus::writeFailed, EIO};
    pos += r.count;
    src += r.count;
    n -= r.count;
  }
  return {};
}

// Runs of changed bytes, counted up to one more than kMaxSeparateRuns.
int BlockCache::countRuns(const Slot& s) const {
  int runs = 0;
  for (std::int64_t i = s.lo; i <= s.hi && runs <= kMaxSeparateRuns; ++i) {
    if (isChanged(s, i) && (i == s.lo || !isChanged(s, i - 1))) ++runs;
  }
  return runs;
}

// Fills the unchanged bytes of [lo, hi] from the file (zeros past its end),
// so that the span can be written in one call. False when the file cannot be
// read; then the runs go out one by one.
bool BlockCache::fillGaps(Slot& s) {
  const std::int64_t n = s.hi - s.lo + 1;
  if (static_cast<std::int64_t>(scratch_.size()) < config_.blockSize) {
    scratch_.resize(config_.blockSize);
  }
  std::int64_t got = 0;
  if (!readAll((s.block << shift_) + s.lo, scratch_.data(), n, got).ok()) return false;
  std::memset(scratch_.data() + got, 0, static_cast<std::size_t>(n - got));
  for (std::int64_t i = s.lo; i <= s.hi; ++i) {
    if (!isChanged(s, i)) s.data[i] = scratch_[i - s.lo];
  }
  return true;
}

CacheResult BlockCache::writeSlot(Slot& s) {
  if (s.hi < s.lo) return {};
  const std::int64_t base = s.block << shift_;
  const bool oneSpan = s.loaded || (countRuns(s) > kMaxSeparateRuns && fillGaps(s));
  if (oneSpan) {
    // The bytes between changed ones are the file's own.
    CacheResult r = writeAll(base + s.lo, s.data.get() + s.lo, s.hi - s.lo + 1);
    if (!r.ok()) return r;
  } else {
    for (std::int64_t i = s.lo; i <= s.hi;) {
      if (!isChanged(s, i)) {
        ++i;
        continue;
      }
      std::int64_t end = i + 1;
      while (end <= s.hi && isChanged(s, end)) ++end;
      CacheResult r = writeAll(base + i, s.data.get() + i, end - i);
      if (!r.ok()) return r;
      i = end;
    }
  }
  if (config_.verifyWriteBack) {
    const std::int64_t n = s.hi - s.lo + 1;
    if (static_cast<std::int64_t>(scratch_.size()) < config_.blockSize) {
      scratch_.resize(config_.blockSize);
    }
    std::int64_t got = 0;
    CacheResult r = readAll(base + s.lo, scratch_.data(), n, got);
    if (!r.ok()) return {CacheStatus::readBackFailed, r.error};
    if (got < n) return {CacheStatus::readBackFailed, 0};
    if (std::memcmp(scratch_.data(), s.data.get() + s.lo, static_cast<std::size_t>(n)) != 0) {
      for (std::int64_t i = s.lo; i <= s.hi; ++i) {
        if (isChanged(s, i) && scratch_[i - s.lo] != s.data[i]) onMismatch_(base + i);
      }
    }
  }
  for (std::int64_t w = s.lo >> 6; w <= (s.hi >> 6); ++w) s.changed[w] = 0;
  s.lo = 0;
  s.hi = -1;
  return {};
}

void BlockCache::unmap(int slot) {
  Slot& s = slots_[slot];
  if (s.block >= 0) slotOf_[s.block] = -1;
  s.block = -1;
  s.loaded = false;
  s.size = 0;
}

}  // namespace mendbin
