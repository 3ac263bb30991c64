// The texts of the help menu's "How to start?" and "About LZA".
#pragma once

namespace lozengia {

extern const char* const kHelpText;
extern const char* const kAboutText;

}  // namespace lozengia
