#include "dataport/job.h"

namespace dataport {

void Job::run() {
  switch (mode) {
    case kSplit: splitElements(); break;
    case kJoin: joinElements(); break;
    case kImport: importElements(); break;
    case kSplitDFile: splitDFile(); break;
    case kJoinDFile: joinDFile(); break;
    default: break;  // parse never sets another mode
  }
}

}  // namespace dataport
