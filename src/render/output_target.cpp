#include "render/output_target.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "render/standard_descriptors.h"

namespace lozengia {

namespace {

bool all_digits(const std::string& s) {
  if (s.empty() || s.size() > 6) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// The names of this process's own descriptors. Opening them anew would reopen
// a redirected file at its start (and, replaced, a rename would cut it off
// from the shell's redirection); writing through the descriptor itself keeps
// exactly what the shell set up.
int named_descriptor(const std::string& p) {
  if (p == "/dev/stdout") return 1;
  if (p == "/dev/stderr") return 2;
  const std::string self = "/proc/" + std::to_string(::getpid()) + "/fd/";
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                    std::string("/proc/thread-self/fd/"), self}) {
    if (p.compare(0, prefix.size(), prefix) == 0) {
      const std::string rest = p.substr(prefix.size());
      if (all_digits(rest)) return std::stoi(rest);
    }
  }
  return -1;
}

OutputTarget refused(int error) {
  OutputTarget t;
  t.error = error;
  return t;
}

// What identifies the file or stream a target writes into: its device and
// inode, or for a new name the real path it will get.
struct Identity {
  bool known = false;
  dev_t dev = 0;
  ino_t ino = 0;
  bool null_device = false;
  std::string new_path;
};

Identity identity_of(const OutputTarget& t) {
  Identity id;
  struct stat file_info {};
  switch (t.kind) {
    case OutputTarget::kRefused:
      return id;
    case OutputTarget::kNew: {
      char* real = ::realpath(parent_folder(t.path).c_str(), nullptr);
      if (real == nullptr) return id;
      const auto slash = t.path.find_last_of('/');
      id.new_path = std::string(real) + "/" +
                    (slash == std::string::npos ? t.path : t.path.substr(slash + 1));
      std::free(real);
      id.known = true;
      return id;
    }
    case OutputTarget::kDescriptor:
      if (::fstat(t.fd, &file_info) != 0) return id;
      break;
    case OutputTarget::kRegular:
    case OutputTarget::kSpecial:
      file_info = t.file_info;
      break;
  }
  id.known = true;
  id.dev = file_info.st_dev;
  id.ino = file_info.st_ino;
  id.null_device = S_ISCHR(file_info.st_mode) && file_info.st_rdev == makedev(1, 3);
  return id;
}

}  // namespace

std::string parent_folder(const std::string& p) {
  const auto slash = p.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

OutputTarget resolve_output(const std::string& path) {
  OutputTarget t;
  if (path.empty()) return refused(ENOENT);
  if (path == "-") {
    t.kind = OutputTarget::kDescriptor;
    t.fd = STDOUT_FILENO;
    return t;
  }
  std::string p = path;
  // Follows the links one by one (rather than through realpath) so that a
  // link to a file that does not exist yet creates that file, and a link to
  // one of our descriptors is seen as such.
  for (int hops = 0;; ++hops) {
    if (const int fd = named_descriptor(p); fd >= 0) {
      t.kind = OutputTarget::kDescriptor;
      t.fd = fd;
      return t;
    }
    struct stat file_info {};
    if (::lstat(p.c_str(), &file_info) != 0) {
      // No permission, a file used as a folder, a name too long...
      if (errno != ENOENT) return refused(errno);
      struct stat dir {};
      if (::stat(parent_folder(p).c_str(), &dir) != 0) return refused(errno);
      if (!S_ISDIR(dir.st_mode)) return refused(ENOTDIR);
      t.kind = OutputTarget::kNew;
      t.path = p;
      return t;
    }
    if (!S_ISLNK(file_info.st_mode)) {
      if (S_ISDIR(file_info.st_mode)) return refused(EISDIR);
      t.kind = S_ISREG(file_info.st_mode) ? OutputTarget::kRegular : OutputTarget::kSpecial;
      t.path = p;
      t.file_info = file_info;
      return t;
    }
    if (hops == 40) return refused(ELOOP);
    char link[PATH_MAX];
    const ssize_t n = ::readlink(p.c_str(), link, sizeof link - 1);
    if (n <= 0) return refused(n < 0 ? errno : ENOENT);
    const std::string to(link, static_cast<std::size_t>(n));
    p = to[0] == '/' ? to : parent_folder(p) + "/" + to;
  }
}

bool writable_descriptor(int fd) {
  if (closed_at_start(fd)) return false;
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
}

bool sticky_forbids_rename(const OutputTarget& t) {
  struct stat dir {};
  if (::stat(parent_folder(t.path).c_str(), &dir) != 0) return false;
  const uid_t me = ::geteuid();
  return (dir.st_mode & S_ISVTX) != 0 && me != 0 && t.file_info.st_uid != me && dir.st_uid != me;
}

OutputKind output_kind(const std::string& path) {
  const OutputTarget t = resolve_output(path);
  switch (t.kind) {
    case OutputTarget::kRefused:
      return OutputKind::kRefused;
    case OutputTarget::kDescriptor:
      return writable_descriptor(t.fd) ? OutputKind::kStream : OutputKind::kRefused;
    case OutputTarget::kSpecial:
      return ::access(t.path.c_str(), W_OK) == 0 ? OutputKind::kStream : OutputKind::kRefused;
    case OutputTarget::kRegular:
      return ::access(t.path.c_str(), W_OK) == 0 ? OutputKind::kFile : OutputKind::kRefused;
    case OutputTarget::kNew:
      return ::access(parent_folder(t.path).c_str(), W_OK | X_OK) == 0 ? OutputKind::kFile
                                                                       : OutputKind::kRefused;
  }
  return OutputKind::kRefused;
}

bool same_output(const std::string& a, const std::string& b) {
  const Identity x = identity_of(resolve_output(a));
  const Identity y = identity_of(resolve_output(b));
  if (!x.known || !y.known) return false;
  if (!x.new_path.empty() || !y.new_path.empty()) return x.new_path == y.new_path;
  return x.dev == y.dev && x.ino == y.ino && !x.null_device;
}

}  // namespace lozengia
