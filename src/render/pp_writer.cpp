#include "render/pp_writer.h"

#include <charconv>
#include <cstring>

namespace lozengia {

void append_plane_partition(std::string& out, const PlanePartition& pp) {
  if (pp.cols == 0 || pp.rows <= 0) return;
  // Every line has the same length, so the text is sized once and the fields
  // are written in place: a large partition (a million entries at n = 1000)
  // is written in a few milliseconds instead of a formatted call per entry.
  const std::size_t line = static_cast<std::size_t>(pp.cols) * 8 + 1;
  const std::size_t from = out.size();
  out.resize(from + line * static_cast<std::size_t>(pp.rows));
  char* at = out.data() + from;
  for (int32_t r = 1; r <= pp.rows; ++r) {
    for (int32_t c = 1; c <= pp.cols; ++c) {
      char digits[16];
      const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, pp(r, c));
      const std::size_t len = static_cast<std::size_t>(end - digits);
      if (len > 8) {
        std::memcpy(at, "********", 8);  // does not fit the field
      } else {
        std::memset(at, ' ', 8 - len);  // right-aligned, as "%8d"
        std::memcpy(at + 8 - len, digits, len);
      }
      at += 8;
    }
    *at++ = '\n';
  }
}

void write_plane_partition(std::ostream& os, const PlanePartition& pp) {
  std::string text;
  append_plane_partition(text, pp);
  os << text;
}

WriteStatus export_plane_partition(const std::string& path, const PlanePartition& pp) {
  std::string text;
  append_plane_partition(text, pp);
  return write_file_replacing(path, text);
}

}  // namespace lozengia
