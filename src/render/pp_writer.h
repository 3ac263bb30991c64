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

// A file written piece by piece through a temporary file beside its target,
// which replaces the target only when every piece was written and the file is
// committed: a failure half way, or a run given up, leaves an existing file as
// it was. Devices and other special files are written directly.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();  // removes the temporary file unless committed

  WriteStatus open(const std::string& path);
  bool write(const std::string& piece);  // false once any write failed
  WriteStatus commit();
  // The temporary file while one is open, empty otherwise.
  const std::string& temporary() const { return tmp_; }

 private:
  int fd_ = -1;
  std::string target_, tmp_;
  bool replacing_ = false, ok_ = true;
  // The replaced file's owner and mode, given to its replacement.
  unsigned old_uid_ = 0, old_gid_ = 0, old_mode_ = 0;
};

// Writes `contents` to `path` through a ReplacingFile.
WriteStatus write_file_replacing(const std::string& path, const std::string& contents);

WriteStatus export_plane_partition(const std::string& path, const PlanePartition& pp);

}  // namespace lozengia
