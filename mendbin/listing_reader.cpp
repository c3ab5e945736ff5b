#include "mendbin/listing_reader.h"

#include <cerrno>

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
    : source_(std::move(source)), buffer_(bufferSize > 0 ? bufferSize : 1) {}

bool ListingReader::refill() {
  if (ended_) return false;
  taken_ += static_cast<std::int64_t>(end_);
  pos_ = end_ = 0;
  for (;;) {
    IoResult r = source_(buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
    if (r.count > 0) {
      end_ = static_cast<std::size_t>(r.count);
      return true;
    }
    if (r.count < 0 && r.error == EINTR) continue;
    // The end and a read error both end the listing for good.
    if (r.count < 0) error_ = r.error != 0 ? r.error : EIO;
    ended_ = true;
    return false;
  }
}

void ListingReader::skipFirstLine() {
  for (;;) {
    if (pos_ == end_ && !refill()) return;
    for (; pos_ < end_; ++pos_) {
      if (buffer_[pos_] == '\n') {
        ++pos_;
        return;
      }
    }
  }
}

void ListingReader::skipSpace() {
  while (isSpace(peek())) take();
}

// The "%lX" conversion: white space, an optional sign, an optional "0x"
// (whose x is taken even when no digit follows: "0x" alone reads as 0), then
// digits. Without a digit nothing converts; a sign already taken stays taken.
bool ListingReader::readNumber(HexNumber& number) {
  number = HexNumber{};
  skipSpace();
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

bool ListingReader::nextRaw(RawEntry& entry) {
  if (!readNumber(entry.offset)) return false;
  if (peek() != ':') return false;
  take();
  if (!readNumber(entry.orgByte) || !readNumber(entry.patchByte)) return false;
  skipSpace();
  return true;
}

bool ListingReader::next(PatchEntry& entry) {
  RawEntry raw;
  if (!nextRaw(raw)) return false;
  entry = toPatchEntry(raw);
  return true;
}

}  // namespace mendbin
