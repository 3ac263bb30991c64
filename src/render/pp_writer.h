// Writing a plane partition as text: one line per row, each entry right-aligned
// in a field of 8 characters, no other separators.
#pragma once

#include <ostream>
#include <string>

#include "core/plane_partition.h"

namespace lozengia {

void write_plane_partition(std::ostream& os, const PlanePartition& pp);

enum class WriteStatus { kOk, kOpenError, kWriteError };

// The text window's messages for the two failures.
inline const char* write_status_message(WriteStatus s) {
  switch (s) {
    case WriteStatus::kOpenError: return "Error while opening file";
    case WriteStatus::kWriteError: return "Error while writing to file";
    default: return "";
  }
}

// Writes `contents` to `path` through a temporary file beside it that replaces
// the target only when everything was written, so a failure half way leaves an
// existing file as it was.
WriteStatus write_file_replacing(const std::string& path, const std::string& contents);

WriteStatus export_plane_partition(const std::string& path, const PlanePartition& pp);

}  // namespace lozengia
