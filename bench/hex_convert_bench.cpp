// Converts a whole file through a TBL table or a hex-key table, as element
// copies do, and reports how long loading and converting took.
//
//   hex_convert_bench tbl|hex TABLE INPUT OUTPUT DIRECTION
//
// DIRECTION 0 converts bytes to text (left to right), 1 text to bytes. With
// a hex-key table and direction 1 the text is first converted ahead and
// kept, and then written, as import and join do it. Exit status 0 when every
// input byte was converted and written.

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
  if (argc < 6) {
    io::err("usage: %s tbl|hex TABLE INPUT OUTPUT DIRECTION\n", argv[0]);
    return 2;
  }
  const bool hex = std::strcmp(argv[1], "hex") == 0;
  const std::string tableName = argv[2];
  const std::string inName = argv[3];
  const std::string outName = argv[4];
  const int direction = std::atoi(argv[5]);

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  io::Disk disk;
  table::HexTable hexTable;
  std::string error;
  if (hex ? !hexTable.load(disk, tableName, error)
          : !table::tbsTable().loadTable(disk, tableName)) {
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
    taken = table::tbsTable().convertRange(disk, inName, outName, 0, 0, size, "wb", direction,
                                           written);
  }
  std::string failed;
  const bool closed = disk.closeAll(&failed);
  const auto end = Clock::now();

  const double loadSec = std::chrono::duration<double>(loadedAt - start).count();
  const double convSec = std::chrono::duration<double>(end - loadedAt).count();
  io::out("load %.3f s, convert %.3f s, %lld bytes in, %lld bytes out\n", loadSec, convSec,
          static_cast<long long>(taken), static_cast<long long>(written));
  io::flushOut();
  if (taken != size || !closed) {
    io::err("conversion stopped after %lld of %lld bytes\n", static_cast<long long>(taken),
            static_cast<long long>(size));
    return 1;
  }
  return 0;
}
