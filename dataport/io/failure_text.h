#pragma once
// The texts that name a file whose reading or writing failed, with the
// system's reason.

#include <string>

#include "dataport/io/disk.h"

namespace dataport::io {

/// "NAME:cannot read file: REASON\n".
std::string cannotReadText(const std::string& name, int code);
/// "NAME:error writing file: REASON\n".
std::string writeErrorText(const std::string& name, int code);
/// cannotReadText with the reason "Is a directory" when `name` is a folder;
/// else "".
std::string folderProblem(const std::string& name);
/// cannotReadText for the disk's last failure when that was an open or read
/// of `name` that failed for another reason than a missing file; else "".
std::string readProblem(const Disk& disk, const std::string& name);

}  // namespace dataport::io
