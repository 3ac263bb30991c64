#include "render/pp_writer.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

namespace {

bool write_all(int fd, const std::string& s) {
  const char* p = s.data();
  std::size_t left = s.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

WriteStatus write_file_replacing(const std::string& path, const std::string& contents) {
  if (path.empty()) return WriteStatus::kOpenError;
  // Write through a symbolic link to the file it names; refuse a target that
  // exists but may not be written, as opening it for writing would.
  std::string target = path;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode) || ::access(path.c_str(), W_OK) != 0) return WriteStatus::kOpenError;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;
  }
  // Devices and other special files (such as /dev/stdout) cannot be replaced:
  // write to them directly.
  if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return WriteStatus::kOpenError;
    const bool ok = write_all(fd, contents);
    const bool closed = ::close(fd) == 0;
    return ok && closed ? WriteStatus::kOk : WriteStatus::kWriteError;
  }
  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0;
  std::string tmp = target + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) return WriteStatus::kOpenError;
  bool ok = write_all(fd, contents);
  ok = (::fsync(fd) == 0) && ok;
  // mkstemp creates the file for its owner only. A replaced file keeps its own
  // mode (a private file must not become readable by others) and, where we
  // may, its owner; a new file gets the usual mode.
  if (replacing) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Not permitted for an ordinary user: the file becomes theirs, as a
      // file written anew would.
    }
    ::fchmod(fd, old.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(tmp.c_str(), target.c_str()) == 0) return WriteStatus::kOk;
  ::unlink(tmp.c_str());
  return WriteStatus::kWriteError;
}

WriteStatus export_plane_partition(const std::string& path, const PlanePartition& pp) {
  std::ostringstream os;
  write_plane_partition(os, pp);
  return write_file_replacing(path, os.str());
}

}  // namespace lozengia
