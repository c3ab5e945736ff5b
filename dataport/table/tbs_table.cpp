#include "dataport/table/tbs_table.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "dataport/io/byte_search.h"
#include "dataport/io/console.h"
#include "dataport/io/file_helpers.h"
#include "dataport/table/key_index.h"

namespace dataport::table {

namespace {

constexpr std::uint8_t kLineEnd[] = {'\r', '\n'};
constexpr std::uint8_t kAssign[] = {'='};
constexpr std::uint8_t kEscape[] = {'\\'};

/// Output bytes of one conversion call; grows on demand and is never
/// zero-filled (a converted block overwrites what it uses).
struct OutBuf {
  std::unique_ptr<std::uint8_t[]> data;
  std::int64_t cap = 0;

  /// Makes room for `need` bytes keeping the first `keep`; false (after
  /// printing the size asked for) when the memory cannot be had.
  bool reserve(std::int64_t need, std::int64_t keep) {
    if (need <= cap) return true;
    const std::int64_t size = std::max(need, cap + cap / 2);
    std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[size]);
    if (!bigger) {
      io::err("Memory alloc error: %lld bytes\n", static_cast<long long>(size));
      return false;
    }
    if (keep > 0) std::memcpy(bigger.get(), data.get(), keep);
    data = std::move(bigger);
    cap = size;
    return true;
  }
};

}  // namespace

/// The converter finds the values of a direction in one pool of records,
/// each starting at a multiple of 4. The index tags each key with
/// (record offset / 4) * 16 + the value's length, or + 15 when the length is
/// 15 or more; only such a record begins with the length as a 32-bit number
/// before the bytes. A match thus knows its output length without touching
/// the pool, and the pool of a table of short values stays small enough for
/// the nearest cache. The pool ends in kPad spare bytes, so that short values
/// are copied with one fixed-size move. Tags have 31 bits: a direction's
/// values may take up to 512 MiB.
constexpr std::int64_t kPad = 16;

struct TbsTable::Impl {
  std::vector<std::uint8_t> text;
  std::vector<TableEntry> lists[2];  // forward, reverse
  KeyIndex keys[2];
  std::vector<std::uint8_t> pool[2];

  /// Fills pool[d] and indexes the keys of lists[d]; false when the memory
  /// cannot be had or the pool would outgrow its 31-bit tags.
  bool index(int d);
  std::int32_t count = 0;
  bool loaded = false;

  int dir(int direction) const { return direction == 0 ? 0 : 1; }

  /// The conversion of one piece of input into buf from position 0. Returns
  /// the input bytes consumed (`produced` output bytes), or -1 when the
  /// output memory cannot be had.
  std::int64_t convert(int direction, const std::uint8_t* in, std::int64_t n, bool final,
                       OutBuf& buf, std::int64_t& produced) const;
};

// At each position the trie gives the longest key there. A byte that starts
// no key passes unchanged. Without `final`, a position whose walk reached the
// end of the input with a longer key still possible is left unconsumed, with
// everything after it: only such bytes depend on input not seen yet, so
// converting piece by piece gives the bytes of converting all at once.
//
// The buffer always has room for every remaining input byte passing
// unchanged plus kPad bytes; only a value longer than its key needs a check.
std::int64_t TbsTable::Impl::convert(int direction, const std::uint8_t* in, std::int64_t n,
                                     bool final, OutBuf& buf, std::int64_t& produced) const {
  produced = 0;
  const int d = dir(direction);
  const KeyIndex::View idx = keys[d].view();
  const std::uint8_t* vpool = pool[d].data();
  if (!buf.reserve(n + kPad, 0)) return -1;
  std::uint8_t* out = buf.data.get();
  std::int64_t cap = buf.cap;
  std::int64_t w = 0;
  std::int64_t p = 0;
  while (p < n) {
    const std::int32_t slot = idx.rootSlot(in[p]);
    if (slot == -1) {  // the byte starts no key
      out[w++] = in[p++];
      continue;
    }
    std::int32_t e;
    std::int32_t len = 1;
    if (slot < -1) {  // a one-byte key that no longer key extends
      e = -2 - slot;
    } else {
      bool open;
      e = idx.longestFrom(slot, in + p, n - p, len, open);
      if (open && !final) break;
      if (e < 0) {
        out[w++] = in[p++];
        continue;
      }
    }
    const std::uint8_t* val = vpool + static_cast<std::size_t>(e >> 4) * 4;
    std::int32_t vlen = e & 15;
    if (vlen == 15) {
      std::memcpy(&vlen, val, 4);
      val += 4;
    }
    if (vlen > len) {
      const std::int64_t need = w + vlen + (n - p - len) + kPad;
      if (need > cap) {
        if (!buf.reserve(need, w)) return -1;
        out = buf.data.get();
        cap = buf.cap;
      }
    }
    if (vlen <= kPad)
      std::memcpy(out + w, val, kPad);
    else
      std::memcpy(out + w, val, static_cast<std::size_t>(vlen));
    w += vlen;
    p += len;
  }
  produced = w;
  return p;
}

