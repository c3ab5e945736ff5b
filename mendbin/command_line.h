#pragma once
// The command line of mendbin: DIFF_FILE FILE_TO_PATCH [-n] [-r] [-c]; with fewer
// than two arguments the usage text, with "--version" alone the version.

#include <string>

#include "mendbin/patcher.h"

namespace mendbin {

/// The usage text, printed to standard output when fewer than two arguments
/// are given.
extern const char kUsage[];

/// "mendbin VERSION\n", printed for the one argument "--version".
std::string versionLine();

/// Settings from the option words, arguments 3 and 4 of argv (those present).
/// Only the second character of a word counts: n turns verification off, r
/// turns revert on, c asks for a check only; any other word, and a word shorter than two characters,
/// is ignored. Arguments from the fifth on are ignored.
Settings readOptionWords(int argc, const char* const* argv);

}  // namespace mendbin
