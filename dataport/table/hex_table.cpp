#include "dataport/table/hex_table.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "dataport/io/console.h"
#include "dataport/io/file_helpers.h"

namespace dataport::table {

namespace {

/// Spare bytes behind every value and every output buffer: values of up to
/// kPad bytes are copied with one fixed-size move.
constexpr std::int64_t kPad = 16;
/// Bytes of converted ranges that prepare() keeps for the copies; beyond it
/// the copies convert again.
constexpr std::int64_t kPreparedBudget = std::int64_t{256} << 20;
/// Bytes of an unmatched text that an error shows.
constexpr std::int64_t kShown = 20;

constexpr char kUpperHex[] = "0123456789ABCDEF";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

/// An even, non-zero number of hex digits, most significant byte first.
bool parseHex(std::string_view s, std::vector<std::uint8_t>& out) {
  out.clear();
  if (s.empty() || s.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < s.size(); i += 2) {
    const int hi = hexValue(s[i]);
    const int lo = hexValue(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return true;
}

/// The text as export writes it: each \n a CR LF.
std::vector<std::uint8_t> exportText(std::string_view t) {
  std::vector<std::uint8_t> v;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\\' && i + 1 < t.size() && t[i + 1] == 'n') {
      v.push_back('\r');
      v.push_back('\n');
      ++i;
    } else {
      v.push_back(static_cast<std::uint8_t>(t[i]));
    }
  }
  return v;
}

/// The text as import matches it: line breaks left out, as import drops
/// every line end of its input.
std::vector<std::uint8_t> importKey(std::string_view t) {
  std::vector<std::uint8_t> v;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\\' && i + 1 < t.size() && t[i + 1] == 'n') {
      ++i;
    } else {
      v.push_back(static_cast<std::uint8_t>(t[i]));
    }
  }
  return v;
}

/// "<$XX>" for byte b, upper-case digits.
void byteToken(std::uint8_t b, std::uint8_t* dst) {
  dst[0] = '<';
  dst[1] = '$';
  dst[2] = static_cast<std::uint8_t>(kUpperHex[b >> 4]);
  dst[3] = static_cast<std::uint8_t>(kUpperHex[b & 15]);
  dst[4] = '>';
}

}  // namespace

std::int64_t dropLineEnds(const std::uint8_t* src, std::int64_t n, std::uint8_t* dst,
                          bool holdCr, bool& heldCr) {
  heldCr = holdCr && n > 0 && src[n - 1] == '\r';
  if (heldCr) --n;
  std::int64_t o = 0;
  std::int64_t i = 0;
  while (i < n) {
    const void* lf = std::memchr(src + i, '\n', static_cast<std::size_t>(n - i));
    const std::int64_t stop = lf ? static_cast<const std::uint8_t*>(lf) - src : n;
    std::int64_t keep = stop - i;
    if (lf && keep > 0 && src[stop - 1] == '\r') --keep;
    if (keep > 0) std::memmove(dst + o, src + i, static_cast<std::size_t>(keep));
    o += keep;
    i = lf ? stop + 1 : n;
  }
  return o;
}

/// A growing output buffer that is never zero-filled: a conversion
/// overwrites what it uses.
struct HexTable::Out {
  std::unique_ptr<std::uint8_t[]> data;
  std::int64_t cap = 0;

  /// Room for `need` bytes keeping the first `keep`; false when the memory
  /// cannot be had.
  bool reserve(std::int64_t need, std::int64_t keep) {
    if (need <= cap) return true;
    const std::int64_t size = std::max(need, cap + cap / 2);
    std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[size]);
    if (!bigger) return false;
    if (keep > 0) std::memcpy(bigger.get(), data.get(), static_cast<std::size_t>(keep));
    data = std::move(bigger);
    cap = size;
    return true;
  }
};

void HexTable::addEntry(int d, std::span<const std::uint8_t> key,
                        std::span<const std::uint8_t> value, std::uint32_t params,
                        std::vector<std::vector<std::uint8_t>>& keys) {
  Direction& dr = dirs_[d];
  const std::size_t off = dr.pool.size();
  const auto len = static_cast<std::uint32_t>(value.size());
  const bool header = len >= 15 || params > 0;
  dr.tags.push_back(static_cast<std::int32_t>(off / 4 * 16 + (header ? 15 : len)));
  if (header) {
    const std::uint32_t head[2] = {len, params};
    const auto* p = reinterpret_cast<const std::uint8_t*>(head);
    dr.pool.insert(dr.pool.end(), p, p + sizeof head);
  }
  dr.pool.insert(dr.pool.end(), value.begin(), value.end());
  dr.pool.resize((dr.pool.size() + 3) / 4 * 4, 0);
  keys.emplace_back(key.begin(), key.end());
}

