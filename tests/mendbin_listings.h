#pragma once
// What the end-to-end tests of mendbin share: listings in fc /B form and the
// check of a run that succeeds without a word.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace mendbin_e2e {

/// The comment line that fc /B prints first.
inline const char kComment[] = "Comparing files OLD.BIN and NEW.BIN\r\n";

/// A listing in fc /B form: the comment line, then the given entry lines,
/// each ended by CR LF.
inline e2e::Bytes listing(const std::vector<std::string>& entries) {
  e2e::Bytes text = kComment;
  for (const std::string& e : entries) text += e + "\r\n";
  return text;
}

/// Exit code 0, nothing printed.
inline void expectQuietSuccess(const e2e::RunResult& r) {
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

}  // namespace mendbin_e2e
