// The texts of the help menu's "How to start?" and "About LZA".
#pragma once

#include <string>

namespace lozengia {

extern const char* const kHelpText;
// The program's name and version, what it does, and the paper its models
// and algorithm come from.
std::string about_text();

}  // namespace lozengia
