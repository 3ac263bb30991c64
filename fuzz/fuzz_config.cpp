// "config.cfg" of arbitrary bytes: the reader must end in the colours and
// style it could read, each bad line at its default with the message, and
// never crash or hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "render/color_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const lozengia::ColorConfig cfg = lozengia::parse_color_config(text);
  // Six hexadecimal digits at most, and only a style the pictures know,
  // whatever was read: a bad line falls back to its own default.
  if (cfg.colors.flat > 0xFFFFFF || cfg.colors.rising > 0xFFFFFF || cfg.colors.hexagon > 0xFFFFFF)
    __builtin_trap();
  if (cfg.style < 1 || cfg.style > 4) __builtin_trap();
  if (cfg.message.empty() || !cfg.message.back().empty()) __builtin_trap();
  if (cfg.loaded) {
    // The colours, then (when line 19 holds a number outside 1 to 4) the line
    // saying that style is ignored.
    const std::size_t lines = cfg.message.size();
    if (lines < 3 || lines > 4 || cfg.message[1].size() != 24) __builtin_trap();
    if (lines == 4 && cfg.message[2].rfind("Line 19 (style): ", 0) != 0) __builtin_trap();
  } else {
    if (cfg.message.size() < 2 ||
        cfg.message[0] !=
            "Configuration file config.cfg not found or in bad format. Default values are loaded.")
      __builtin_trap();
  }
  return 0;
}
