#include "mendbin/listing_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mendbin {
namespace {

// Character classes for the scan: the value of a hexadecimal digit, kSpace
// for white space as the C locale's isspace() knows it, kOther for the rest.
constexpr std::int8_t kSpace = 16;
constexpr std::int8_t kOther = -1;

struct CharClasses {
  std::int8_t of[257];  // index c + 1, so that the end (-1) is kOther
  constexpr CharClasses() : of() {
    for (int c = -1; c < 256; ++c) {
      std::int8_t k = kOther;
      if (c >= '0' && c <= '9') k = static_cast<std::int8_t>(c - '0');
      if (c >= 'a' && c <= 'f') k = static_cast<std::int8_t>(c - 'a' + 10);
      if (c >= 'A' && c <= 'F') k = static_cast<std::int8_t>(c - 'A' + 10);
      if (c == ' ' || (c >= '\t' && c <= '\r')) k = kSpace;
      of[c + 1] = k;
    }
  }
};
constexpr CharClasses kClasses;

inline std::int8_t classOf(int c) { return kClasses.of[c + 1]; }
inline bool isSpace(int c) { return classOf(c) == kSpace; }
inline int hexDigit(int c) {
  std::int8_t k = classOf(c);
  return k < kSpace ? k : -1;
}

}  // namespace

std::uint64_t HexNumber::value(int bits) const {
  const std::uint64_t mask = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  if (tooLarge || magnitude > mask) return mask;
  return (negative ? std::uint64_t{0} - magnitude : magnitude) & mask;
}

PatchEntry toPatchEntry(const RawEntry& raw) {
  PatchEntry e;
  e.offset = static_cast<std::uint32_t>(raw.offset.value(32));
  e.orgByte = static_cast<std::uint8_t>(raw.orgByte.value(32));
  e.patchByte = static_cast<std::uint8_t>(raw.patchByte.value(32));
  return e;
}

ListingReader::ListingReader(ListingSource source, std::size_t bufferSize)
    : source_(std::move(source)), buffer_(std::max<std::size_t>(bufferSize, 4)) {}

bool ListingReader::fill(std::size_t n) {
  while (end_ - pos_ < n) {
    if (ended_) return false;
    // Keep the unread bytes, at the front of the buffer.
    taken_ += static_cast<std::int64_t>(pos_);
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    IoResult r = source_(buffer_.data() + end_, static_cast<std::int64_t>(buffer_.size() - end_));
    if (r.count > 0) {
      end_ += static_cast<std::size_t>(r.count);
      continue;
    }
    if (r.count < 0 && r.error == EINTR) continue;
    // The end and a read error both end the listing for good.
    if (r.count < 0) error_ = r.error != 0 ? r.error : EIO;
    ended_ = true;
  }
  return true;
}

template <bool InLine>
void ListingReader::skipSpace() {
  bool lineEnd = false;
  for (int c; isSpace(c = peek()); take()) {
    if (c == '\n') {
      if (InLine) return;
      lineEnd = true;
    }
  }
  if (lineEnd) lineStart_ = true;
}

// The "%lX" conversion: white space, an optional sign, an optional "0x"
// (whose x is taken even when no digit follows: "0x" alone reads as 0), then
// digits. Without a digit nothing converts; a sign already taken stays taken.
template <bool InLine>
bool ListingReader::readNumber(HexNumber& number) {
  number = HexNumber{};
  skipSpace<InLine>();
  lineStart_ = false;
  int c = peek();
  if (c == '+' || c == '-') {
    number.negative = (c == '-');
    take();
    c = peek();
  }
  bool digits = false;
  if (c == '0') {
    digits = true;
    take();
    c = peek();
    if (c == 'x' || c == 'X') {
      take();
      c = peek();
    }
  }
  for (int d; (d = hexDigit(c)) >= 0; c = peek()) {
    digits = true;
    take();
    if (number.magnitude >> 60) {
      number.tooLarge = true;
      number.magnitude = ~std::uint64_t{0};
    } else {
      number.magnitude = (number.magnitude << 4) | static_cast<std::uint64_t>(d);
    }
  }
  return digits;
}

template <bool InLine>
bool ListingReader::readEntry(RawEntry& entry) {
  if (!readNumber<InLine>(entry.offset)) return false;
  if (peek() != ':') return false;
  take();
  return readNumber<InLine>(entry.orgByte) && readNumber<InLine>(entry.patchByte);
}

