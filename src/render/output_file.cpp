#include "render/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <random>

namespace lozengia {

namespace {

// The temporary files open now, where a signal handler can read them: each
// slot's name is written while the slot is taken but not yet armed, and read
// only while armed. Claiming, arming and disarming are lock-free atomics.
constexpr int kTemporarySlots = 8;
struct TemporarySlot {
  std::atomic<bool> taken{false};
  std::atomic<bool> armed{false};
  char path[PATH_MAX + 16];
};
TemporarySlot g_temporaries[kTemporarySlots];
static_assert(std::atomic<bool>::is_always_lock_free);

// Remembers `path` for remove_open_temporaries(); -1 when every slot is taken
// (the file is then only removed by its ReplacingFile) or the name too long.
int remember_temporary(const std::string& path) {
  if (path.size() >= sizeof g_temporaries[0].path) return -1;
  for (int k = 0; k < kTemporarySlots; ++k) {
    TemporarySlot& slot = g_temporaries[k];
    if (slot.taken.exchange(true)) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.armed.store(true);
    return k;
  }
  return -1;
}

// After the file was renamed or removed: a handler running in between finds
// no file under the name, which is harmless.
void forget_temporary(int& slot) {
  if (slot < 0) return;
  g_temporaries[slot].armed.store(false);
  g_temporaries[slot].taken.store(false);
  slot = -1;
}

// What a name turned out to be, once its symbolic links were followed.
struct Target {
  enum Kind { kRefused, kNew, kRegular, kSpecial, kDescriptor } kind = kRefused;
  std::string path;   // the name at the end of the links
  int fd = -1;        // kDescriptor: the descriptor it names
  struct stat st {};  // kRegular, kSpecial
};

std::string parent_of(const std::string& p) {
  const auto slash = p.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

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

Target classify(const std::string& path) {
  Target t;
  if (path.empty()) return t;
  if (path == "-") {
    t.kind = Target::kDescriptor;
    t.fd = STDOUT_FILENO;
    return t;
  }
  std::string p = path;
  // Follows the links one by one (rather than through realpath) so that a
  // link to a file that does not exist yet creates that file, and a link to
  // one of our descriptors is seen as such.
  for (int hops = 0;; ++hops) {
    if (const int fd = named_descriptor(p); fd >= 0) {
      t.kind = Target::kDescriptor;
      t.fd = fd;
      return t;
    }
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) {
      if (errno != ENOENT) return t;  // no permission, a file used as a folder...
      struct stat dir {};
      if (::stat(parent_of(p).c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode)) return t;
      t.kind = Target::kNew;
      t.path = p;
      return t;
    }
    if (!S_ISLNK(st.st_mode)) {
      if (S_ISDIR(st.st_mode)) return t;
      t.kind = S_ISREG(st.st_mode) ? Target::kRegular : Target::kSpecial;
      t.path = p;
      t.st = st;
      return t;
    }
    if (hops == 40) return t;  // a loop of links
    char link[PATH_MAX];
    const ssize_t n = ::readlink(p.c_str(), link, sizeof link - 1);
    if (n <= 0) return t;
    const std::string to(link, static_cast<std::size_t>(n));
    p = to[0] == '/' ? to : parent_of(p) + "/" + to;
  }
}

// Whether a descriptor of ours is open for writing.
bool writable_descriptor(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
}

// Renaming over a file in a sticky folder (such as /tmp) is allowed only to
// the file's or the folder's owner: anyone else who may write the file writes
// it in place.
bool sticky_forbids_rename(const Target& t) {
  struct stat dir {};
  if (::stat(parent_of(t.path).c_str(), &dir) != 0) return false;
  const uid_t me = ::geteuid();
  return (dir.st_mode & S_ISVTX) != 0 && me != 0 && t.st.st_uid != me && dir.st_uid != me;
}

// A temporary file beside `target` ("target.XXXXXX"), created with `mode`
// through open() itself: the kernel applies the umask (or the folder's
// default ACL), so the mode of a new file is learnt without reading the
// process-wide umask, which other threads may be using.
int create_beside(const std::string& target, mode_t mode, std::string& name) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 gen{std::random_device{}() ^
                                   static_cast<uint64_t>(::getpid()) << 32 ^
                                   static_cast<uint64_t>(std::time(nullptr))};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = target + ".";
    for (int k = 0; k < 6; ++k) candidate += kLetters[gen() % (sizeof kLetters - 1)];
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
      name = candidate;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

// SIGPIPE would end the program when the reader of a pipe has gone; blocked
// in this thread for the write, the write fails with EPIPE instead and is
// reported as a write error. A SIGPIPE our own write raised is taken off the
// pending set before the mask is restored.
class SigpipeBlocked {
 public:
  SigpipeBlocked() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    was_pending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    blocked_ = pthread_sigmask(SIG_BLOCK, &pipe_, &old_) == 0;
  }
  ~SigpipeBlocked() {
    if (!blocked_) return;
    if (broke_ && !was_pending_) {
      const timespec none{0, 0};
      while (sigtimedwait(&pipe_, nullptr, &none) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeBlocked(const SigpipeBlocked&) = delete;
  SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;
  void broke() { broke_ = true; }

 private:
  sigset_t pipe_, old_;
  bool was_pending_ = false, blocked_ = false, broke_ = false;
};

bool write_all(int fd, const char* p, std::size_t left) {
  SigpipeBlocked guard;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EPIPE) guard.broke();
      return false;
    }
    if (n == 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// Opens a target that is written straight in: a descriptor of ours (through
// a duplicate, so that closing it leaves ours open) or a special file.
int open_stream(const Target& t) {
  if (t.kind == Target::kDescriptor)
    return writable_descriptor(t.fd) ? ::fcntl(t.fd, F_DUPFD_CLOEXEC, 3) : -1;
  return ::open(t.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
}

}  // namespace

OutputKind output_kind(const std::string& path) {
  const Target t = classify(path);
  switch (t.kind) {
    case Target::kRefused:
      return OutputKind::kRefused;
    case Target::kDescriptor:
      return writable_descriptor(t.fd) ? OutputKind::kStream : OutputKind::kRefused;
    case Target::kSpecial:
      return ::access(t.path.c_str(), W_OK) == 0 ? OutputKind::kStream : OutputKind::kRefused;
    case Target::kRegular:
      return ::access(t.path.c_str(), W_OK) == 0 ? OutputKind::kFile : OutputKind::kRefused;
    case Target::kNew:
      return ::access(parent_of(t.path).c_str(), W_OK | X_OK) == 0 ? OutputKind::kFile
                                                                   : OutputKind::kRefused;
  }
  return OutputKind::kRefused;
}

void remove_open_temporaries() noexcept {
  for (TemporarySlot& slot : g_temporaries)
    if (slot.armed.load()) ::unlink(slot.path);
}

ReplacingFile::~ReplacingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!tmp_.empty()) ::unlink(tmp_.c_str());
  forget_temporary(slot_);
}

// Creates the temporary file and makes it known to remove_open_temporaries()
// with every signal held back in this thread meanwhile, so that an interrupt
// cannot come between the two and leave the file behind.
int ReplacingFile::create_temporary(unsigned mode) {
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  const int fd = create_beside(target_, static_cast<mode_t>(mode), tmp_);
  const int saved = errno;
  if (fd >= 0) slot_ = remember_temporary(tmp_);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = saved;
  return fd;
}

WriteStatus ReplacingFile::open(const std::string& path) {
  if (mode_ != Mode::kClosed || fd_ >= 0) return WriteStatus::kOpenError;
  const Target t = classify(path);
  switch (t.kind) {
    case Target::kRefused:
      return WriteStatus::kOpenError;
    case Target::kDescriptor:
    case Target::kSpecial:
      fd_ = open_stream(t);
      if (fd_ < 0) return WriteStatus::kOpenError;
      mode_ = Mode::kStream;
      return WriteStatus::kOk;
    case Target::kRegular:
      // A file that may not be written is not replaced either, even where
      // the folder would allow a new file beside it.
      if (::access(t.path.c_str(), W_OK) != 0) return WriteStatus::kOpenError;
      target_ = t.path;
      replacing_ = true;
      old_uid_ = t.st.st_uid;
      old_gid_ = t.st.st_gid;
      old_mode_ = t.st.st_mode & 07777;
      if (sticky_forbids_rename(t)) return open_in_place();
      // The replacement stays private until it has its final mode.
      fd_ = create_temporary(0600);
      if (fd_ < 0) {
        // The folder may not be written (or the name with its suffix is too
        // long): the file itself may still be.
        if (errno == EACCES || errno == EPERM || errno == ENAMETOOLONG) return open_in_place();
        return WriteStatus::kOpenError;
      }
      mode_ = Mode::kReplace;
      return WriteStatus::kOk;
    case Target::kNew:
      target_ = t.path;
      fd_ = create_temporary(0666);
      if (fd_ < 0) return WriteStatus::kOpenError;
      mode_ = Mode::kReplace;
      return WriteStatus::kOk;
  }
  return WriteStatus::kOpenError;
}

// Written from its start and cut to what was written at commit, so that a run
// given up before its first write leaves the file untouched.
WriteStatus ReplacingFile::open_in_place() {
  fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) return WriteStatus::kOpenError;
  mode_ = Mode::kInPlace;
  return WriteStatus::kOk;
}

bool ReplacingFile::write(const std::string& piece) { return write(piece.data(), piece.size()); }

bool ReplacingFile::write(const char* data, std::size_t size) {
  ok_ = ok_ && fd_ >= 0 && write_all(fd_, data, size);
  if (ok_) written_ += size;
  return ok_;
}

WriteStatus ReplacingFile::commit() {
  if (fd_ < 0) return WriteStatus::kWriteError;
  const int fd = fd_;
  const Mode mode = mode_;
  fd_ = -1;
  mode_ = Mode::kClosed;
  switch (mode) {
    case Mode::kStream: {
      const bool closed = ::close(fd) == 0;
      return ok_ && closed ? WriteStatus::kOk : WriteStatus::kWriteError;
    }
    case Mode::kInPlace: {
      bool ok = ok_ && ::ftruncate(fd, static_cast<off_t>(written_)) == 0 && ::fsync(fd) == 0;
      ok = (::close(fd) == 0) && ok;
      return ok ? WriteStatus::kOk : WriteStatus::kWriteError;
    }
    case Mode::kReplace:
    case Mode::kClosed:
      break;
  }
  bool ok = (::fsync(fd) == 0) && ok_;
  // A replaced file keeps its own mode (a private file must not become
  // readable by others) and, where we may, its owner. A new file was created
  // with the mode the umask gives it.
  if (replacing_) {
    if (::fchown(fd, static_cast<uid_t>(old_uid_), static_cast<gid_t>(old_gid_)) != 0) {
      // Not permitted for an ordinary user: the file becomes theirs, as a
      // file written anew would.
    }
    ok = (::fchmod(fd, static_cast<mode_t>(old_mode_)) == 0) && ok;
  }
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(tmp_.c_str(), target_.c_str()) == 0) {
    tmp_.clear();
    forget_temporary(slot_);
    return WriteStatus::kOk;
  }
  return WriteStatus::kWriteError;  // the destructor removes the temporary file
}

WriteStatus write_file_replacing(const std::string& path, const char* data, std::size_t size) {
  ReplacingFile file;
  if (const WriteStatus opened = file.open(path); opened != WriteStatus::kOk) return opened;
  file.write(data, size);
  return file.commit();
}

WriteStatus write_file_replacing(const std::string& path, const std::string& contents) {
  return write_file_replacing(path, contents.data(), contents.size());
}

WriteStatus append_to_file(const std::string& path, const std::string& contents) {
  const Target t = classify(path);
  int fd = -1;
  switch (t.kind) {
    case Target::kRefused:
      return WriteStatus::kOpenError;
    case Target::kDescriptor:
    case Target::kSpecial:
      fd = open_stream(t);
      break;
    case Target::kRegular:
    case Target::kNew:
      fd = ::open(t.path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
      break;
  }
  if (fd < 0) return WriteStatus::kOpenError;
  bool ok = write_all(fd, contents.data(), contents.size());
  ok = (::close(fd) == 0) && ok;
  return ok ? WriteStatus::kOk : WriteStatus::kWriteError;
}

}  // namespace lozengia
