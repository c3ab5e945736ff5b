// Converts a whole file through a TBL table, or with -x through a hex-key
// table, with the converting copy that element copies use, and reports how
// long loading and converting took.
//
//   tbl_convert_bench [-x] TABLE INPUT OUTPUT [DIRECTION]
//
// DIRECTION 0 (the default) converts left sides to right sides (bytes to
// text), any other value right to left. A hex-key table converting text to
// bytes first converts the text ahead and keeps it, then writes it, as
// import and join do. Exit status 0 when every input byte was converted and
// written.

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dataport/io/console.h"
#include "dataport/io/disk.h"
#include "dataport/io/file_helpers.h"
#include "dataport/table/hex_table.h"
#include "dataport/table/tbs_table.h"

using namespace dataport;

int main(int argc, char** argv) {
  const bool hex = argc > 1 && std::strcmp(argv[1], "-x") == 0;
  if (hex) {
    --argc;
    ++argv;
  }
  if (argc < 4) {
    io::err("usage: %s [-x] TABLE INPUT OUTPUT [DIRECTION]\n", argv[0]);
    return 2;
  }
  const std::string tableName = argv[1];
  const std::string inName = argv[2];
  const std::string outName = argv[3];
  const int direction = argc > 4 ? std::atoi(argv[4]) : 0;

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  io::Disk disk;
  table::TbsTable& tbl = table::tbsTable();
  table::HexTable hexTable;
  std::string error;
  if (hex ? !hexTable.load(disk, tableName, error) : !tbl.loadTable(disk, tableName)) {
    io::err("%s: table not loaded %s\n", tableName.c_str(), error.c_str());
    return 1;
  }
  const auto loadedAt = Clock::now();

  const std::int64_t size = io::fileSize(disk, inName);
  if (size < 0) {
    io::err("%s: no such file\n", inName.c_str());
    return 1;
  }
  std::int64_t written = 0;
  std::int64_t taken = 0;
  if (hex) {
    std::string unmatched;
    if (direction != 0 && !hexTable.prepare(disk, inName, 0, size, direction, unmatched)) {
      io::err("no table entry for: %s\n", unmatched.c_str());
      return 1;
    }
    taken = hexTable.convertRange(disk, inName, outName, 0, 0, size, "wb", direction, written);
  } else {
    taken = tbl.convertRange(disk, inName, outName, 0, 0, size, "wb", direction, written);
  }
  std::string failed;
  const bool closed = disk.closeAll(&failed);
  const auto end = Clock::now();
  const std::int32_t entries = hex ? hexTable.entryCount() : tbl.entryCount();
  tbl.releaseTable();

  const double loadSec = std::chrono::duration<double>(loadedAt - start).count();
  const double convSec = std::chrono::duration<double>(end - loadedAt).count();
  io::out("entries %d, load %.3f s, convert %.3f s, %lld bytes in, %lld bytes out\n",
          entries, loadSec, convSec, static_cast<long long>(taken),
          static_cast<long long>(written));
  io::flushOut();
  if (taken != size || !closed) {
    io::err("conversion stopped after %lld of %lld bytes%s%s\n", static_cast<long long>(taken),
            static_cast<long long>(size), closed ? "" : "; cannot close ", failed.c_str());
    return 1;
  }
  return 0;
}
