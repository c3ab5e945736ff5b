#include "dataport/io/disk.h"

// How the cache works. Each regular file the run touches has one Entry,
// found by its identity (device and inode; volume and file index on
// Windows) so that two names of one file (a hard link, "./a" and "a") share
// it; a map from names gives the common case without a system call. An
// Entry holds the open file, what is known of the size on disk, a write
// buffer that gathers consecutive writes, and a read-ahead for reads that go
// forward. The design keeps one invariant: the read-ahead only exists while
// nothing has been written since it was read, and a read always writes the
// buffer out first, so the two never disagree.
//
// The files themselves are the platform's (native_file.h); their error
// numbers are errno values on every platform.
//
// Every write failure is kept in `failures` (closeAll reports the first),
// and the handle that caused it, or the next writing handle of that file,
// returns false from release.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dataport/io/native_file.h"

namespace dataport::io {

namespace {

/// Regular files kept open at most; the least recently used one is closed
/// (after its buffer is written out) to make room.
constexpr std::size_t kMaxOpenFiles = 48;
/// Write-combining buffer of one open file.
constexpr std::int64_t kBufferCap = 256 * 1024;
/// Read-ahead of one open file, used when reads go forward through it.
constexpr std::int64_t kAheadCap = 256 * 1024;
constexpr std::int64_t kMaxOff = std::numeric_limits<std::int64_t>::max();

bool needsWrite(OpenMode m) { return m != OpenMode::Read; }
bool canRead(OpenMode m) { return m == OpenMode::Read || m == OpenMode::Update; }

using native::File;
using native::kNoFile;

}  // namespace

OpenMode parseOpenMode(const char* mode) {
  if (mode == nullptr || mode[0] == '\0') return OpenMode::Read;
  if (mode[0] == 'w') return OpenMode::Write;
  if (mode[0] == 'a') return OpenMode::Append;
  if (mode[0] == 'r' && std::strchr(mode, '+') != nullptr) return OpenMode::Update;
  return OpenMode::Read;
}

// One cached regular file. The bytes of the file as the program sees them
// are the file on disk overlaid with `buf` at `bufOff`; `diskSize` is the
// size of the file on disk. `ahead` holds bytes read ahead from the disk;
// it is only kept while nothing is written to the file, so it never needs
// to be merged with `buf`.
struct Entry {
  File fd = kNoFile;
  bool readable = false;
  bool writable = false;
  FileId id;
  std::string name;  ///< the name it was last opened by (for failure reports)
  std::vector<std::string> aliases;
  std::int64_t diskSize = 0;
  std::vector<std::uint8_t> buf;
  std::int64_t bufOff = 0;
  std::unique_ptr<std::uint8_t[]> ahead;
  std::int64_t aheadOff = 0;
  std::int64_t aheadLen = 0;
  bool aheadToEnd = false;        ///< the read-ahead reached the end of the file
  std::int64_t lastReadEnd = -1;  ///< where the last read stopped
  int users = 0;
  std::uint64_t lastUse = 0;
  bool unreported = false;  ///< a write failed and no write handle has reported it yet

  std::int64_t bufEnd() const { return bufOff + static_cast<std::int64_t>(buf.size()); }
  std::int64_t logicalSize() const {
    return buf.empty() ? diskSize : std::max(diskSize, bufEnd());
  }
};

// One operation's use of a file: a cached entry, or a file that is not
// regular and owns its descriptor until release.
struct Slot {
  bool inUse = false;
  OpenMode mode = OpenMode::Read;
  Entry* entry = nullptr;
  File fd = kNoFile;      ///< uncached file
  std::int64_t pos = 0;   ///< uncached file: current position
  std::string name;       ///< uncached file
  bool failed = false;    ///< a write through this handle (or one it caused) failed
};

struct Disk::Impl {
  std::vector<std::unique_ptr<Entry>> entries;
  std::unordered_map<std::string, Entry*> byName;
  std::map<FileId, Entry*> byId;
  std::vector<Slot> slots;
  std::vector<int> freeSlots;
  std::uint64_t clock = 0;
  std::vector<IoError> failures;  ///< files whose writes failed, in the order they failed
  /// When the run first opened each name for writing: failures are reported
  /// in this order.
  std::unordered_map<std::string, std::uint64_t> writeOrder;
  std::optional<IoError> last;  ///< the last failure since open() began

