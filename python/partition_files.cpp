#include "partition_files.h"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/memory_limit.h"
#include "gil.h"
#include "render/pp_reader.h"

namespace py = pybind11;

namespace lozengia::pymod {

void bind_partition_files(py::module_& m) {
  // `path` as the file system's bytes, `name` as the messages show it.
  m.def("read_plane_partitions",
        [](const py::bytes& path, const std::string& name, uint64_t max_memory) {
          const std::string raw = path;
          PartitionFile file = without_gil(
              [&] { return read_partition_file(raw, PartitionTextLimits{max_memory}, name); });
          if (!file.error.empty()) throw py::value_error(file.error);
          // The arrays are copies: counted before they are made, beside the
          // partitions read (each freed once copied).
          uint64_t bytes = 0;
          for (const ReadPartition& r : file.partitions)
            bytes = add_bytes(bytes, times_bytes(r.pp.cells.size(), sizeof(int32_t)));
          if (const std::string why = memory_refusal(bytes_only(bytes), max_memory); !why.empty()) {
            PyErr_SetString(PyExc_MemoryError, why.c_str());
            throw py::error_already_set();
          }
          py::list out;
          for (ReadPartition& r : file.partitions) {
            py::array_t<int32_t> a(
                {static_cast<py::ssize_t>(r.pp.rows), static_cast<py::ssize_t>(r.pp.cols)});
            std::copy(r.pp.cells.begin(), r.pp.cells.end(), a.mutable_data());
            std::vector<int32_t>().swap(r.pp.cells);
            out.append(std::move(a));
          }
          return out;
        });
}

}  // namespace lozengia::pymod
