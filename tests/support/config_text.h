// The text of a colour file (config.cfg): the colours on lines 15-17, the
// style on line 19, every other line free text the reader must skip.
#pragma once

#include <string>

namespace lozengia::testing {

// `lines` below 21 cuts the file short; `newline` gives other line ends.
inline std::string config_text(const std::string& flat = "B0B0DD",
                               const std::string& rising = "D0FFD0",
                               const std::string& hexagon = "FFD0D0",
                               const std::string& style = "3", const std::string& newline = "\n",
                               int lines = 21) {
  std::string t;
  for (int i = 1; i <= lines; ++i) {
    switch (i) {
      case 15:
        t += flat;
        break;
      case 16:
        t += rising;
        break;
      case 17:
        t += hexagon;
        break;
      case 19:
        t += style;
        break;
      case 18:
      case 20:
        t += "skipped";
        break;
      case 21:
        t += "free text";
        break;
      default:
        t += "comment " + std::to_string(i);
    }
    t += newline;
  }
  return t;
}

}  // namespace lozengia::testing
