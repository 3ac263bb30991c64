#include "render/pp_writer.h"

#include <cstdio>
#include <sstream>

namespace lozengia {

void write_plane_partition(std::ostream& os, const PlanePartition& pp) {
  if (pp.cols == 0) return;
  char field[32];
  for (int32_t r = 1; r <= pp.rows; ++r) {
    std::string line;
    line.reserve(static_cast<std::size_t>(pp.cols) * 8 + 1);
    for (int32_t c = 1; c <= pp.cols; ++c) {
      const int32_t v = pp(r, c);
      if (v > 99999999 || v < -9999999)
        line += "********";  // does not fit the field
      else {
        std::snprintf(field, sizeof field, "%8d", v);
        line += field;
      }
    }
    line += '\n';
    os << line;
  }
}

WriteStatus export_plane_partition(const std::string& path, const PlanePartition& pp) {
  std::ostringstream os;
  write_plane_partition(os, pp);
  return write_file_replacing(path, os.str());
}

}  // namespace lozengia
