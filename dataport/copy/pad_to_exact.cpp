#include "dataport/copy/pad_to_exact.h"

#include "dataport/failure.h"
#include "dataport/io/console.h"
#include "dataport/io/file_helpers.h"
#include "dataport/job.h"

namespace dataport {

// Kind 2 rounds the output up to the next multiple of exsize; any other
// kind pads to exactly exsize. An output that cannot be measured (missing,
// not a regular file) cannot be padded to a size: the run ends with its
// write error rather than appending exsize + 1 bytes to it.
int padToExact(Job& job, const std::string& name, std::uint32_t kind, std::int64_t exsize,
               std::uint8_t fill) {
  if (exsize <= 0 || kind == 0) return 0;
  const std::int64_t fsize = io::fileSize(job.disk, name);
  std::int64_t target = exsize;
  if (kind == 2) {
    const std::int64_t r = fsize % exsize;
    target = r != 0 ? fsize + exsize - r : fsize;
  }
  io::out("exsize %lld fsize %lld\n", static_cast<long long>(target),
          static_cast<long long>(fsize));
  if (fsize < 0) job.failWrite(name);
  if (fsize > target) throw Failure("Error: joining file is bigger than exact size\n");
  if (fsize < target) job.mustFillAt(name, fill, 0, target - fsize, "ab");
  return 1;
}

}  // namespace dataport