bool TbsTable::Impl::index(int d) {
  const std::vector<TableEntry>& list = lists[d];
  auto recordSize = [](std::int32_t len) {
    return static_cast<std::size_t>((len >= 15 ? 4 : 0) + (len + 3) / 4 * 4);
  };
  std::size_t total = kPad;
  for (const TableEntry& e : list) total += recordSize(e.valueLen);
  if (total / 4 >= (std::size_t{1} << 27)) return false;
  try {
    std::vector<std::uint8_t>& vp = pool[d];
    vp.assign(total, 0);
    std::vector<std::span<const std::uint8_t>> keySpans;
    std::vector<std::int32_t> tags;
    keySpans.reserve(list.size());
    tags.reserve(list.size());
    std::size_t off = 0;
    for (const TableEntry& e : list) {
      keySpans.emplace_back(e.key, static_cast<std::size_t>(e.keyLen));
      tags.push_back(static_cast<std::int32_t>(off / 4 * 16) + std::min(e.valueLen, 15));
      std::size_t at = off;
      if (e.valueLen >= 15) {
        std::memcpy(vp.data() + at, &e.valueLen, 4);
        at += 4;
      }
      if (e.valueLen > 0) std::memcpy(vp.data() + at, e.value, static_cast<std::size_t>(e.valueLen));
      off += recordSize(e.valueLen);
    }
    keys[d].build(keySpans, tags);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

TbsTable::TbsTable() : impl_(new Impl) {}

TbsTable::~TbsTable() { delete impl_; }

bool TbsTable::loadTable(io::Disk& disk, const std::string& name) {
  releaseTable();
  std::optional<std::vector<std::uint8_t>> text = io::loadFile(disk, name);
  if (!text) return false;
  return parseTable(std::move(*text));
}

// Every line end is counted, escaped or not, to size the entry lists; a line
// is then taken up to the next unescaped line end. The number printed for a
// line that starts with "=" is the count of entries accepted before it (the
// index its entry would have taken), not a line number.
bool TbsTable::parseTable(std::vector<std::uint8_t> text) {
  releaseTable();
  Impl& t = *impl_;
  t.text = std::move(text);
  std::uint8_t* const base = t.text.data();
  const auto len = static_cast<std::int64_t>(t.text.size());

  std::int64_t lines = 1;
  for (const std::uint8_t* p = base; p != nullptr;) {
    p = io::findBytes(p, base + len - p, kLineEnd, 2);
    if (p != nullptr) {
      ++lines;
      p += 2;
    }
  }
  // Entry lengths are 32-bit: a text that could hold a longer side is refused
  // as one whose entries cannot be held.
  bool room = len <= INT32_MAX;
  if (room) {
    try {
      t.lists[0].reserve(static_cast<std::size_t>(lines));
      t.lists[1].reserve(static_cast<std::size_t>(lines));
    } catch (const std::exception&) {
      room = false;
    }
  }
  if (!room) {
    io::err("TBL:Memory alloc error: %lld bytes\n", static_cast<long long>(lines * 16));
    releaseTable();
    return false;
  }

  auto accept = [&](std::int64_t start, std::int64_t end) {
    std::uint8_t* line = base + start;
    const std::int64_t lineLen = end - start;
    const std::int64_t assign = findUnescaped(line, lineLen, kAssign, kEscape);
    if (assign < 0) return;
    if (assign == 0) {
      io::err("Line %d :must not start with assign string, skipping this line\n", t.count);
      return;
    }
    TableEntry e;
    e.key = line;
    e.keyLen = static_cast<std::int32_t>(unescape(line, assign));
    e.value = line + assign + 1;
    e.valueLen = static_cast<std::int32_t>(unescape(line + assign + 1, lineLen - assign - 1));
    t.lists[0].push_back(e);
    ++t.count;
  };

  std::int64_t pos = 0;
  for (;;) {
    const std::int64_t end = findUnescaped(base + pos, len - pos, kLineEnd, kEscape);
    if (end < 0) break;
    accept(pos, pos + end);
    pos += end + 2;
  }
  accept(pos, len);  // the last line needs no line end

  for (const TableEntry& e : t.lists[0])
    t.lists[1].push_back(TableEntry{e.value, e.valueLen, e.key, e.keyLen});
  // Longest keys first; a stable sort keeps equal keys in file order, so the
  // first line of the file wins among equal keys, in the lists as in the index.
  for (auto& list : t.lists) {
    std::stable_sort(list.begin(), list.end(), [](const TableEntry& a, const TableEntry& b) {
      return a.keyLen > b.keyLen;
    });
  }
  for (int d = 0; d < 2; ++d) {
    if (!t.index(d)) {
      io::err("TBL:Memory alloc error: %lld bytes\n", static_cast<long long>(lines * 16));
      releaseTable();
      return false;
    }
  }
  t.loaded = true;
  return true;
}

void TbsTable::releaseTable() {
  Impl& t = *impl_;
  for (int d = 0; d < 2; ++d) {
    t.lists[d] = {};
    t.keys[d].clear();
    t.pool[d] = {};
  }
  t.text = {};
  t.count = 0;
  t.loaded = false;
}

bool TbsTable::loaded() const { return impl_->loaded; }

std::int64_t TbsTable::convertBlock(int direction, std::span<const std::uint8_t> input,
                                    bool final, std::vector<std::uint8_t>& out) const {
  OutBuf buf;
  std::int64_t produced = 0;
  const std::int64_t used = impl_->convert(direction, input.data(),
                                           static_cast<std::int64_t>(input.size()), final, buf,
                                           produced);
  if (used < 0) return -1;
  out.insert(out.end(), buf.data.get(), buf.data.get() + produced);
  return used;
}

// Streams count bytes through a work area of kWorkArea bytes plus room for
// the bytes a block hands back (fewer than the longest key). Each block is
// converted with `final` false while input remains, so a key straddling the
// end of a block is found when the next block arrives. The result counts the
// input bytes whose output reached the file: fewer than count when the input
// ends early or fails, when a write stores less than asked, or (then 0) when
// the output fails at close.
std::int64_t TbsTable::convertRange(io::Disk& disk, const std::string& inName,
                                    const std::string& outName, std::int64_t inOff,
                                    std::int64_t outOff, std::int64_t count, const char* mode,
                                    int direction, std::int64_t& written) const {
  written = 0;
  io::Stream in(disk, inName, "rb");
  if (!in.isOpen()) return 0;
  io::Stream out(disk, outName, mode);
  if (!out.isOpen()) return 0;
  if (!in.seek(inOff) || !out.seek(outOff) || count <= 0) {
    out.close();
    return 0;
  }

  const std::int64_t area = std::min(count, io::kWorkArea);
  const std::int64_t carryRoom =
      std::min<std::int64_t>(count, std::max(0, impl_->keys[impl_->dir(direction)].maxKeyLength() - 1));
  std::unique_ptr<std::uint8_t[]> work(new (std::nothrow) std::uint8_t[area + carryRoom]);
  if (!work) {
    out.close();
    return 0;
  }
  OutBuf buf;
  std::int64_t carry = 0;
  std::int64_t remaining = count;
  std::int64_t taken = 0;
  bool more = true;
  bool failed = false;

  // Converts the work area's avail bytes and writes the result; the bytes
  // handed back move to the front of the work area.
  auto step = [&](std::int64_t avail, bool final) {
    std::int64_t produced = 0;
    const std::int64_t used = impl_->convert(direction, work.get(), avail, final, buf, produced);
    if (used < 0) return false;
    if (produced > 0) {
      const std::int64_t put = io::writeItems(buf.data.get(), 1, produced, out);
      if (put > 0) written += put;
      if (put != produced) return false;
    }
    taken += used;
    carry = avail - used;
    if (carry > 0) std::memmove(work.get(), work.get() + used, static_cast<std::size_t>(carry));
    return true;
  };

  while (more) {
    const std::int64_t want = std::min(area, remaining);
    const std::int64_t got = io::readItems(work.get() + carry, 1, want, in);
    if (got <= 0) break;
    remaining -= got;
    more = remaining > 0 && got == want;
    if (!step(carry + got, !more)) {
      failed = true;
      break;
    }
  }
  // The input ended while bytes were held back for a longer key: they are
  // the end of the input and are converted as such.
  if (!failed && carry > 0 && !step(carry, true)) failed = true;

  if (!out.close()) return 0;
  return taken;
}

std::int32_t TbsTable::entryCount() const { return impl_->count; }

const std::vector<TableEntry>& TbsTable::forward() const { return impl_->lists[0]; }

const std::vector<TableEntry>& TbsTable::reverse() const { return impl_->lists[1]; }

TbsTable& tbsTable() {
  static TbsTable table;
  return table;
}

}  // namespace dataport::table
