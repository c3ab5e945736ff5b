#pragma once
// What dataport says about itself before any job is built: the usage text
// (for "--help", "-?" or an empty command line) and the version line.

#include <string>

namespace dataport {

/// What a command line asks for.
enum class Request { kJob, kHelp, kVersion };

/// kHelp for a command line of no words or with a "--help" or "-?" word,
/// kVersion for one with a "--version" word (the first such word decides),
/// kJob otherwise. A word that is the value of the option before it ("-d
/// --help" makes "--help" the separator) asks for nothing.
Request requestOf(int argc, const char* const* argv);

/// The usage text: command line, modes, every option, the htype word in
/// brief, examples.
extern const char kUsage[];

/// "dataport VERSION\n", the project version.
std::string versionLine();

}  // namespace dataport
