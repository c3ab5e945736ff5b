#include "dataport/io/arguments.h"

#include <windows.h>
#include <shellapi.h>

#include "dataport/io/wide_text.h"

namespace dataport::io {

// The runtime's argv holds the words in the system's code page, where a
// name outside it is lost; the wide command line holds them all.
std::vector<std::string> commandLineWords(int argc, char** argv) {
  int n = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> words;
  for (int i = 0; i < n; ++i) words.push_back(narrow(wide[i]));
  ::LocalFree(wide);
  return words;
}

}  // namespace dataport::io
