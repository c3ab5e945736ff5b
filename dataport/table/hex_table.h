#pragma once
// The hex-key character table: the table form that translators keep their
// character maps in, one entry a line, UTF-8 text:
//
//   HEX=text       the bytes HEX (even number of hex digits, most significant
//                  byte first, either case) stand for text (to the line end,
//                  spaces included, possibly empty)
//   /HEX=text      an end token: the bytes end a string; otherwise as above
//   /text          a text-only end token: stands for no bytes
//   $HEX=label,N   a control code: HEX followed by N parameter bytes
//   # ...          comment; empty lines are skipped too
//   @name, !HEX=   table name and table switch: ignored with a notice
//
// In a text, \n is a line break. A leading BOM is skipped; lines end in LF
// or CR LF.
//
// Direction 0 (bytes to text, as split writes them): at each position the
// longest HEX wins; a control code writes its label and then each of its N
// parameter bytes as <$XX>; a byte that starts no match is written as <$XX>;
// a line break is written as CR LF.
// Direction 1 (text to bytes, as import and join read them): line ends (CR LF
// or a lone LF) are dropped first, wherever they stand, so texts match with
// their line breaks left out; at each position the longest text wins; <$XX>
// (either case) is the byte XX; any other text is an error.
//
// Among equal keys of a direction the first line of the file wins. The
// result never depends on how the input is cut into blocks.

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "dataport/io/disk.h"
#include "dataport/table/key_index.h"

namespace dataport::table {

class HexTable {
 public:
  /// Parses a table text. Prints a notice ("NAME: line N: ...") to standard
  /// error for each ignored line and each entry that import can never match.
  /// Returns false with `error` = "NAME: line N: TEXT\n" for the first line
  /// that is none of the forms above.
  bool parse(const std::string& name, std::span<const std::uint8_t> text, std::string& error);
  /// Loads and parses a table file; a file that cannot be loaded fails with
  /// loadFile's message printed and `error` = "NAME:tbs table file error
  /// initialization\n".
  bool load(io::Disk& disk, const std::string& name, std::string& error);

  /// Number of table lines that became entries.
  std::int32_t entryCount() const { return entries_; }

  /// Converts `input` in `direction` (0: bytes to text, else text to bytes),
  /// appending to out. Direction 1 takes input whose line ends are already
  /// dropped. With `final` false, bytes at the end that could still begin a
  /// longer match (or a control code's parameters) are not consumed. Returns
  /// the bytes consumed; `unmatched` is set when conversion stopped at a text
  /// that no entry matches (the return value then is its position).
  std::int64_t convert(int direction, std::span<const std::uint8_t> input, bool final,
                       std::vector<std::uint8_t>& out, bool& unmatched) const;

  /// Text to bytes in one piece: drops line ends, then converts. Returns
  /// false with `rest` = the first 20 bytes of the text that matched no
  /// entry.
  bool toBytes(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& out,
               std::string& rest) const;

  /// Converts count bytes of inName at inOff in `direction`, handing the
  /// output to `sink` piece by piece (a false return stops the run). Returns
  /// the input bytes whose output was handed on (count on success).
  /// `unmatched` receives, when the text ran into no match, its first 20
  /// bytes (line ends dropped).
  std::int64_t streamRange(io::Disk& disk, const std::string& inName, std::int64_t inOff,
                           std::int64_t count, int direction,
                           const std::function<bool(const std::uint8_t*, std::int64_t)>& sink,
                           std::string& unmatched) const;

  /// Converts a range ahead of writing, so that a text without a match is
  /// found before any output exists. Keeps the result for convertRange of
  /// the same range (up to a memory budget). Returns false with `unmatched`
  /// set as streamRange sets it, or with it empty when the input could not
  /// be read.
  bool prepare(io::Disk& disk, const std::string& inName, std::int64_t inOff, std::int64_t count,
               int direction, std::string& unmatched);

  /// The converting copy, as TbsTable::convertRange: count bytes of inName at
  /// inOff to outName (opened with `mode`, at outOff). Sets `written` to the
  /// bytes that reached the output; returns the input bytes taken. A range
  /// that prepare() kept is written from memory.
  std::int64_t convertRange(io::Disk& disk, const std::string& inName,
                            const std::string& outName, std::int64_t inOff,
                            std::int64_t outOff, std::int64_t count, const char* mode,
                            int direction, std::int64_t& written);

 private:
  /// A direction's keys and what they turn into. A key's tag locates its
  /// value in the pool: (record offset / 4) * 16 + the value's length, or
  /// + 15 for a record that begins with the length and the parameter count
  /// as two 32-bit numbers (a value of 15 bytes or more, a control code).
  /// So a match knows its output without another lookup.
  struct Direction {
    KeyIndex index;
    std::vector<std::int32_t> tags;  ///< by key, in file order
    std::vector<std::uint8_t> pool;  ///< value records, with kPad spare bytes at the end
  };

  struct Out;
  /// convert() into a growing buffer of our own (never zero-filled).
  std::int64_t run(int direction, const std::uint8_t* in, std::int64_t n, bool final, Out& out,
                   std::int64_t& produced, bool& unmatched) const;
  void addEntry(int d, std::span<const std::uint8_t> key, std::span<const std::uint8_t> value,
                std::uint32_t params, std::vector<std::vector<std::uint8_t>>& keys);

  Direction dirs_[2];
  std::uint32_t maxParams_ = 0;
  std::int32_t entries_ = 0;
  /// Ranges that prepare() converted: (name, offset, count, direction).
  std::map<std::tuple<std::string, std::int64_t, std::int64_t, int>, std::vector<std::uint8_t>>
      prepared_;
  std::int64_t preparedBytes_ = 0;
};

/// Copies src[0..n) to dst without its line ends (CR LF and lone LF); a lone
/// CR stays. Returns the bytes written. REQUIRES: dst <= src or the two do
/// not overlap. A CR as the last byte is left out when `holdCr` is set (an
/// LF may follow in the next piece); `heldCr` tells whether that happened.
std::int64_t dropLineEnds(const std::uint8_t* src, std::int64_t n, std::uint8_t* dst,
                          bool holdCr, bool& heldCr);

}  // namespace dataport::table