  ~Impl() { shutdown(); }

  /// A write to `name` failed: its content is incomplete.
  void recordFailure(const std::string& name, int code) {
    failures.push_back(IoError{name, true, code});
    last = failures.back();
  }
  /// An open or read failed; the file's content is not touched.
  void recordError(const std::string& name, bool write, int code) {
    last = IoError{name, write, code};
  }

  /// Writes the buffer of e out. False (recorded, buffer dropped) on failure.
  bool flush(Entry& e) {
    if (e.buf.empty()) return true;
    std::int64_t n = static_cast<std::int64_t>(e.buf.size());
    int error = 0;
    std::int64_t w = native::write(e.fd, e.buf.data(), n, e.bufOff, error);
    if (w > 0) e.diskSize = std::max(e.diskSize, e.bufOff + w);
    e.buf.clear();
    if (w == n) return true;
    e.unreported = true;
    recordFailure(e.name, error);
    refreshSize(e);
    return false;
  }

  void refreshSize(Entry& e) {
    FileStatus st;
    if (native::status(e.fd, &st)) e.diskSize = st.size;
  }

  void forgetNames(Entry* e) {
    for (const std::string& a : e->aliases) {
      auto it = byName.find(a);
      if (it != byName.end() && it->second == e) byName.erase(it);
    }
    e->aliases.clear();
  }

