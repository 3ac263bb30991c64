// The export's text of a plane partition, as the file would hold it.
#pragma once

#include <sstream>
#include <string>

#include "core/plane_partition.h"
#include "render/pp_writer.h"

namespace lozengia::testing {

inline std::string partition_text(const PlanePartition& pp) {
  std::ostringstream os;
  write_plane_partition(os, pp);
  return os.str();
}

}  // namespace lozengia::testing
