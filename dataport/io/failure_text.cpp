#include "dataport/io/failure_text.h"

#include "dataport/io/file_status.h"

namespace dataport::io {

std::string cannotReadText(const std::string& name, int code) {
  return name + ":cannot read file: " + errorText(code) + "\n";
}

std::string writeErrorText(const std::string& name, int code) {
  return name + ":error writing file: " + errorText(code) + "\n";
}

std::string folderProblem(const std::string& name) {
  if (fileStatus(name).kind != FileKind::Directory) return {};
  return cannotReadText(name, isDirectoryError());
}

std::string readProblem(const Disk& disk, const std::string& name) {
  const std::optional<IoError>& e = disk.lastError();
  if (!e || e->write || e->name != name || e->code == missingError() || e->code == 0) return {};
  return cannotReadText(name, e->code);
}

}  // namespace dataport::io
