#pragma once
// The scanner of dataport's command line: the words with one used-flag each.
// Options are found by exact whole-word comparison, an option's value is the
// word right after it, and the words that no option consumed are handed out
// in their order as positional words. Every operation answers true or false;
// the caller picks the message.

#include <cstdint>
#include <string>
#include <vector>

namespace dataport {

/// Converts `text` as C's strtoll reads it with base 0: optional white space
/// and sign, then "0x"/"0X" and hexadecimal digits, a leading 0 and octal
/// digits, or decimal digits. Answers false when characters remain after
/// the number (a word with no digits at all fails unless it is empty, which
/// gives 0) and when the number lies outside the signed 64-bit range: no
/// value is ever clamped. Only these prefixes count, whatever the C library
/// of the host accepts, so the result is the same on every platform.
bool parseNumber(const char* text, std::int64_t& value);

/// Whether v fits a 32-bit field: every value a 32-bit number can carry,
/// signed or unsigned, from -2147483648 to 4294967295.
constexpr bool fits32(std::int64_t v) { return v >= INT32_MIN && v <= std::int64_t{UINT32_MAX}; }

class OptionStore {
 public:
  /// Over words[0..count); word 0 (the program name) is never examined. The
  /// words are not copied and must outlive the store. Throws
  /// Failure("Out of memory(Options aloc error)") when the flags cannot be
  /// allocated.
  OptionStore(int count, char** words);

  /// True when 1 <= cursor <= last.
  bool inRange() const;
  /// Marks the word at the cursor used (when in range) and advances the cursor.
  void consume();
  /// With advance: moves firstFree over used words and puts the cursor there.
  /// Answers the cursor.
  std::int32_t skipUsed(bool advance);
  /// Looks for `option` from firstFree (fromFirstFree) or from word 1 to the
  /// end, used words included; consumes the first match and leaves the
  /// cursor on the word after it. Answers false (cursor unchanged) when no
  /// word matches.
  bool find(const char* option, bool fromFirstFree);

  // Typed getters. With positional true they take the first free word,
  // otherwise the word at the cursor (the one after a found option, used or
  // not). On success the value is stored and the word consumed; on failure
  // nothing changes.
  /// parseNumber: any signed 64-bit value.
  bool getInt(std::int64_t& dst, bool positional);
  /// A 32-bit field: parseNumber, failing unless fits32; then the low 32
  /// bits (-1 gives 4294967295).
  bool getUnsigned(std::uint32_t& dst, bool positional);
  /// strtod; fails when characters remain.
  bool getDouble(double& dst, bool positional);
  /// A word of exactly one character.
  bool getChar(char& dst, bool positional);
  /// The word itself.
  bool getString(std::string& dst, bool positional);

  std::int32_t cursor() const { return cursor_; }
  std::int32_t firstFree() const { return firstFree_; }
  /// Whether word i is marked used. REQUIRES: 0 <= i < count.
  bool isUsed(std::int32_t i) const { return used_[static_cast<std::size_t>(i)] != 0; }

 private:
  /// The getter frame: position the cursor, check the range; the word at
  /// the cursor, or nullptr.
  const char* valueWord(bool positional);

  std::int32_t last_;
  char** words_;
  std::int32_t cursor_ = 1;
  std::int32_t firstFree_ = 1;
  std::vector<std::uint8_t> used_;
};

}  // namespace dataport
