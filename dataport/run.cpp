#include "dataport/io/console.h"
#include "dataport/job.h"

namespace dataport {

// The notice of bytes without a table entry comes once, after the mode has
// converted everything.
void Job::run() {
  watchInputs();
  switch (mode) {
    case kSplit: splitElements(); break;
    case kJoin: joinElements(); break;
    case kImport: importElements(); break;
    case kSplitDFile: splitDFile(); break;
    case kJoinDFile: joinDFile(); break;
    default: break;  // parse never sets another mode
  }
  if (noEntryBytes > 0) io::err("%lld bytes had no table entry\n", static_cast<long long>(noEntryBytes));
}

}  // namespace dataport
