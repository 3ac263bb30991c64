// Writing a plane partition as text: one line per row, each entry right-aligned
// in a field of 8 characters, no other separators.
#pragma once

#include <ostream>
#include <string>

#include "core/plane_partition.h"
#include "render/output_file.h"

namespace lozengia {

void write_plane_partition(std::ostream& os, const PlanePartition& pp);
// The same text appended to `out`.
void append_plane_partition(std::string& out, const PlanePartition& pp);

// Writes the partition to `path` through the project's one file writer.
WriteStatus export_plane_partition(const std::string& path, const PlanePartition& pp);

}  // namespace lozengia
