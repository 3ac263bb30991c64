// Reading plane partition files back (the export's, lozengia-cli's and the
// Python module's): the one file reader behind "Open plane partition..",
// lozengia-cli --from and lozengia.read_plane_partitions. Only a regular
// file is read (a pipe would wait for a writer for ever, a device may never
// end), in pieces through the checking reader of core/pp_text.h, so that a
// hostile file can neither block, nor take more memory than is allowed, nor
// hand over anything unchecked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/pp_text.h"

namespace lozengia {

struct PartitionFile {
  std::vector<ReadPartition> partitions;  // in the file's order; empty on failure
  // Empty when read; else the message naming the file, and the line and
  // column and what is wrong there where the fault is in its text:
  // "pp.txt: line 3, column 17: entry 5 is larger than ...".
  std::string error;
};

// Reads every partition of the file at `path`. `limits.max_bytes` 0 means
// the memory this process may take (core/memory_limit.h). Messages name the
// file as `shown` when given (a name whose bytes are not text, say).
PartitionFile read_partition_file(const std::string& path, PartitionTextLimits limits = {0},
                                  const std::string& shown = {});

}  // namespace lozengia
