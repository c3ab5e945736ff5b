#include "dataport/table/tbs_table.h"

#include <algorithm>
#include <array>
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

/// Output bytes of one conversion call, growing on demand: either the
/// caller's vector after its first `base` bytes, or a buffer of our own that
/// is never zero-filled (a converted block overwrites what it uses).
struct OutBuf {
  std::vector<std::uint8_t>* vec = nullptr;
  std::size_t base = 0;
  std::unique_ptr<std::uint8_t[]> own;
  std::uint8_t* data = nullptr;
  std::int64_t cap = 0;

  /// Makes room for `need` bytes keeping the first `keep`; false (after
  /// printing the size asked for) when the memory cannot be had.
  bool reserve(std::int64_t need, std::int64_t keep) {
    if (need <= cap) return true;
    const std::int64_t size = std::max(need, cap + cap / 2);
    if (vec != nullptr) {
      try {
        vec->resize(base + static_cast<std::size_t>(size));
      } catch (const std::exception&) {
        io::err("Memory alloc error: %lld bytes\n", static_cast<long long>(size));
        return false;
      }
      data = vec->data() + base;
    } else {
      std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[size]);
      if (!bigger) {
        io::err("Memory alloc error: %lld bytes\n", static_cast<long long>(size));
        return false;
      }
      if (keep > 0) std::memcpy(bigger.get(), own.get(), static_cast<std::size_t>(keep));
      own = std::move(bigger);
      data = own.get();
    }
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
///
/// The pool begins with a record for each byte value standing for itself
/// (byte b at offset 4 * b), and `first` is the root's slots with those
/// records in place of "no key": a byte that starts no key is converted like
/// a one-byte key into itself. An empty direction uses kIdentity alone.
constexpr std::int64_t kPad = 16;
constexpr std::size_t kIdentityBytes = 256 * 4;

struct IdentityPool {
  std::uint8_t bytes[kIdentityBytes + kPad];
  constexpr IdentityPool() : bytes{} {
    for (int b = 0; b < 256; ++b) bytes[b * 4] = static_cast<std::uint8_t>(b);
  }
};
constexpr IdentityPool kIdentity{};

/// The slot that sends byte b to its identity record.
constexpr std::int32_t identitySlot(int b) { return -2 - (b * 16 + 1); }

struct TbsTable::Impl {
  std::vector<std::uint8_t> text;
  std::vector<TableEntry> lists[2];  // forward, reverse
  KeyIndex keys[2];
  std::vector<std::uint8_t> pool[2];
  std::array<std::int32_t, 256> first[2];
  std::int32_t count = 0;
  bool loaded = false;

  /// Fills pool[d] and first[d] and indexes the keys of lists[d]; false when
  /// the memory cannot be had or the pool would outgrow its 31-bit tags.
  bool index(int d);
  /// Empties direction d.
  void clear(int d);

  int dir(int direction) const { return direction == 0 ? 0 : 1; }

