// PNG files of the pictures, compressed in bands on every core.
//
// A 2000-pixel picture of a large tiling is mostly fine detail, and its
// compression took as long as a fifth of the sample it shows on one core.
// Here each band of rows is filtered and compressed by a thread of its own
// into a piece of one zlib stream (each piece ends on a byte boundary, and the
// stream's checksum is combined from the pieces'), so the file is an ordinary
// PNG: 8-bit RGB, no interlace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lozengia {

struct PngPixels {
  const uint32_t* pixels;  // 0xAARRGGBB, the alpha byte ignored
  int width, height;
  std::ptrdiff_t stride;  // pixels from a row to the next
  // The pixel density told to viewers and printers (a pHYs chunk), in dots
  // per metre; none when 0.
  int dots_per_meter_x = 0, dots_per_meter_y = 0;
};

// The PNG file's bytes; `threads` 0 means every core. Returns an empty
// string for an empty picture.
std::string encode_png(const PngPixels& image, unsigned threads = 0);

// The most encode_png allocates for a picture of that size, whatever it
// shows (the pixels themselves are the caller's).
uint64_t encode_png_bytes(int width, int height, unsigned threads = 0);

}  // namespace lozengia
