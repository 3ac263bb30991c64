// Writing a plane partition as text: one line per row, each entry right-aligned
// in a field of 8 characters, no other separators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "core/plane_partition.h"
#include "render/output_file.h"

namespace lozengia {

// One row's line (cols entries of 8 characters, then '\n') at `out`, which
// holds cols * 8 + 1 bytes: the one formatting of every export.
void format_plane_partition_row(const int32_t* row, int32_t cols, char* out);

// A whole matrix's text.
void write_plane_partition(std::ostream& os, const PlanePartition& pp);
void append_plane_partition(std::string& out, const PlanePartition& pp);

// The text of the plane partition of the configuration `paths` at S, made
// row by row from the paths (core/plane_partition.h) and handed to `write`
// in pieces of whole lines, about a MiB each: a partition of any size is
// written without its matrix or its text in memory. Stops, returning false,
// when `write` returns false.
using TextWriter = std::function<bool(const char* data, std::size_t size)>;
bool stream_plane_partition(const PathArray& paths, int32_t S, const TextWriter& write);
// The bytes stream_plane_partition allocates for a hexagon of T slices.
uint64_t stream_plane_partition_bytes(int32_t T, int32_t S);

// Writes the plane partition of the configuration `paths` at S to `path`
// through the project's one file writer, streamed.
WriteStatus export_plane_partition(const std::string& path, const PathArray& paths, int32_t S);

}  // namespace lozengia
