#include "dataport/io/arguments.h"

namespace dataport::io {

std::vector<std::string> commandLineWords(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace dataport::io
