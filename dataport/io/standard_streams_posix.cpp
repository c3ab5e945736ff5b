#include "dataport/io/standard_streams.h"

#include <unistd.h>

#include <cstdio>

namespace dataport::io {

void prepareStandardStreams(char* buffer, std::size_t size) {
  if (!::isatty(STDOUT_FILENO)) std::setvbuf(stdout, buffer, _IOFBF, size);
}

}  // namespace dataport::io
