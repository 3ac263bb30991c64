// "config.cfg" of arbitrary bytes: the reader must end in the colours it could
// read or in the defaults with its message, and never crash or hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "render/color_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const lozengia::ColorConfig cfg = lozengia::parse_color_config(text);
  if (cfg.loaded) {
    // Six hexadecimal digits at most, and only a style the pictures know.
    if (cfg.colors.flat > 0xFFFFFF || cfg.colors.rising > 0xFFFFFF || cfg.colors.hexagon > 0xFFFFFF)
      __builtin_trap();
    if (cfg.style < 1 || cfg.style > 4) __builtin_trap();
    if (cfg.message.size() != 3 || cfg.message[1].size() != 24) __builtin_trap();
  } else {
    const lozengia::ColorConfig defaults;
    if (cfg.colors.flat != defaults.colors.flat || cfg.style != defaults.style) __builtin_trap();
    if (cfg.message.size() != 2) __builtin_trap();
  }
  return 0;
}
