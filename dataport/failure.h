#pragma once
// The one way a run of dataport ends early: a message text thrown up to main,
// which writes it unchanged to standard error and exits with status 1.

#include <string>
#include <utility>

namespace dataport {

/// A run-ending error. `text` is written exactly as it stands (most texts end
/// in "\n" themselves; nothing is added).
struct Failure {
  std::string text;
  explicit Failure(std::string t) : text(std::move(t)) {}
};

}  // namespace dataport
