#include "dataport/copy/cut_input.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "dataport/copy/data_end.h"
#include "dataport/failure.h"
#include "dataport/io/console.h"
#include "dataport/io/file_helpers.h"
#include "dataport/job.h"

namespace dataport {

// The kept beginning goes to the cut file in the working directory, which
// the caller then reads instead of its input. A file that cannot be measured
// counts as 4294967295 bytes long (the unsigned view of -1): its first chunk
// cannot be read, and the run ends with the read error.
std::int64_t cutInput(Job& job, const std::string& name, std::uint32_t kind, std::uint32_t keep,
                      std::uint8_t fill) {
  std::int64_t size = io::fileSize(job.disk, name);
  if (size < 0) size = 0xFFFFFFFFLL;
  io::out("old size %lld\n", static_cast<long long>(size));
  const std::int64_t end = findDataEnd(job.disk, name, 0, size, fill);
  if (end >= 0) size = kind == 32 ? std::min<std::int64_t>(size, end + keep) : end;
  io::out("new size %lld\n", static_cast<long long>(size));
  if (end < 0) {
    if (kind != 32 || keep == 0) return 0;
    size = std::min<std::int64_t>(size, keep);
  }

  // Copying a file onto itself in "wb" would empty it before a byte is read:
  // an input that is the cut file itself is refused, nothing touched.
  std::error_code ec;
  if (std::filesystem::equivalent(name, kCutFile, ec)) {
    throw Failure(std::string(kCutFile) + ":input is the cut file itself\n");
  }
  job.mustCopyRange(name, kCutFile, 0, 0, size, "wb");
  return size;
}

// The modes then read the kept part instead of their input, and the upper
// bound may not reach beyond it.
void Job::cutInputIfAsked(std::string& name) {
  if (cutkind == 0) return;
  const std::int64_t kept = cutInput(*this, name, cutkind, cutlimit, fill);
  if (kept == 0) return;
  name = kCutFile;
  pmax = std::min(pmax, kept);
}

}  // namespace dataport
