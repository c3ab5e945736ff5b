#include "dataport/header/header_type.h"

#include <limits>

#include "dataport/failure.h"
#include "dataport/io/console.h"

namespace dataport {

namespace {

constexpr char kErrHtype[] = "error reading htype\n";
constexpr char kErrHtypeLength[] = "error reading htype(not knowen type)\n";

bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// Whether the word reads as 0 when converted as a base-36 number (white
/// space and a sign in front allowed, reading up to the first character that
/// is no base-36 digit): true when that run of digits is empty or all zeros.
bool readsAsZero(const std::string& word) {
  std::size_t i = 0;
  while (i < word.size() && isCSpace(word[i])) ++i;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) ++i;
  for (; i < word.size() && HeaderType::digitValue(word[i]) >= 0; ++i) {
    if (word[i] != '0') return false;
  }
  return true;
}

}  // namespace

std::int32_t HeaderType::digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return -1;
}

void HeaderType::decodeHtype(const std::string& word) {
  if (readsAsZero(word)) throw Failure(kErrHtype);

  // The fields each length names, in the order of the characters. Lengths
  // 12 and 16 write the fields of lengths 6 and 8 with two characters each.
  HeaderType t = *this;
  std::int32_t* const four[] = {&t.csize, &t.psize, &t.ssize, &t.sskip};
  std::int32_t* const five[] = {&t.csize, &t.psize, &t.pskip, &t.ssize, &t.sskip};
  std::int32_t* const eight[] = {&t.csize, &t.cskip, &t.psize, &t.pskip,
                                 &t.ssize, &t.sskip, &t.gcount, &t.gskip};
  std::int32_t* const three[] = {&t.psize, &t.ssize, &t.sskip};
  std::int32_t* const* fields = nullptr;
  std::size_t count = 0;
  std::size_t perField = 1;
  switch (word.size()) {
    case 1: fields = eight + 2; count = 1; break;
    case 2: fields = eight + 2; count = 2; break;
    case 3: fields = three; count = 3; break;
    case 4: fields = four; count = 4; break;
    case 5: fields = five; count = 5; break;
    case 6: fields = eight; count = 6; break;
    case 8: fields = eight; count = 8; break;
    case 12: fields = eight; count = 6; perField = 2; break;
    case 16: fields = eight; count = 8; perField = 2; break;
    case 7: case 9: case 10: case 11: case 13: case 14: case 15:
      throw Failure(kErrHtypeLength);
    default:
      throw Failure(kErrHtype);
  }

  // A character that is no digit or letter would give a negative width, and
  // widths beyond the integers that hold the fields have no meaning: both
  // are refused rather than read or written in some made-up way.
  for (char c : word) {
    if (digitValue(c) < 0) throw Failure(kErrHtype);
  }
  for (std::size_t f = 0; f < count; ++f) {
    std::int32_t v = 0;
    for (std::size_t k = 0; k < perField; ++k) v = v * 36 + digitValue(word[f * perField + k]);
    *fields[f] = v;
  }
  if (t.csize > 4 || t.psize > 8 || t.ssize > 8) throw Failure(kErrHtype);

  t.esize = t.psize + t.pskip + t.ssize + t.sskip;
  *this = t;
}

std::int64_t HeaderType::headerSize(std::int64_t n) {
  esize = psize + pskip + ssize + sskip;
  // A header holds no fewer than zero records: a negative n counts as 0
  // (callers refuse negative counts before they get here). The sum is taken
  // in 128 bits and a result beyond the 64-bit range saturates, so a
  // header too large to exist reads as larger than any file instead of
  // wrapping around.
  if (n < 0) n = 0;
  __int128 total = static_cast<__int128>(csize) + cskip + static_cast<__int128>(n) * esize;
  if (gcount > 0) total += static_cast<__int128>(n / gcount) * gskip;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  if (total > kMax) return kMax;
  if (total < kMin) return kMin;
  return static_cast<std::int64_t>(total);
}

std::int64_t HeaderType::headerExtent(std::int64_t n) const {
  if (n <= 0) return csize;
  HeaderType t = *this;  // headerSize stores esize; this one leaves *this alone
  const std::int64_t lastField = ssize > 0 ? std::int64_t{psize} + pskip + ssize : psize;
  const std::int64_t lastStart = t.headerSize(n - 1);
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  return lastStart > kMax - lastField ? kMax : lastStart + lastField;
}

void HeaderType::printHtype() const {
  auto u = [](std::int32_t v) { return static_cast<unsigned>(v); };
  io::out("%X%X%X%X%X%X\n", u(csize), u(cskip), u(psize), u(pskip), u(ssize), u(sskip));
  io::out("%d %d %d %d %d %d %d %d (%x %x %x %x %x %x %x %x)\n", csize, cskip, psize, pskip,
          ssize, sskip, gcount, gskip, u(csize), u(cskip), u(psize), u(pskip), u(ssize),
          u(sskip), u(gcount), u(gskip));
}

}  // namespace dataport
