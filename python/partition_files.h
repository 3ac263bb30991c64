// lozengia._core.read_plane_partitions: plane partition files read back
// through the project's one checked reader (render/pp_reader.h).
#pragma once

#include <pybind11/pybind11.h>

namespace lozengia::pymod {

void bind_partition_files(pybind11::module_& m);

}  // namespace lozengia::pymod