  /// The conversion of one piece of input into buf from position 0. Returns
  /// the input bytes consumed (`produced` output bytes, of which `unmatched`
  /// passed unchanged as no key matched them), or -1 when the output memory
  /// cannot be had.
  std::int64_t convert(int direction, const std::uint8_t* in, std::int64_t n, bool final,
                       OutBuf& buf, std::int64_t& produced, std::int64_t& unmatched) const;
};

// At each position the trie gives the longest key there. A byte that starts
// no key passes unchanged. Without `final`, a position whose walk reached the
// end of the input with a longer key still possible is left unconsumed, with
// everything after it: only such bytes depend on input not seen yet, so
// converting piece by piece gives the bytes of converting all at once.
//
// Most positions of real text end at depth one or two: a byte that maps
// alone, or a lead byte whose node has a dense array and a two-byte key
// with nothing longer. Those take a path without unpredictable branches
// (the lead byte's slot and the second byte's slot are both read, and the
// right one chosen); any other position takes the general walk.
//
// The buffer always has room for every remaining input byte passing
// unchanged plus kPad bytes; a longer value is checked for room.
//
// A byte that starts no key goes through its identity record (the records
// below kIdentityBytes) or, on the general walk, is copied alone; both count
// as unmatched, without a branch on the fast path.
std::int64_t TbsTable::Impl::convert(int direction, const std::uint8_t* in, std::int64_t n,
                                     bool final, OutBuf& buf, std::int64_t& produced,
                                     std::int64_t& unmatched) const {
  produced = 0;
  std::int64_t identities = 0;
  constexpr std::int32_t kFirstRealTag = static_cast<std::int32_t>(kIdentityBytes / 4 * 16);
  const int d = dir(direction);
  const KeyIndex::View idx = keys[d].view();
  const std::uint8_t* vpool = pool[d].empty() ? kIdentity.bytes : pool[d].data();
  const std::int32_t* root = first[d].data();
  if (!buf.reserve(n + kPad, 0)) return -1;
  // Pointers rather than indexes keep the loop's state in registers.
  const std::uint8_t* ip = in;
  const std::uint8_t* const end = in + n;
  std::uint8_t* op = buf.data;
  std::uint8_t* limit = buf.data + buf.cap;
  for (;;) {
    std::int32_t tag;
    std::int32_t len;
    // Masks rather than conditions: the choice between a one-byte and a
    // two-byte character follows the text and would be mispredicted.
    const std::int32_t slot = ip < end ? root[*ip] : 0;
    const std::int32_t node = -(slot >= 0);  // all ones when slot is a node
    const std::int32_t second = end - ip > 1 ? idx.denseSlot(slot & node, ip[1]) : -1;
    const std::int32_t leaf = (second & node) | (slot & ~node);
    if (leaf < -1 && ip < end) {
      tag = -2 - leaf;
      len = 1 + (node & 1);
    } else {
      if (ip >= end) break;
      bool open;
      tag = idx.longestFrom(slot, ip, end - ip, len, open);
      if (open && !final) break;
      if (tag < 0) {
        *op++ = *ip++;
        ++identities;
        continue;
      }
    }
    identities += tag < kFirstRealTag;
    const std::uint8_t* val = vpool + static_cast<std::size_t>(tag >> 4) * 4;
    std::int32_t vlen = tag & 15;
    if (vlen == 15) {
      std::memcpy(&vlen, val, 4);
      val += 4;
    }
    if ((limit - op) - kPad < vlen + ((end - ip) - len)) {
      const std::int64_t w = op - buf.data;
      if (!buf.reserve(w + vlen + ((end - ip) - len) + kPad, w)) return -1;
      op = buf.data + w;
      limit = buf.data + buf.cap;
    }
    if (vlen <= kPad)
      std::memcpy(op, val, kPad);
    else
      std::memcpy(op, val, static_cast<std::size_t>(vlen));
    op += vlen;
    ip += len;
  }
  produced = op - buf.data;
  unmatched += identities;
  return ip - in;
}

bool TbsTable::Impl::index(int d) {
  const std::vector<TableEntry>& list = lists[d];
  auto recordSize = [](std::int32_t len) {
    return static_cast<std::size_t>((len >= 15 ? 4 : 0) + (len + 3) / 4 * 4);
  };
  std::size_t total = kIdentityBytes + kPad;
  for (const TableEntry& e : list) total += recordSize(e.valueLen);
  if (total / 4 >= (std::size_t{1} << 27)) return false;
  try {
    std::vector<std::uint8_t>& vp = pool[d];
    vp.assign(total, 0);
    std::memcpy(vp.data(), kIdentity.bytes, kIdentityBytes);
    std::vector<std::span<const std::uint8_t>> keySpans;
    std::vector<std::int32_t> tags;
    keySpans.reserve(list.size());
    tags.reserve(list.size());
    std::size_t off = kIdentityBytes;
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
  const KeyIndex::View view = keys[d].view();
  for (int b = 0; b < 256; ++b) {
    const std::int32_t slot = view.rootSlot(static_cast<std::uint8_t>(b));
    first[d][b] = slot != -1 ? slot : identitySlot(b);
  }
  return true;
}

void TbsTable::Impl::clear(int d) {
  lists[d] = {};
  keys[d].clear();
  pool[d] = {};
  for (int b = 0; b < 256; ++b) first[d][b] = identitySlot(b);
}

TbsTable::TbsTable() : impl_(new Impl) { releaseTable(); }

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
  for (int d = 0; d < 2; ++d) t.clear(d);
  t.text = {};
  t.count = 0;
  t.loaded = false;
}

bool TbsTable::loaded() const { return impl_->loaded; }

std::int64_t TbsTable::convertBlock(int direction, std::span<const std::uint8_t> input,
                                    bool final, std::vector<std::uint8_t>& out) const {
  OutBuf buf;
  buf.vec = &out;
  buf.base = out.size();
  std::int64_t produced = 0;
  std::int64_t unmatched = 0;
  const std::int64_t used = impl_->convert(direction, input.data(),
                                           static_cast<std::int64_t>(input.size()), final, buf,
                                           produced, unmatched);
  out.resize(buf.base + static_cast<std::size_t>(used < 0 ? 0 : produced));
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
                                    int direction, std::int64_t& written,
                                    std::int64_t* unmatched) const {
  written = 0;
  std::int64_t noEntry = 0;
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
    const std::int64_t used =
        impl_->convert(direction, work.get(), avail, final, buf, produced, noEntry);
    if (used < 0) return false;
    if (produced > 0) {
      const std::int64_t put = io::writeItems(buf.data, 1, produced, out);
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
  if (unmatched != nullptr) *unmatched += noEntry;

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
