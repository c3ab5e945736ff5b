// Headers that the data file itself locates: its offset ("-hp") and its
// record count ("-hcp") stand in fields of the data file, in the byte order
// of the run.

#include <climits>
#include <string>

#include "dataport/failure.h"
#include "dataport/io/console.h"
#include "dataport/io/file_helpers.h"
#include "dataport/job.h"

namespace dataport {
namespace {

std::uint64_t readField(Job& job, const std::string& dataFile, const FileField& f,
                        const char* option) {
  std::uint8_t bytes[8] = {};
  if (io::readAt(job.disk, dataFile, bytes, f.off, f.width) != f.width) {
    throw Failure(std::string(option) + ": cannot read " + std::to_string(f.width) +
                  " bytes at " + std::to_string(f.off) + " of " + dataFile + "\n");
  }
  return job.fields.decode(bytes, f.width);
}

}  // namespace

bool Job::locateHeader(const std::string& dataFile) {
  if (hpfield) {
    hbase = static_cast<std::int64_t>(readField(*this, dataFile, *hpfield, "-hp"));
    io::out("hbase %lld from the field at %lld\n", static_cast<long long>(hbase),
            static_cast<long long>(hpfield->off));
  }
  if (!hcpfield) return true;
  const std::uint64_t count = readField(*this, dataFile, *hcpfield, "-hcp");
  io::out("elements %llu from the field at %lld\n", static_cast<unsigned long long>(count),
          static_cast<long long>(hcpfield->off));
  // The list counts records in 32 bits, as a count field does.
  if (count > static_cast<std::uint64_t>(INT32_MAX)) throw Failure("error alloc elements buf\n");
  hcount = static_cast<std::uint32_t>(count);
  return count != 0;
}

}  // namespace dataport