// Entries go into both directions in file order, so that the index lets the
// first of equal keys win. Behind them come the entries that every table
// has: in direction 0 each byte alone turns into <$XX> (only where the table
// has no one-byte key, since the table's key comes first), in direction 1
// each <$XX>, in every mix of letter case, turns into its byte.
bool HexTable::parse(const std::string& name, std::span<const std::uint8_t> text,
                     std::string& error) {
  for (Direction& dr : dirs_) dr = Direction{};
  prepared_.clear();
  preparedBytes_ = 0;
  entries_ = 0;
  maxParams_ = 0;
  std::vector<std::vector<std::uint8_t>> keys[2];

  std::string_view all(reinterpret_cast<const char*>(text.data()), text.size());
  if (all.substr(0, 3) == "\xEF\xBB\xBF") all.remove_prefix(3);

  auto notice = [&](std::int64_t line, const char* what, std::string_view s) {
    io::err("%s: line %lld: notice: %s: %.*s\n", name.c_str(), static_cast<long long>(line),
            what, static_cast<int>(s.size()), s.data());
  };

  std::vector<std::uint8_t> hex;
  std::int64_t lineNo = 0;
  while (!all.empty()) {
    ++lineNo;
    const std::size_t lf = all.find('\n');
    std::string_view line = all.substr(0, lf);
    all.remove_prefix(lf == std::string_view::npos ? all.size() : lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;

    const std::size_t eq = line.find('=');
    const char kind = line[0];
    bool ok = false;
    if (kind == '@') {
      notice(lineNo, "table name ignored", line);
      continue;
    }
    if (kind == '!') {
      ok = eq != std::string_view::npos && parseHex(line.substr(1, eq - 1), hex);
      if (ok) {
        notice(lineNo, "table switch ignored", line);
        continue;
      }
    } else if (kind == '$') {
      const std::size_t comma = line.rfind(',');
      if (eq != std::string_view::npos && comma != std::string_view::npos && comma > eq &&
          parseHex(line.substr(1, eq - 1), hex)) {
        const std::string_view digits = line.substr(comma + 1);
        std::uint32_t n = 0;
        ok = !digits.empty() && digits.size() <= 4;
        for (char c : digits) {
          if (c < '0' || c > '9') ok = false;
          n = n * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (ok) {
          const std::string_view label = line.substr(eq + 1, comma - eq - 1);
          addEntry(0, hex, exportText(label), n, keys[0]);
          const std::vector<std::uint8_t> key = importKey(label);
          addEntry(1, key, hex, 0, keys[1]);
          maxParams_ = std::max(maxParams_, n);
          if (key.empty()) notice(lineNo, "no text that import could match", line);
        }
      }
    } else {
      // HEX=text, /HEX=text, or /text alone (a text that stands for no bytes).
      const std::size_t start = kind == '/' ? 1 : 0;
      if (eq != std::string_view::npos && parseHex(line.substr(start, eq - start), hex)) {
        const std::string_view t = line.substr(eq + 1);
        addEntry(0, hex, exportText(t), 0, keys[0]);
        const std::vector<std::uint8_t> key = importKey(t);
        addEntry(1, key, hex, 0, keys[1]);
        if (key.empty()) notice(lineNo, "no text that import could match", line);
        ok = true;
      } else if (kind == '/') {
        // No bytes: nothing for direction 0 to find.
        const std::vector<std::uint8_t> key = importKey(line.substr(1));
        addEntry(1, key, {}, 0, keys[1]);
        if (key.empty()) notice(lineNo, "no text that import could match", line);
        ok = true;
      }
    }
    if (!ok) {
      error = name + ": line " + std::to_string(lineNo) + ": " + std::string(line) + "\n";
      for (Direction& dr : dirs_) dr = Direction{};
      return false;
    }
    ++entries_;
  }

  std::uint8_t token[5];
  for (int b = 0; b < 256; ++b) {
    byteToken(static_cast<std::uint8_t>(b), token);
    const std::uint8_t one = static_cast<std::uint8_t>(b);
    addEntry(0, std::span<const std::uint8_t>(&one, 1), token, 0, keys[0]);
    // Each letter digit in either case: up to four spellings.
    for (int mix = 0; mix < 4; ++mix) {
      std::uint8_t spelled[5];
      std::memcpy(spelled, token, 5);
      bool distinct = true;
      for (int k = 0; k < 2; ++k) {
        if (mix & (1 << k)) {
          if (spelled[2 + k] < 'A') distinct = false;
          spelled[2 + k] = static_cast<std::uint8_t>(std::tolower(spelled[2 + k]));
        }
      }
      if (distinct) addEntry(1, spelled, std::span<const std::uint8_t>(&one, 1), 0, keys[1]);
    }
  }

  for (int d = 0; d < 2; ++d) {
    Direction& dr = dirs_[d];
    dr.pool.resize(dr.pool.size() + kPad, 0);
    std::vector<std::span<const std::uint8_t>> spans(keys[d].begin(), keys[d].end());
    dr.index.build(spans, dr.tags);
  }
  return true;
}

bool HexTable::load(io::Disk& disk, const std::string& name, std::string& error) {
  std::optional<std::vector<std::uint8_t>> text = io::loadFile(disk, name);
  if (!text) {
    error = name + ":tbs table file error initialization\n";
    return false;
  }
  return parse(name, *text, error);
}

// At each position the index gives the longest key; its tag is the number
// of the value. A walk that ran into the end of the input with a longer key
// still possible, and a control code whose parameters are not all there,
// wait for more input unless this is the final piece.
std::int64_t HexTable::run(int direction, const std::uint8_t* in, std::int64_t n, bool final,
                           Out& out, std::int64_t& produced, bool& unmatched) const {
  unmatched = false;
  produced = 0;
  const Direction& dr = dirs_[direction == 0 ? 0 : 1];
  const KeyIndex::View idx = dr.index.view();
  const std::uint8_t* pool = dr.pool.data();
  if (!out.reserve(n + kPad, 0)) return -1;
  const std::uint8_t* ip = in;
  const std::uint8_t* const end = in + n;
  std::uint8_t* op = out.data.get();
  std::uint8_t* limit = op + out.cap;
  while (ip < end) {
    // Most characters end at depth one or two: a byte that maps alone, or a
    // lead byte whose node has a dense array and a leaf for the second byte.
    std::int32_t len = 1;
    std::int32_t tag;
    const std::int32_t slot = idx.rootSlot(*ip);
    const std::int32_t second = slot >= 0 && end - ip > 1 ? idx.denseSlot(slot, ip[1]) : -1;
    if (slot < -1) {
      tag = -2 - slot;
    } else if (second < -1) {
      tag = -2 - second;
      len = 2;
    } else {
      bool open = false;
      tag = idx.longest(ip, end - ip, len, open);
      if (open && !final) break;
      if (tag < 0) {
        unmatched = true;
        break;
      }
    }
    const std::uint8_t* val = pool + static_cast<std::size_t>(tag >> 4) * 4;
    std::int64_t vlen = tag & 15;
    std::int64_t params = 0;
    if (vlen == 15) {
      std::uint32_t head[2];
      std::memcpy(head, val, sizeof head);
      val += sizeof head;
      vlen = head[0];
      if (head[1] > 0) {
        params = std::min<std::int64_t>(head[1], (end - ip) - len);
        if (params < head[1] && !final) break;
      }
    }
    const std::int64_t need = vlen + params * 5;
    if (limit - op < need + kPad) {
      const std::int64_t w = op - out.data.get();
      if (!out.reserve(w + need + (end - ip) + kPad, w)) return -1;
      op = out.data.get() + w;
      limit = out.data.get() + out.cap;
    }
    if (vlen <= kPad) {
      std::memcpy(op, val, kPad);
    } else {
      std::memcpy(op, val, static_cast<std::size_t>(vlen));
    }
    op += vlen;
    ip += len;
    for (std::int64_t k = 0; k < params; ++k, op += 5) byteToken(*ip++, op);
  }
  produced = op - out.data.get();
  return ip - in;
}

std::int64_t HexTable::convert(int direction, std::span<const std::uint8_t> input, bool final,
                               std::vector<std::uint8_t>& out, bool& unmatched) const {
  Out buf;
  std::int64_t produced = 0;
  const std::int64_t used = run(direction, input.data(), static_cast<std::int64_t>(input.size()),
                                final, buf, produced, unmatched);
  if (used < 0) return -1;
  out.insert(out.end(), buf.data.get(), buf.data.get() + produced);
  return used;
}

bool HexTable::toBytes(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& out,
                       std::string& rest) const {
  std::vector<std::uint8_t> plain(text.size());
  bool held = false;
  plain.resize(static_cast<std::size_t>(
      dropLineEnds(text.data(), static_cast<std::int64_t>(text.size()), plain.data(), false, held)));
  bool unmatched = false;
  const std::int64_t used = convert(1, plain, true, out, unmatched);
  if (!unmatched) return used == static_cast<std::int64_t>(plain.size());
  const std::size_t shown = std::min<std::size_t>(kShown, plain.size() - used);
  rest.assign(reinterpret_cast<const char*>(plain.data()) + used, shown);
  return false;
}

// Direction 1 drops the line ends of each read block before converting; a CR
// that ends a block waits for the next one, where an LF may make it a line
// end. What a block leaves unconverted moves to the front of the work area
// and goes first into the next conversion.
std::int64_t HexTable::streamRange(
    io::Disk& disk, const std::string& inName, std::int64_t inOff, std::int64_t count,
    int direction, const std::function<bool(const std::uint8_t*, std::int64_t)>& sink,
    std::string& unmatched) const {
  unmatched.clear();
  if (count <= 0) return 0;
  io::Stream in(disk, inName, "rb");
  if (!in.isOpen() || !in.seek(inOff)) return 0;
  const bool text = direction != 0;
  const Direction& dr = dirs_[text ? 1 : 0];
  const std::int64_t area = std::min(count, io::kWorkArea);
  const std::int64_t carryRoom = dr.index.maxKeyLength() + (text ? 0 : maxParams_) + 1;
  std::unique_ptr<std::uint8_t[]> work(new (std::nothrow) std::uint8_t[area + carryRoom + 1]);
  if (!work) return 0;
  Out out;
  std::int64_t carry = 0;
  std::int64_t remaining = count;
  bool heldCr = false;
  bool more = true;
  while (more) {
    const std::int64_t want = std::min(area, remaining);
    std::uint8_t* raw = work.get() + carry + 1;
    std::int64_t got = io::readItems(raw, 1, want, in);
    if (got <= 0) break;
    remaining -= got;
    more = remaining > 0 && got == want;
    std::int64_t avail = carry + got;
    if (text) {
      std::uint8_t* dst = work.get() + carry;
      if (heldCr) {
        if (raw[0] == '\n') {
          ++raw;
          --got;
        } else {
          *dst++ = '\r';
        }
      }
      avail = (dst - work.get()) + dropLineEnds(raw, got, dst, more, heldCr);
    } else {
      std::memmove(work.get() + carry, raw, static_cast<std::size_t>(got));
    }
    std::int64_t produced = 0;
    bool stuck = false;
    const std::int64_t used = run(direction, work.get(), avail, !more, out, produced, stuck);
    if (used < 0) return 0;
    if (produced > 0 && !sink(out.data.get(), produced)) return 0;
    if (stuck) {
      unmatched.assign(reinterpret_cast<const char*>(work.get()) + used,
                       static_cast<std::size_t>(std::min(kShown, avail - used)));
      return 0;
    }
    carry = avail - used;
    if (carry > 0) std::memmove(work.get(), work.get() + used, static_cast<std::size_t>(carry));
  }
  // Input that ended early: what was taken, less what still waited.
  if (remaining > 0) return std::max<std::int64_t>(0, count - remaining - carry);
  return count;
}

bool HexTable::prepare(io::Disk& disk, const std::string& inName, std::int64_t inOff,
                       std::int64_t count, int direction, std::string& unmatched) {
  std::vector<std::uint8_t> bytes;
  const bool keep = preparedBytes_ < kPreparedBudget;
  // Text turns into fewer bytes than it has, as a rule: one allocation.
  if (keep) bytes.reserve(static_cast<std::size_t>(std::min(count, kPreparedBudget)));
  auto sink = [&](const std::uint8_t* p, std::int64_t n) {
    if (keep) bytes.insert(bytes.end(), p, p + n);
    return true;
  };
  if (streamRange(disk, inName, inOff, count, direction, sink, unmatched) != count) return false;
  if (keep && preparedBytes_ + static_cast<std::int64_t>(bytes.size()) <= kPreparedBudget) {
    preparedBytes_ += static_cast<std::int64_t>(bytes.size());
    prepared_[{inName, inOff, count, direction == 0 ? 0 : 1}] = std::move(bytes);
  }
  return true;
}

std::int64_t HexTable::convertRange(io::Disk& disk, const std::string& inName,
                                    const std::string& outName, std::int64_t inOff,
                                    std::int64_t outOff, std::int64_t count, const char* mode,
                                    int direction, std::int64_t& written) {
  written = 0;
  io::Stream out(disk, outName, mode);
  if (!out.isOpen()) return 0;
  if (!out.seek(outOff) || count <= 0) {
    out.close();
    return 0;
  }
  auto sink = [&](const std::uint8_t* p, std::int64_t n) {
    const std::int64_t put = io::writeItems(p, 1, n, out);
    if (put > 0) written += put;
    return put == n;
  };
  std::int64_t taken = 0;
  const auto found = prepared_.find({inName, inOff, count, direction == 0 ? 0 : 1});
  if (found != prepared_.end()) {
    const std::vector<std::uint8_t>& bytes = found->second;
    taken = bytes.empty() || sink(bytes.data(), static_cast<std::int64_t>(bytes.size())) ? count : 0;
    preparedBytes_ -= static_cast<std::int64_t>(bytes.size());
    prepared_.erase(found);
  } else {
    std::string unmatched;
    taken = streamRange(disk, inName, inOff, count, direction, sink, unmatched);
  }
  if (!out.close()) return 0;
  return taken;
}

}  // namespace dataport::table
