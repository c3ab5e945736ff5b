#pragma once
// The TBL character table: pairs of byte strings loaded from a TBL file, and
// the conversion of byte strings through them in either direction.
//
// TBL format: lines end in CR LF; a line with an unescaped "=" holds an entry
// (left side = bytes before the first unescaped "=", right side = the rest of
// the line). Backslash escapes: \<CR LF>, \\, \=, \xHH (two hex digits).
//
// Conversion: at each input position the longest key of the direction that
// matches wins; a byte that starts no match passes unchanged. The result never
// depends on how the input is cut into blocks. Reverse entries with an empty
// key (lines with an empty right side) never match.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dataport/io/disk.h"

namespace dataport::table {

/// One mapping in one direction; key and value point into the table's text.
struct TableEntry {
  const std::uint8_t* key = nullptr;
  std::int32_t keyLen = 0;
  const std::uint8_t* value = nullptr;
  std::int32_t valueLen = 0;
};

/// Position of the first unescaped `marker` in text[0..len) (an odd number of
/// escape strings directly before an occurrence escapes it), or -1.
std::int64_t findUnescaped(const std::uint8_t* text, std::int64_t len,
                           std::span<const std::uint8_t> marker,
                           std::span<const std::uint8_t> escape);
/// Applies the escape rules to bytes[0..len) in place; returns the new length.
std::int64_t unescape(std::uint8_t* bytes, std::int64_t len);

class TbsTable {
 public:
  TbsTable();
  ~TbsTable();
  TbsTable(const TbsTable&) = delete;
  TbsTable& operator=(const TbsTable&) = delete;

  /// Loads and parses a TBL file. On failure prints loadFile's message and
  /// leaves the table empty.
  bool loadTable(io::Disk& disk, const std::string& name);
  /// Parses a TBL text (the table takes it over). Prints
  /// "Line %d :must not start with assign string, skipping this line\n" for
  /// each line that starts with "=". Succeeds also with no entry.
  bool parseTable(std::vector<std::uint8_t> text);
  /// Empties the table; harmless on an empty table.
  void releaseTable();
  bool loaded() const;

  /// Converts input in `direction` (0: left to right, else right to left),
  /// appending to out. With `final` false, bytes at the end of the input that
  /// could still begin a longer match are not consumed. Returns the input
  /// bytes consumed, or -1 after printing "Memory alloc error: %d bytes\n"
  /// when the output cannot grow. Among equal keys the first line of the
  /// file wins.
  std::int64_t convertBlock(int direction, std::span<const std::uint8_t> input, bool final,
                            std::vector<std::uint8_t>& out) const;

  /// Copies count bytes of inName at inOff into outName (opened with `mode`,
  /// positioned at outOff) through the table. Sets `written` to the bytes
  /// that reached the output, and adds to `*unmatched` (when given) the
  /// input bytes that passed unchanged as no key matched them. Returns the
  /// input bytes taken (count on success; fewer when a file cannot be
  /// opened, read or written).
  std::int64_t convertRange(io::Disk& disk, const std::string& inName,
                            const std::string& outName, std::int64_t inOff,
                            std::int64_t outOff, std::int64_t count, const char* mode,
                            int direction, std::int64_t& written,
                            std::int64_t* unmatched = nullptr) const;

  std::int32_t entryCount() const;
  const std::vector<TableEntry>& forward() const;
  const std::vector<TableEntry>& reverse() const;

 private:
  struct Impl;
  Impl* impl_;
};

/// The one process-wide table (loaded while the options are read, released
/// when the Job ends).
TbsTable& tbsTable();

}  // namespace dataport::table
