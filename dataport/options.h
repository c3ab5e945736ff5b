#pragma once
// What the rest of dataport may ask about the option table of the command
// line (the table itself and Job::parse live in options.cpp).

#include <string_view>
#include <vector>

namespace dataport {

/// Every option word of the table, in the order parse looks them up.
std::vector<std::string_view> optionWords();

/// Whether `word` is an option word that takes the next word as its value.
bool takesValue(std::string_view word);

}  // namespace dataport
