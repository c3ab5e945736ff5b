#include "mendbin/command_line.h"

#include "tools_version.h"

namespace mendbin {

const char kUsage[] =
    "mendbin - apply binary diff from windows file compare command\n"
    "version 20131213\n"
    "\n"
    "Usage: mendbin  DIFF_FILE  FILE_TO_PATCH [-n] [-r]\n"
    " apply DIFF_FILE to FILE_TO_PATCH\n"
    " -n  (optional) not verify data (dont validate BYTE_ORG)\n"
    " -r  (optional) revert (switch BYTE_ORG and BYTE_PATCH)\n"
    " -c  (optional) check only: verify the whole DIFF_FILE, write nothing\n"
    " DIFF_FILE is difference file created by MS Windows 'fc /B' command.\n"
    " DIFF_FILE first line is comment\n"
    "           each other line format 'HEX_OFFSET: HEX_BYTE_ORG HEX_BYTE_PATCH'\n"
    " HEX_OFFSET is handled as 32bit integers. HEX_BYTE as unsigned byte.\n"
    " Only errors are printed.\n";

std::string versionLine() { return std::string("mendbin ") + TOOLS_VERSION + "\n"; }

Settings readOptionWords(int argc, const char* const* argv) {
  Settings settings;
  for (int i = 3; i < argc && i <= 4; ++i) {
    const char* word = argv[i];
    if (word[0] == '\0') continue;
    if (word[1] == 'n') settings.verify = false;
    if (word[1] == 'r') settings.revert = true;
    if (word[1] == 'c') settings.checkOnly = true;
  }
  return settings;
}

}  // namespace mendbin
