#include "dataport/copy/cut_input.h"

#include <algorithm>

#include "dataport/copy/data_end.h"
#include "dataport/failure.h"
#include "dataport/io/console.h"
#include "dataport/io/file_status.h"
#include "dataport/io/failure_text.h"
#include "dataport/io/file_helpers.h"
#include "dataport/job.h"

namespace dataport {

namespace {

// The cut file is made anew on every run: an old one is removed and the new
// one created exclusively, so that no link, symbolic or hard, can carry the
// write to another file. A cut file that is the input itself, or a file the
// run reads, is kept and the run refused; so is one that is no regular file
// (a link, a folder), which a removal would not be right to take away.
void createCutFile(Job& job, const std::string& input) {
  if (io::sameEntry(input, kCutFile)) {
    throw Failure(std::string(kCutFile) + ":input is the cut file itself\n");
  }
  if (job.inputs.isInputEntry(kCutFile)) {
    throw Failure(std::string(kCutFile) + ":output file is also an input file\n");
  }
  const io::FileKind kind = io::entryKind(kCutFile);
  if (kind != io::FileKind::Missing && kind != io::FileKind::Regular) {
    throw Failure(std::string(kCutFile) + ":not a regular file\n");
  }
  job.disk.forget(kCutFile);
  int code = kind == io::FileKind::Missing ? 0 : io::removeEntry(kCutFile);
  if (code == 0) code = io::createNew(kCutFile);
  if (code != 0) throw Failure(io::writeErrorText(kCutFile, code));
}

}  // namespace

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

  createCutFile(job, name);
  job.mustCopyRange(name, kCutFile, 0, 0, size, "ab");
  return size;
}

// The modes then read the kept part instead of their input, and the upper
// bound may not reach beyond it.
void Job::cutInputIfAsked(std::string& name) {
  if (cutkind == 0) return;
  const std::int64_t kept = cutInput(*this, name, cutkind, cutlimit, fill);
  if (kept == 0) return;
  name = kCutFile;
  inputs.add(io::fileStatus(kCutFile).id);
  pmax = std::min(pmax, kept);
}

}  // namespace dataport
