#include "render/side_files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "render/pending_files.h"

namespace lozengia {

namespace {

constexpr std::size_t kSuffix = 7;  // ".XXXXXX"

// The longest name `folder` takes (255 on the usual file systems).
std::size_t longest_name(const std::string& folder) {
  const long n = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return n > 0 ? static_cast<std::size_t>(n) : NAME_MAX;
}

// `name` cut to at most `bytes` bytes, never inside a UTF-8 character.
std::string cut_name(const std::string& name, std::size_t bytes) {
  if (name.size() <= bytes) return name;
  std::size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
  return name.substr(0, n);
}

// Where copies of old contents may go, in the order tried.
std::vector<std::string> copy_folders() {
  std::vector<std::string> folders;
  if (const char* t = std::getenv("TMPDIR"); t != nullptr && t[0] != '\0') folders.push_back(t);
  for (const char* f : {"/var/tmp", "/tmp"})
    if (folders.empty() || folders[0] != f) folders.push_back(f);
  return folders;
}

// Room for `size` more bytes on the file system of `fd` (or `path`), with a
// little to spare for the file system's own bookkeeping.
bool has_room(const struct statvfs& fs, off_t size) {
  const unsigned long long free_bytes =
      static_cast<unsigned long long>(fs.f_bavail) * static_cast<unsigned long long>(fs.f_frsize);
  return free_bytes >= static_cast<unsigned long long>(size) + (1u << 20);
}

// Copies `source` whole into `copy`; the number of bytes, or -1.
off_t copy_contents(int source, int copy) {
  off_t in = 0, out = 0;
  // In the kernel where it can (a reflink on file systems that have them).
  for (;;) {
    const ssize_t n = ::copy_file_range(source, &in, copy, &out, std::size_t{1} << 30, 0);
    if (n == 0) return out;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (out == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                     errno == EBADF))
      break;
    return -1;
  }
  std::vector<char> buf(std::size_t{1} << 20);
  for (;;) {
    const ssize_t n = ::pread(source, buf.data(), buf.size(), in);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) return out;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::pwrite(copy, buf.data() + done, static_cast<std::size_t>(n - done), out);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return -1;
      done += w;
      out += w;
    }
    in += n;
  }
}

}  // namespace

int create_side_file(const std::string& folder, const std::string& name, int access, mode_t mode,
                     std::string& made) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 gen{std::random_device{}() ^
                                   static_cast<uint64_t>(::getpid()) << 32 ^
                                   static_cast<uint64_t>(std::time(nullptr))};
  const std::string prefix = folder == "/" ? "/" : folder + "/";
  std::size_t room = longest_name(folder);
  if (prefix.size() + kSuffix < PATH_MAX - 1)
    room = std::min(room, PATH_MAX - 1 - prefix.size());
  else
    room = 0;
  if (room <= kSuffix) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const std::string stem = prefix + cut_name(name, room - kSuffix) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = stem;
    for (int k = 0; k < 6; ++k) candidate += kLetters[gen() % (sizeof kLetters - 1)];
    const int fd = ::open(candidate.c_str(), access | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
      made = candidate;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

OldCopy keep_old_copy(int source, const std::string& target, off_t size) {
  const auto slash = target.find_last_of('/');
  const std::string name =
      (slash == std::string::npos ? target : target.substr(slash + 1)) + ".old";
  OldCopy copy;
  // A folder that is full says more than one that may not be written, and
  // that one more than one that is not there.
  int error = 0;
  for (const std::string& folder : copy_folders()) {
    {
      FileStep step;
      copy.fd = create_side_file(folder, name, O_RDWR, 0600, copy.name);
      if (copy.fd >= 0) {
        copy.place = pend_file(copy.name);
        // Unrecorded, the copy could not be put back after an interrupt.
        if (copy.place < 0) {
          ::close(copy.fd);
          ::unlink(copy.name.c_str());
          copy.fd = -1;
          errno = EMFILE;
        }
      }
    }
    if (copy.fd < 0) {
      if (error == 0 || error == ENOENT) error = errno;
      continue;
    }
    struct statvfs fs {};
    error = ENOSPC;
    if (::fstatvfs(copy.fd, &fs) == 0 && has_room(fs, size)) {
      copy.size = copy_contents(source, copy.fd);
      if (copy.size >= 0 && ::fdatasync(copy.fd) == 0) return copy;
      error = errno;
      copy.size = 0;
    }
    ::close(copy.fd);
    copy.fd = -1;
    FileStep step;
    undo_file(copy.place);
  }
  copy.error = error != 0 ? error : ENOSPC;
  copy.name.clear();
  return copy;
}

int room_for_old_copy(off_t size) {
  // No room anywhere, unless no folder may be written at all.
  int error = 0;
  for (const std::string& folder : copy_folders()) {
    struct statvfs fs {};
    if (::access(folder.c_str(), W_OK | X_OK) != 0 || ::statvfs(folder.c_str(), &fs) != 0) {
      if (error == 0) error = errno;
      continue;
    }
    if (has_room(fs, size)) return 0;
    error = ENOSPC;
  }
  return error != 0 ? error : ENOSPC;
}

}  // namespace lozengia
