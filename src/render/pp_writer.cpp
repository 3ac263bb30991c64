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

ReplacingFile::~ReplacingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!tmp_.empty()) ::unlink(tmp_.c_str());
}

WriteStatus ReplacingFile::open(const std::string& path) {
  if (path.empty() || fd_ >= 0) return WriteStatus::kOpenError;
  // Write through a symbolic link to the file it names; refuse a target that
  // exists but may not be written, as opening it for writing would.
  target_ = path;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode) || ::access(path.c_str(), W_OK) != 0) return WriteStatus::kOpenError;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) target_ = resolved;
  }
  // Devices and other special files (such as /dev/stdout) cannot be replaced:
  // write to them directly.
  if (::stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    return fd_ >= 0 ? WriteStatus::kOk : WriteStatus::kOpenError;
  }
  struct stat old {};
  replacing_ = ::stat(target_.c_str(), &old) == 0;
  old_uid_ = old.st_uid;
  old_gid_ = old.st_gid;
  old_mode_ = old.st_mode & 07777;
  std::string tmp = target_ + ".XXXXXX";
  fd_ = ::mkstemp(tmp.data());
  if (fd_ < 0) return WriteStatus::kOpenError;
  tmp_ = tmp;
  return WriteStatus::kOk;
}

bool ReplacingFile::write(const std::string& piece) {
  ok_ = ok_ && fd_ >= 0 && write_all(fd_, piece);
  return ok_;
}

WriteStatus ReplacingFile::commit() {
  if (fd_ < 0) return WriteStatus::kWriteError;
  const int fd = fd_;
  fd_ = -1;
  if (tmp_.empty()) {  // a special file, written directly
    const bool closed = ::close(fd) == 0;
    return ok_ && closed ? WriteStatus::kOk : WriteStatus::kWriteError;
  }
  bool ok = (::fsync(fd) == 0) && ok_;
  // mkstemp creates the file for its owner only. A replaced file keeps its own
  // mode (a private file must not become readable by others) and, where we
  // may, its owner; a new file gets the usual mode.
  if (replacing_) {
    if (::fchown(fd, static_cast<uid_t>(old_uid_), static_cast<gid_t>(old_gid_)) != 0) {
      // Not permitted for an ordinary user: the file becomes theirs, as a
      // file written anew would.
    }
    ::fchmod(fd, static_cast<mode_t>(old_mode_));
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(tmp_.c_str(), target_.c_str()) == 0) {
    tmp_.clear();
    return WriteStatus::kOk;
  }
  return WriteStatus::kWriteError;  // the destructor removes the temporary file
}

WriteStatus write_file_replacing(const std::string& path, const std::string& contents) {
  ReplacingFile file;
  if (const WriteStatus opened = file.open(path); opened != WriteStatus::kOk) return opened;
  file.write(contents);
  return file.commit();
}

WriteStatus export_plane_partition(const std::string& path, const PlanePartition& pp) {
  std::ostringstream os;
  write_plane_partition(os, pp);
  return write_file_replacing(path, os.str());
}

}  // namespace lozengia
