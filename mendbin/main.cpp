// mendbin: applies a byte-difference listing in the form of `fc /B` to a file.
// Only errors are printed; see command_line.h for the command line and
// run.h for how a listing is checked and applied.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mendbin/command_line.h"
#include "mendbin/listing_passes.h"
#include "mendbin/listing_reader.h"
#include "mendbin/patcher.h"
#include "mendbin/run.h"
#include "mendbin/system_file.h"

namespace {

void printError(const std::string& line) { std::fwrite(line.data(), 1, line.size(), stderr); }
void printOutput(const std::string& line) { std::fwrite(line.data(), 1, line.size(), stdout); }

std::string fileError(const char* what, const std::string& path, int error) {
  return std::string("ERROR: ") + what + " : " + path + " : " + std::strerror(error) + "\n";
}

}  // namespace

int main(int rawArgc, char** rawArgv) {
  using namespace mendbin;
  useBinaryStandardStreams();
  // The words in UTF-8 (on Windows from the wide command line).
  std::vector<std::string> words = commandLineWords(rawArgc, rawArgv);
  std::vector<char*> wordPointers;
  for (std::string& w : words) wordPointers.push_back(w.data());
  wordPointers.push_back(nullptr);
  const int argc = static_cast<int>(words.size());
  char** const argv = wordPointers.data();

  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs(versionLine().c_str(), stdout);
    return 0;
  }
  if (argc < 3) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const Settings settings = readOptionWords(argc, argv);
  const std::string listingPath = argv[1];
  const std::string targetPath = argv[2];

  SystemFile listingFile;
  if (int error = listingFile.open(argv[1], false); error != 0) {
    printError(fileError("can't open file", listingPath, error));
    return 1;
  }
  ListingPasses passes(listingFile);
  ListingReader listing(passes.begin());
  listing.readFirstLine();
  if (listing.error() != 0) {
    printError(listingReadError(listingPath, listing.error()));
    return 1;
  }

  // A check writes nothing, so it needs no write access to the file.
  SystemFile target;
  if (int error = target.open(argv[2], !settings.checkOnly); error != 0) {
    printError(fileError("can't open file", targetPath, error));
    return 1;
  }
  Patcher patcher(target, targetPath, settings, target.holdsData(), printError);
  int code = runListing(listing, [&passes] { return passes.begin(); }, listingPath, patcher,
                        settings, printError, printOutput);
  listingFile.close();
  if (code == 0 && !settings.checkOnly) {
    if (int error = target.close(); error != 0) {
      printError(fileError("failed flush file", targetPath, error));
      return 1;
    }
  }
  return code;
}