  /// Writes out and closes e and drops it from the cache.
  void drop(Entry* e) {
    flush(*e);
    if (!native::close(e->fd)) recordFailure(e->name, native::lastError());
    forgetNames(e);
    byId.erase(e->id);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].get() == e) {
        entries[i] = std::move(entries.back());
        entries.pop_back();
        break;
      }
    }
  }

  void makeRoom() {
    while (entries.size() >= kMaxOpenFiles) {
      Entry* oldest = nullptr;
      for (auto& e : entries) {
        if (e->users == 0 && (oldest == nullptr || e->lastUse < oldest->lastUse)) oldest = e.get();
      }
      if (oldest == nullptr) return;  // all in use: go over the limit for now
      drop(oldest);
    }
  }

  int newSlot() {
    if (!freeSlots.empty()) {
      int h = freeSlots.back();
      freeSlots.pop_back();
      return h;
    }
    slots.emplace_back();
    return static_cast<int>(slots.size() - 1);
  }

  Slot* slot(Disk::Handle h) {
    if (h < 0 || static_cast<std::size_t>(h) >= slots.size() || !slots[h].inUse) return nullptr;
    return &slots[h];
  }

  void addAlias(Entry* e, const std::string& name) {
    auto [it, inserted] = byName.emplace(name, e);
    if (!inserted) {
      if (it->second == e) return;
      // The name now leads to another file: the old entry loses it.
      auto& old = it->second->aliases;
      old.erase(std::remove(old.begin(), old.end(), name), old.end());
      it->second = e;
    }
    e->aliases.push_back(name);
  }

  /// Opens the name afresh and finds or makes its entry; -1 on failure.
  Disk::Handle openSlow(const std::string& name, OpenMode mode) {
    bool readable = true;
    bool writable = needsWrite(mode);
    const native::Access access = mode == OpenMode::Read     ? native::Access::Read
                                  : mode == OpenMode::Update ? native::Access::Update
                                                             : native::Access::ReadWriteNew;
    File fd = native::open(name, access, &readable);
    if (fd == kNoFile) {
      recordError(name, writable, native::lastError());
      return -1;
    }
    FileStatus st;
    if (!native::status(fd, &st) || st.kind == FileKind::Directory) {
      recordError(name, writable, st.kind == FileKind::Directory ? EISDIR : native::lastError());
      native::close(fd);
      return -1;
    }
    if (writable) writeOrder.emplace(name, ++clock);
    if (st.kind != FileKind::Regular) {
      // Devices and pipes: one descriptor per operation, written through.
      int h = newSlot();
      Slot& s = slots[h];
      s = Slot{};
      s.inUse = true;
      s.mode = mode;
      s.fd = fd;
      s.name = name;
      return h;
    }
    Entry* e = nullptr;
    auto id = byId.find(st.id);
    if (id != byId.end()) {
      e = id->second;
      if (e->diskSize != st.size) {  // changed by another program
        e->aheadLen = 0;
        e->diskSize = st.size;
      }
      if ((writable && !e->writable) || (readable && !e->readable && canRead(mode))) {
        // The cached descriptor lacks the access asked for: take the new one.
        flush(*e);
        native::close(e->fd);
        e->fd = fd;
        e->readable = readable;
        e->writable = writable;
      } else {
        native::close(fd);
      }
    } else {
      makeRoom();
      auto owned = std::make_unique<Entry>();
      e = owned.get();
      e->fd = fd;
      e->readable = readable;
      e->writable = writable;
      e->id = st.id;
      e->diskSize = st.size;
      entries.push_back(std::move(owned));
      byId[e->id] = e;
    }
    addAlias(e, name);
    return attach(e, name, mode, st.size == 0);
  }

  /// `emptyOnDisk`: the file was just seen empty (a new output file): no
  /// truncation call needed.
  Disk::Handle attach(Entry* e, const std::string& name, OpenMode mode, bool emptyOnDisk) {
    e->name = name;
    if (mode == OpenMode::Write) {
      // "wb" empties the file now; what was buffered for it is moot.
      if (!emptyOnDisk && !native::truncate(e->fd)) {
        recordError(name, true, native::lastError());
        return -1;
      }
      e->buf.clear();
      e->aheadLen = 0;
      e->diskSize = 0;
    }
    int h = newSlot();
    Slot& s = slots[h];
    s = Slot{};
    s.inUse = true;
    s.mode = mode;
    s.entry = e;
    e->users++;
    e->lastUse = ++clock;
    return h;
  }

  Disk::Handle open(const std::string& name, OpenMode mode) {
    last.reset();
    auto it = byName.find(name);
    if (it != byName.end()) {
      Entry* e = it->second;
      bool accessOk = needsWrite(mode) ? e->writable : e->readable;
      if (mode == OpenMode::Update) accessOk = e->readable && e->writable;
      // The Disk is the only writer of its files during a run: what it
      // knows of an open file stays true until the file is opened anew.
      if (accessOk) return attach(e, name, mode, false);
    }
    return openSlow(name, mode);
  }

  bool release(Disk::Handle h) {
    Slot* s = slot(h);
    if (s == nullptr) return false;
    bool ok = !s->failed;
    if (s->entry != nullptr) {
      Entry* e = s->entry;
      if (e->unreported) {
        ok = false;
        if (needsWrite(s->mode)) e->unreported = false;
      }
      e->users--;
      e->lastUse = ++clock;
    } else if (s->fd != kNoFile) {
      if (!native::close(s->fd)) {
        if (needsWrite(s->mode)) recordFailure(s->name, native::lastError());
        ok = false;
      }
    }
    *s = Slot{};
    freeSlots.push_back(h);
    return ok;
  }

  std::int64_t read(Disk::Handle h, std::uint8_t* dst, std::int64_t n, std::int64_t off) {
    Slot* s = slot(h);
    if (s == nullptr || !canRead(s->mode) || off < 0 || n < 0) return -1;
    if (n == 0) return 0;
    if (s->entry != nullptr) {
      Entry& e = *s->entry;
      if (!e.readable) return -1;
      if (!e.buf.empty()) flush(e);
      std::int64_t r = readCached(e, dst, n, off);
      if (r < 0) recordError(e.name, false, native::lastError());
      return r;
    }
    if (s->fd == kNoFile) return -1;
    if (off != s->pos) {
      if (!native::seek(s->fd, off)) {
        recordError(s->name, false, native::lastError());
        return -1;
      }
      s->pos = off;
    }
    std::int64_t r = native::read(s->fd, dst, n, -1);
    if (r < 0) recordError(s->name, false, native::lastError());
    if (r > 0) s->pos += r;
    return r;
  }

  // Reads that go forward through a file (element after element, or an
  // element and then the gap behind it) are served from a read-ahead of
  // kAheadCap bytes: one system call for many small reads. Other reads go
  // straight to the disk.
  std::int64_t readCached(Entry& e, std::uint8_t* dst, std::int64_t n, std::int64_t off) {
    if (e.aheadLen > 0 && off >= e.aheadOff) {
      const std::int64_t aheadEnd = e.aheadOff + e.aheadLen;
      if (off + n <= aheadEnd || e.aheadToEnd) {
        std::int64_t got = std::max<std::int64_t>(0, std::min(n, aheadEnd - off));
        if (got > 0) std::memcpy(dst, e.ahead.get() + (off - e.aheadOff), static_cast<std::size_t>(got));
        e.lastReadEnd = off + got;
        return got;
      }
    }
    const bool forward = e.lastReadEnd >= 0 && off >= e.lastReadEnd && off - e.lastReadEnd < kAheadCap;
    if (n >= kAheadCap || !forward) {
      std::int64_t r = native::read(e.fd, dst, n, off);
      if (r >= 0) e.lastReadEnd = off + r;
      return r;
    }
    if (!e.ahead) e.ahead = std::make_unique<std::uint8_t[]>(kAheadCap);
    std::int64_t r = native::read(e.fd, e.ahead.get(), kAheadCap, off);
    if (r < 0) {
      e.aheadLen = 0;
      return -1;
    }
    e.aheadOff = off;
    e.aheadLen = r;
    e.aheadToEnd = r < kAheadCap;
    std::int64_t got = std::min(n, r);
    std::memcpy(dst, e.ahead.get(), static_cast<std::size_t>(got));
    e.lastReadEnd = off + got;
    return got;
  }

  std::int64_t write(Disk::Handle h, const std::uint8_t* src, std::int64_t n, std::int64_t off) {
    Slot* s = slot(h);
    if (s == nullptr || !needsWrite(s->mode) || n <= 0) return 0;
    if (s->entry == nullptr) return writeThrough(*s, src, n, off);
    Entry& e = *s->entry;
    if (!e.writable) return 0;
    e.aheadLen = 0;
    std::int64_t target = s->mode == OpenMode::Append ? e.logicalSize() : off;
    if (target < 0 || n > kMaxOff - target) return 0;
    if (!e.buf.empty() && (target != e.bufEnd() || n > kBufferCap - static_cast<std::int64_t>(e.buf.size()))) {
      if (!flush(e)) {
        s->failed = true;
        return 0;
      }
      if (s->mode == OpenMode::Append) target = e.logicalSize();
    }
    if (n >= kBufferCap) {
      int error = 0;
      std::int64_t w = native::write(e.fd, src, n, target, error);
      if (w > 0) e.diskSize = std::max(e.diskSize, target + w);
      if (w < n) {
        s->failed = true;
        recordFailure(e.name, error);
      }
      return w;
    }
    if (e.buf.empty()) {
      if (e.buf.capacity() == 0) e.buf.reserve(kBufferCap);
      e.bufOff = target;
    }
    e.buf.insert(e.buf.end(), src, src + n);
    return n;
  }

  std::int64_t writeThrough(Slot& s, const std::uint8_t* src, std::int64_t n, std::int64_t off) {
    if (s.fd == kNoFile) return 0;
    if (s.mode != OpenMode::Append && off != s.pos) {
      if (off < 0 || !native::seek(s.fd, off)) {
        recordError(s.name, true, off < 0 ? EINVAL : native::lastError());
        return 0;
      }
      s.pos = off;
    }
    int error = 0;
    std::int64_t w = native::write(s.fd, src, n, -1, error);
    s.pos += w;
    if (w < n) {
      if (!s.failed) recordFailure(s.name, error);
      s.failed = true;
    }
    return w;
  }

  std::int64_t size(Disk::Handle h) {
    Slot* s = slot(h);
    if (s == nullptr) return -1;
    if (s->entry != nullptr) return s->entry->logicalSize();
    FileStatus st;
    if (s->fd == kNoFile || !native::status(s->fd, &st)) return -1;
    return st.size;
  }

  std::int64_t fileSize(const std::string& name) {
    const FileStatus st = fileStatus(name);
    if (st.kind != FileKind::Regular) return -1;
    auto named = byName.find(name);
    if (named != byName.end() && named->second->id != st.id) {
      // Another program replaced the file behind this name.
      auto& a = named->second->aliases;
      a.erase(std::remove(a.begin(), a.end(), name), a.end());
      byName.erase(named);
    }
    auto id = byId.find(st.id);
    if (id == byId.end()) return st.size;
    Entry* e = id->second;
    if (e->diskSize != st.size) e->aheadLen = 0;  // changed by another program
    e->diskSize = st.size;
    return e->logicalSize();
  }

  /// Writes out and closes everything; handles still in use go dead.
  void shutdown() {
    for (Slot& s : slots) {
      if (!s.inUse) continue;
      if (s.fd != kNoFile && !native::close(s.fd) && needsWrite(s.mode)) {
        recordFailure(s.name, native::lastError());
      }
      s.fd = kNoFile;
      s.entry = nullptr;
    }
    while (!entries.empty()) drop(entries.back().get());
  }

  void forget(const std::string& name) {
    auto it = byName.find(name);
    if (it != byName.end() && it->second->users == 0) drop(it->second);
  }

  // Each failed file once, in the order the run first wrote to it (a
  // deferred write fails later than the files written after it).
  bool closeAll(std::vector<IoError>* failed) {
    shutdown();
    if (failures.empty()) return true;
    std::vector<IoError> each;
    for (const IoError& f : failures) {
      const bool seen = std::any_of(each.begin(), each.end(),
                                    [&](const IoError& g) { return g.name == f.name; });
      if (!seen) each.push_back(f);
    }
    auto order = [&](const IoError& f) {
      auto it = writeOrder.find(f.name);
      return it == writeOrder.end() ? std::uint64_t{0} : it->second;
    };
    std::stable_sort(each.begin(), each.end(),
                     [&](const IoError& a, const IoError& b) { return order(a) < order(b); });
    failures.clear();
    if (failed != nullptr) *failed = std::move(each);
    return false;
  }
};

Disk::Disk() : impl_(std::make_unique<Impl>()) {}
Disk::~Disk() = default;

Disk::Handle Disk::open(const std::string& name, OpenMode mode) { return impl_->open(name, mode); }
bool Disk::release(Handle h) { return impl_->release(h); }
std::int64_t Disk::read(Handle h, std::uint8_t* dst, std::int64_t n, std::int64_t off) {
  return impl_->read(h, dst, n, off);
}
std::int64_t Disk::write(Handle h, const std::uint8_t* src, std::int64_t n, std::int64_t off) {
  return impl_->write(h, src, n, off);
}
std::int64_t Disk::size(Handle h) { return impl_->size(h); }
std::int64_t Disk::fileSize(const std::string& name) { return impl_->fileSize(name); }
void Disk::forget(const std::string& name) { impl_->forget(name); }
const std::optional<IoError>& Disk::lastError() const { return impl_->last; }
bool Disk::closeAll(std::vector<IoError>& failed) { return impl_->closeAll(&failed); }
bool Disk::closeAll(std::string* failedName) {
  std::vector<IoError> failed;
  if (impl_->closeAll(&failed)) return true;
  if (failedName != nullptr) *failedName = failed.front().name;
  return false;
}

}  // namespace dataport::io
