#include "dataport/io/standard_streams.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace dataport::io {

void prepareStandardStreams(char* buffer, std::size_t size) {
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
  if (!::_isatty(::_fileno(stdout))) std::setvbuf(stdout, buffer, _IOFBF, size);
}

}  // namespace dataport::io
