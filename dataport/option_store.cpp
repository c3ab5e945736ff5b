#include "dataport/option_store.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "dataport/failure.h"

namespace dataport {

namespace {

bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// Value of c as a digit of `base`, or -1.
int digitIn(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'z') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'Z') v = c - 'A' + 10;
  return v < base ? v : -1;
}

}  // namespace

bool parseNumber(const char* text, std::int64_t& value) {
  // The conversion reads the longest number at the start of the word; the
  // word is good when nothing follows it. The magnitude is gathered in 64
  // unsigned bits; once it passes 2^63, the largest magnitude any signed
  // 64-bit number has, the word is out of range.
  const char* p = text;
  while (isCSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digitIn(p[2], 16) >= 0) {
    base = 16;
    p += 2;
  } else if (p[0] == '0') {
    base = 8;  // the leading 0 is itself the first octal digit
  }
  const char* digits = p;
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
  std::uint64_t magnitude = 0;
  bool tooLarge = false;
  for (int d; (d = digitIn(*p, base)) >= 0; ++p) {
    const auto b = static_cast<std::uint64_t>(base);
    if (magnitude > (kLimit - static_cast<std::uint64_t>(d)) / b) tooLarge = true;
    if (!tooLarge) magnitude = magnitude * b + static_cast<std::uint64_t>(d);
  }
  if (p == digits) {
    // No number at all: the whole word remains, so only the empty word passes.
    value = 0;
    return *text == '\0';
  }
  if (*p != '\0' || tooLarge) return false;
  if (negative) {
    value = magnitude == kLimit ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
  } else {
    if (magnitude == kLimit) return false;
    value = static_cast<std::int64_t>(magnitude);
  }
  return true;
}

OptionStore::OptionStore(int count, char** words)
    : last_(count > 0 ? count - 1 : 0), words_(words) {
  try {
    used_.assign(count > 0 ? static_cast<std::size_t>(count) : 1U, 0);
  } catch (const std::bad_alloc&) {
    throw Failure("Out of memory(Options aloc error)");
  }
}

bool OptionStore::inRange() const { return cursor_ >= 1 && cursor_ <= last_; }

void OptionStore::consume() {
  if (inRange()) used_[static_cast<std::size_t>(cursor_)] = 1;
  ++cursor_;
}

std::int32_t OptionStore::skipUsed(bool advance) {
  if (advance) {
    while (firstFree_ <= last_ && used_[static_cast<std::size_t>(firstFree_)] != 0) ++firstFree_;
    cursor_ = firstFree_;
  }
  return cursor_;
}

bool OptionStore::find(const char* option, bool fromFirstFree) {
  if (option == nullptr) return false;
  std::int32_t start = fromFirstFree ? skipUsed(true) : 1;
  std::int32_t saved = cursor_;
  cursor_ = start;
  while (inRange()) {
    if (std::strcmp(words_[cursor_], option) == 0) {
      consume();
      return true;
    }
    ++cursor_;
  }
  cursor_ = saved;
  return false;
}

const char* OptionStore::valueWord(bool positional) {
  skipUsed(positional);
  return inRange() ? words_[cursor_] : nullptr;
}

bool OptionStore::getInt(std::int64_t& dst, bool positional) {
  const char* w = valueWord(positional);
  std::int64_t v = 0;
  if (w == nullptr || !parseNumber(w, v)) return false;
  dst = v;
  consume();
  return true;
}

bool OptionStore::getUnsigned(std::uint32_t& dst, bool positional) {
  const char* w = valueWord(positional);
  std::int64_t v = 0;
  if (w == nullptr || !parseNumber(w, v) || !fits32(v)) return false;
  dst = static_cast<std::uint32_t>(v);
  consume();
  return true;
}

bool OptionStore::getDouble(double& dst, bool positional) {
  const char* w = valueWord(positional);
  if (w == nullptr) return false;
  char* end = nullptr;
  double v = std::strtod(w, &end);
  if (*end != '\0') return false;
  dst = v;
  consume();
  return true;
}

bool OptionStore::getChar(char& dst, bool positional) {
  const char* w = valueWord(positional);
  if (w == nullptr || w[0] == '\0' || w[1] != '\0') return false;
  dst = w[0];
  consume();
  return true;
}

bool OptionStore::getString(std::string& dst, bool positional) {
  const char* w = valueWord(positional);
  if (w == nullptr) return false;
  dst = w;
  consume();
  return true;
}

}  // namespace dataport