// The form that fc prints, "00000007: 57 77", read straight from the buffer
// when the whole entry lies in it. Any other form (white space before the
// offset or other than blanks inside, a sign, long numbers, the buffer's end)
// is left to readEntry(), which then reads the same bytes again: nothing is
// taken unless the entry reads here, and then it reads as readEntry() reads it.
bool ListingReader::readPlainEntry(RawEntry& entry) {
  constexpr std::size_t kLongest = 64;
  if (end_ - pos_ < kLongest) return false;
  const std::uint8_t* const start = buffer_.data() + pos_;
  const std::uint8_t* const limit = start + kLongest;
  const std::uint8_t* p = start;
  auto number = [&p, limit](HexNumber& n) {
    std::uint64_t v = 0;
    int digits = 0;
    // Fifteen digits could be the start of a number too long for 64 bits.
    for (int d; p < limit && digits < 15 && (d = hexDigit(*p)) >= 0; ++p, ++digits) {
      v = (v << 4) | static_cast<std::uint64_t>(d);
    }
    n = HexNumber{};
    n.magnitude = v;
    return digits > 0 && digits < 15;
  };
  auto blanks = [&p, limit] {
    const std::uint8_t* const from = p;
    while (p < limit && *p == ' ') ++p;
    return p > from;
  };
  if (!number(entry.offset) || p == limit || *p++ != ':') return false;
  blanks();
  if (!number(entry.orgByte) || !blanks() || !number(entry.patchByte) || p == limit) return false;
  pos_ += static_cast<std::size_t>(p - start);
  lineStart_ = false;
  return true;
}

bool ListingReader::nextRaw(RawEntry& entry) {
  if (!readPlainEntry(entry) && !readEntry<false>(entry)) return false;
  skipSpace<false>();
  return true;
}

void ListingReader::skipLine() {
  for (int c; (c = peek()) != kEnd; ) {
    take();
    if (c == '\n') break;
  }
  lineStart_ = true;
}

void ListingReader::readFirstLine() {
  RawEntry raw;
  if (readEntry<true>(raw)) {
    skipSpace<true>();
    const int c = peek();
    if (c == '\n' || c == kEnd) {
      pending_ = toPatchEntry(raw);
      havePending_ = true;
    }
  }
  skipLine();
  skipSpace<false>();
}

bool ListingReader::atFcLine() {
  if (!fill(3)) return false;
  return buffer_[pos_] == 'F' && buffer_[pos_ + 1] == 'C' && buffer_[pos_ + 2] == ':';
}

bool ListingReader::ended(Stop how) {
  stop_ = error_ != 0 ? Stop::readError : how;
  return false;
}

bool ListingReader::badLine(std::int64_t at) {
  ended(Stop::badLine);
  badLineAt_ = at;
  skipLine();  // so that the whole line has passed through the source
  return false;
}

bool ListingReader::next(PatchEntry& entry) {
  if (havePending_) {
    havePending_ = false;
    entry = pending_;
    return true;
  }
  if (stop_ != Stop::none) return false;
  skipSpace<false>();
  if (peek() == kEnd) return ended(Stop::end);
  const std::int64_t at = consumed();
  if (lineStart_ && atFcLine()) return endTrailer(at);
  RawEntry raw;
  if (!nextRaw(raw)) return badLine(at);
  entry = toPatchEntry(raw);
  return true;
}

// After the entries: lines that fc prints to close its listing, and blank
// lines. An entry among them is refused by naming the first "FC:" line.
bool ListingReader::endTrailer(std::int64_t firstFcLine) {
  for (;;) {
    skipLine();
    skipSpace<false>();
    if (peek() == kEnd) return ended(Stop::end);
    if (atFcLine()) continue;
    const std::int64_t at = consumed();
    RawEntry raw;
    return badLine(nextRaw(raw) ? firstFcLine : at);
  }
}

std::string badLineMessage(const ListingSource& source, std::int64_t at) {
  constexpr std::size_t kShown = 80;
  std::int64_t line = 1;
  std::string text;  // the start of the line that holds `at`
  bool textDone = false;
  std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
  std::int64_t pos = 0;
  while (!textDone) {
    IoResult r = source(buffer.data(), static_cast<std::int64_t>(buffer.size()));
    if (r.count < 0 && r.error == EINTR) continue;
    if (r.count <= 0) break;
    for (std::int64_t i = 0; i < r.count && !textDone; ++i, ++pos) {
      const char c = static_cast<char>(buffer[i]);
      if (c == '\n') {
        if (pos >= at) textDone = true;
        else {
          ++line;
          text.clear();
        }
      } else if (text.size() <= kShown) {
        text += c;
      } else if (pos >= at) {
        textDone = true;
      }
    }
  }
  if (!text.empty() && text.back() == '\r') text.pop_back();  // CR LF line end
  if (text.size() > kShown) text.resize(kShown);
  return "ERROR: can't parse listing line " + std::to_string(line) + " : " + text + "\n";
}

}  // namespace mendbin
