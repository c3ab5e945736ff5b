// mendbin: applies a byte-difference listing in the form of `fc /B` to a file.
// Only errors are printed; see command_line.h for the command line and
// patcher.h for how the entries reach the file.

#include <cstdio>
#include <cstring>
#include <string>

#include "mendbin/command_line.h"
#include "mendbin/listing_reader.h"
#include "mendbin/patcher.h"
#include "mendbin/posix_file.h"

namespace {

void printError(const std::string& line) { std::fwrite(line.data(), 1, line.size(), stderr); }

std::string fileError(const char* what, const std::string& path, int error) {
  return std::string("ERROR: ") + what + " : " + path + " : " + std::strerror(error) + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mendbin;
  if (argc < 3) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const Settings settings = readOptionWords(argc, argv);
  const std::string listingPath = argv[1];
  const std::string targetPath = argv[2];

  PosixFile listingFile;
  if (int error = listingFile.open(argv[1], false); error != 0) {
    printError(fileError("can't open file", listingPath, error));
    return 1;
  }
  ListingReader listing(
      [&listingFile](std::uint8_t* dst, std::int64_t n) { return listingFile.read(dst, n); });
  listing.skipFirstLine();
  if (listing.error() != 0) {
    printError(listingReadError(listingPath, listing.error()));
    return 1;
  }

  PosixFile target;
  if (int error = target.open(argv[2], true); error != 0) {
    printError(fileError("can't open file", targetPath, error));
    return 1;
  }
  Patcher patcher(target, targetPath, settings, target.holdsData(), printError);
  int code = applyListing(listing, listingPath, patcher);
  listingFile.close();
  if (code == 0) {
    if (int error = target.close(); error != 0) {
      printError(fileError("failed flush file", targetPath, error));
      return 1;
    }
  }
  return code;
}
