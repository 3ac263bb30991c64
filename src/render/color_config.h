// "config.cfg": the three lozenge colours and the default picture style.
//
// Layout by line: 1-14 comments; 15, 16, 17 one colour each, six hexadecimal
// digits BBGGRR at the start of the line; 18 comment; 19 the picture style,
// an integer that may be followed by a comment after a blank; 20 comment; 21 a
// free text (read, not used). A colour or style line that is missing or
// unreadable leaves that value's default in place and the others are still
// taken; the text then says the file is in bad format, names each line that
// was missing or bad, and lists what was taken. A style out of 1..4 is read but
// ignored, and said so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/tiling.h"

namespace lozengia {

extern const char* const kConfigFileName;  // "config.cfg"

struct ColorConfig {
  bool loaded = false;  // false: some line was missing or bad (its default is in place)
  LozengeColors colors;
  StyleNumber style = kStyleBorders;
  // What the text window shows about it, one entry per line (the last one is
  // the empty line that follows the message).
  std::vector<std::string> message;
};

// Parses the file's text. Never fails: bad or short text gives the defaults.
ColorConfig parse_color_config(const std::string& text);

// Reads and parses `path`; a file that cannot be read gives the defaults.
ColorConfig load_color_config(const std::string& path = kConfigFileName);

// A colour as the echo line shows it: hexadecimal, right-aligned in 8 columns.
std::string color_field(Rgb c);

}  // namespace lozengia
