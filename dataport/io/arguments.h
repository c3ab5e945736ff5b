#pragma once
// The command-line words of this process in UTF-8. On Windows they come
// from the wide command line, so that any file name works whatever the
// system's code page; elsewhere they are argv as given.

#include <string>
#include <vector>

namespace dataport::io {

/// The words of the command line, the program's name first.
std::vector<std::string> commandLineWords(int argc, char** argv);

}  // namespace dataport::io
