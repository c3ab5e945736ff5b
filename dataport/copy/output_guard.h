#pragma once
// The files a run reads. No run changes one of them: an output that leads
// to an input (by the same name, another name, a hard or symbolic link) is
// refused before anything is written, whatever its open mode ("-a" would
// change an input as much as "wb").

#include <set>
#include <string>
#include <vector>

#include "dataport/io/file_status.h"

namespace dataport {

class InputFiles {
 public:
  /// Adds the file `name` leads to, when it exists, and the name itself.
  void add(const std::string& name);
  /// Adds a file already found by its identity (a numbered input).
  void add(const io::FileId& id) { ids_.insert(id); }
  /// True when `name` leads to one of the inputs.
  bool leadsToInput(const std::string& name) const;
  /// True when `entry` is the very directory entry of an input name.
  bool isInputEntry(const std::string& entry) const;
  /// Throws "<out>:output file is also an input file\n" when `out` leads to
  /// an input.
  void refuse(const std::string& out) const;

 private:
  std::vector<std::string> names_;
  std::set<io::FileId> ids_;
};

}  // namespace dataport
