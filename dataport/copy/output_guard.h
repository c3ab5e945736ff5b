#pragma once
// Outputs that would destroy an input: an output that a mode creates or
// empties ("wb") before it has read everything it needs from its inputs must
// not be one of those inputs under another (or the same) name.

#include <initializer_list>
#include <string>

namespace dataport {

/// True when both names lead to the same existing file (false when either is
/// missing).
bool sameFile(const std::string& a, const std::string& b);

/// Refuses, before anything is written, to create or empty `out` (open mode
/// `mode` "wb"; "ab" and "rb+" keep the content) when it is the same existing
/// file as one of `inputs` (empty names are skipped). Throws
/// "<out>:output file is also an input file\n".
void refuseOverwrite(const std::string& out, const std::string& mode,
                     std::initializer_list<std::string> inputs);

}  // namespace dataport
