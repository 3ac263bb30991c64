#include "render/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "render/pending_files.h"
#include "render/side_files.h"

namespace lozengia {

namespace {

// SIGPIPE would end the program when the reader of a pipe has gone, SIGXFSZ
// when a write passes the file size limit (ulimit -f). Blocked in this thread
// for the write, the write fails instead (EPIPE, EFBIG) and is reported as a
// write error. A signal our own write raised is taken off the pending set
// before the mask is restored.
class WriteSignalsHeld {
 public:
  WriteSignalsHeld() {
    sigemptyset(&held_);
    sigaddset(&held_, SIGPIPE);
    sigaddset(&held_, SIGXFSZ);
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) == 0) {
      pipe_was_pending_ = sigismember(&pending, SIGPIPE) == 1;
      size_was_pending_ = sigismember(&pending, SIGXFSZ) == 1;
    }
    blocked_ = pthread_sigmask(SIG_BLOCK, &held_, &old_) == 0;
  }
  ~WriteSignalsHeld() {
    if (!blocked_) return;
    if (failed_ == EPIPE && !pipe_was_pending_) take(SIGPIPE);
    if (failed_ == EFBIG && !size_was_pending_) take(SIGXFSZ);
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  WriteSignalsHeld(const WriteSignalsHeld&) = delete;
  WriteSignalsHeld& operator=(const WriteSignalsHeld&) = delete;
  void failed(int error) { failed_ = error; }

 private:
  static void take(int sig) {
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    const timespec none{0, 0};
    while (sigtimedwait(&one, nullptr, &none) < 0 && errno == EINTR) {
    }
  }
  sigset_t held_, old_;
  bool pipe_was_pending_ = false, size_was_pending_ = false, blocked_ = false;
  int failed_ = 0;
};

// Writes everything; false with errno set when a write fails.
bool write_all(int fd, const char* p, std::size_t left) {
  WriteSignalsHeld guard;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      const int error = errno;
      guard.failed(error);
      errno = error;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// Opens a target that is written straight in: a descriptor of ours (through
// a duplicate, so that closing it leaves ours open) or a special file.
int open_stream(const OutputTarget& t) {
  if (t.kind == OutputTarget::kDescriptor) {
    if (writable_descriptor(t.fd)) return ::fcntl(t.fd, F_DUPFD_CLOEXEC, 3);
    errno = EBADF;
    return -1;
  }
  return ::open(t.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
}

std::string base_name(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether a file must be written in place: nothing can be made beside it.
bool folder_refuses_new_files(const OutputTarget& t) {
  return sticky_forbids_rename(t) || ::access(parent_folder(t.path).c_str(), W_OK | X_OK) != 0;
}

}  // namespace

WriteStatus WriteStatus::in_place_refused(int error) {
  WriteStatus s(kOpenError, error);
  s.refused_in_place_ = true;
  return s;
}

WriteStatus WriteStatus::kept_in(int error, const std::string& copy) {
  WriteStatus s(kWriteError, error);
  s.kept_copy_ = copy;
  return s;
}

const char* write_status_message(WriteStatus::Code s) {
  switch (s) {
    case WriteStatus::kOpenError:
      return "Error while opening file";
    case WriteStatus::kWriteError:
      return "Error while writing to file";
    case WriteStatus::kOk:
      break;
  }
  return "";
}

std::string write_failure_text(const WriteStatus& s, const std::string& name) {
  std::string text = write_status_message(s);
  if (!name.empty()) text += ' ' + name;
  if (s.error() != 0) text += std::string(": ") + std::strerror(s.error());
  if (s.refused_in_place())
    text +=
        " (nothing can be made in its folder, so it would be written in place, and no copy of "
        "its old content can be kept in $TMPDIR, /var/tmp or /tmp to put back if the write "
        "fails)";
  if (!s.kept_copy().empty())
    text += "; its old content could not be put back and is kept in " + s.kept_copy();
  return text;
}

WriteStatus check_output(const std::string& path, const WriteOptions& options) {
  const OutputTarget t = resolve_output(path);
  switch (t.kind) {
    case OutputTarget::kRefused:
      return {WriteStatus::kOpenError, t.error};
    case OutputTarget::kDescriptor:
      if (writable_descriptor(t.fd)) return {};
      return {WriteStatus::kOpenError, EBADF};
    case OutputTarget::kSpecial:
      if (::access(t.path.c_str(), W_OK) == 0) return {};
      return {WriteStatus::kOpenError, errno};
    case OutputTarget::kNew:
      if (::access(parent_folder(t.path).c_str(), W_OK | X_OK) == 0) return {};
      return {WriteStatus::kOpenError, errno};
    case OutputTarget::kRegular:
      break;
  }
  if (::access(t.path.c_str(), W_OK) != 0) return {WriteStatus::kOpenError, errno};
  if (!folder_refuses_new_files(t) || options.in_place_without_copy) return {};
  if (::access(t.path.c_str(), R_OK) != 0) return WriteStatus::in_place_refused(errno);
  if (const int error = room_for_old_copy(t.file_info.st_size); error != 0)
    return WriteStatus::in_place_refused(error);
  return {};
}

ReplacingFile::~ReplacingFile() {
  const WriteStatus given_up = abandon();
  if (!given_up.kept_copy().empty()) {
    const std::string text = "lozengia: the old content of " + target_ +
                             " could not be put back; it is kept in " + given_up.kept_copy() + "\n";
    if (::write(STDERR_FILENO, text.data(), text.size()) < 0) {
      // Nobody to tell.
    }
  }
}

WriteStatus ReplacingFile::open(const std::string& path, const WriteOptions& options) {
  if (mode_ != Mode::kClosed || fd_ >= 0) return {WriteStatus::kOpenError, EBUSY};
  ok_ = true;
  error_ = 0;
  written_ = 0;
  const OutputTarget t = resolve_output(path);
  switch (t.kind) {
    case OutputTarget::kRefused:
      return {WriteStatus::kOpenError, t.error};
    case OutputTarget::kDescriptor:
    case OutputTarget::kSpecial:
      fd_ = open_stream(t);
      if (fd_ < 0) return {WriteStatus::kOpenError, errno};
      mode_ = Mode::kStream;
      return {};
    case OutputTarget::kRegular:
      // A file that may not be written is not replaced either, even where
      // the folder would allow a new file beside it.
      if (::access(t.path.c_str(), W_OK) != 0) return {WriteStatus::kOpenError, errno};
      replacing_ = true;
      old_uid_ = t.file_info.st_uid;
      old_gid_ = t.file_info.st_gid;
      old_mode_ = t.file_info.st_mode & 07777;
      if (sticky_forbids_rename(t)) return open_in_place(t, options);
      break;
    case OutputTarget::kNew:
      replacing_ = false;
      break;
  }
  target_ = t.path;
  {
    // Created and recorded with every signal held back, so that an interrupt
    // cannot come between the two and leave the file behind. A replacement
    // stays private until it has its final mode.
    FileStep step;
    fd_ = create_side_file(parent_folder(target_), base_name(target_), O_WRONLY,
                           replacing_ ? 0600 : 0666, tmp_);
    if (fd_ >= 0) place_ = pend_file(tmp_);
  }
  if (fd_ < 0) {
    // The folder may not be written: the file itself may still be.
    if (replacing_ && (errno == EACCES || errno == EPERM || errno == ENAMETOOLONG))
      return open_in_place(t, options);
    return {WriteStatus::kOpenError, errno};
  }
  mode_ = Mode::kReplace;
  return {};
}

// A copy of the old content is kept first; the file is then written from its
// start and cut to what was written at commit, so that a run given up before
// its first write leaves it untouched.
WriteStatus ReplacingFile::open_in_place(const OutputTarget& t, const WriteOptions& options) {
  target_ = t.path;
  fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) return {WriteStatus::kOpenError, errno};
  OldCopy copy;
  const int source = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (source >= 0) {
    copy = keep_old_copy(source, target_, t.file_info.st_size);
    ::close(source);
  } else {
    copy.error = errno;
  }
  if (copy.fd < 0) {
    if (options.in_place_without_copy) {
      mode_ = Mode::kInPlaceWithoutCopy;
      return {};
    }
    ::close(fd_);
    fd_ = -1;
    return WriteStatus::in_place_refused(copy.error);
  }
  copy_fd_ = copy.fd;
  place_ = copy.place;
  {
    FileStep step;
    pend_in_place(place_, target_, fd_, copy_fd_, copy.size);
  }
  mode_ = Mode::kInPlace;
  return {};
}

bool ReplacingFile::write(const std::string& piece) { return write(piece.data(), piece.size()); }

bool ReplacingFile::write(const char* data, std::size_t size) {
  if (!ok_ || fd_ < 0) return false;
  bool written;
  if (mode_ == Mode::kInPlace) {
    // Put back whole or not at all: an interrupt waits for this write.
    FileStep step;
    note_overwritten(place_, static_cast<off_t>(written_ + size));
    written = write_all(fd_, data, size);
  } else {
    // Without a copy, the file is emptied first, so that it never holds the
    // new content followed by the rest of the old.
    if (mode_ == Mode::kInPlaceWithoutCopy && written_ == 0 && ::ftruncate(fd_, 0) != 0) {
      written = false;
    } else {
      written = write_all(fd_, data, size);
    }
  }
  if (!written) {
    ok_ = false;
    error_ = errno;
    return false;
  }
  written_ += size;
  return true;
}

void ReplacingFile::close_files() {
  if (fd_ >= 0) ::close(fd_);
  if (copy_fd_ >= 0) ::close(copy_fd_);
  fd_ = copy_fd_ = -1;
  mode_ = Mode::kClosed;
}

WriteStatus ReplacingFile::failure() const {
  if (ok_) return {};
  return {WriteStatus::kWriteError, error_};
}

WriteStatus ReplacingFile::commit() {
  if (fd_ < 0) return {WriteStatus::kWriteError, EBADF};
  switch (mode_) {
    case Mode::kStream: {
      const bool closed = ::close(fd_) == 0;
      const int error = ok_ ? errno : error_;
      fd_ = -1;
      mode_ = Mode::kClosed;
      if (ok_ && closed) return {};
      return {WriteStatus::kWriteError, error};
    }
    case Mode::kInPlace:
    case Mode::kInPlaceWithoutCopy:
      return commit_in_place();
    case Mode::kReplace:
    case Mode::kClosed:
      break;
  }
  return commit_replace();
}

WriteStatus ReplacingFile::commit_in_place() {
  bool ok = ok_;
  int error = error_;
  {
    FileStep step;
    if (ok && (::ftruncate(fd_, static_cast<off_t>(written_)) != 0 || ::fsync(fd_) != 0)) {
      ok = false;
      error = errno;
    }
    if (ok) drop_file(place_);
  }
  if (!ok) {
    const WriteStatus given_up = abandon();
    if (!given_up.kept_copy().empty()) return WriteStatus::kept_in(error, given_up.kept_copy());
    return {WriteStatus::kWriteError, error};
  }
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!closed) error = errno;
  close_files();
  if (!closed) return {WriteStatus::kWriteError, error};
  return {};
}

WriteStatus ReplacingFile::commit_replace() {
  bool ok = ok_;
  int error = error_;
  auto failed = [&](bool call_ok) {
    if (!call_ok && ok) {
      ok = false;
      error = errno;
    }
  };
  failed(::fsync(fd_) == 0);
  // A replaced file keeps its own mode (a private file must not become
  // readable by others) and, where we may, its owner. A new file was created
  // with the mode the umask gives it.
  if (replacing_) {
    if (::fchown(fd_, static_cast<uid_t>(old_uid_), static_cast<gid_t>(old_gid_)) != 0) {
      // Not permitted for an ordinary user: the file becomes theirs, as a
      // file written anew would.
    }
    failed(::fchmod(fd_, static_cast<mode_t>(old_mode_)) == 0);
  }
  failed(::close(fd_) == 0);
  fd_ = -1;
  if (ok) {
    FileStep step;
    failed(::rename(tmp_.c_str(), target_.c_str()) == 0);
    if (ok) {
      drop_file(place_);
      tmp_.clear();
    }
  }
  if (ok) {
    mode_ = Mode::kClosed;
    return {};
  }
  abandon();
  return {WriteStatus::kWriteError, error};
}

WriteStatus ReplacingFile::abandon() {
  WriteStatus status;
  if (mode_ == Mode::kReplace && !tmp_.empty()) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    FileStep step;
    if (place_ >= 0)
      undo_file(place_);
    else
      ::unlink(tmp_.c_str());
    tmp_.clear();
  } else if (mode_ == Mode::kInPlace && place_ >= 0) {
    std::string kept;
    FileStep step;
    if (!undo_file(place_, &kept)) status = WriteStatus::kept_in(errno, kept);
  }
  close_files();
  return status;
}

HeldStream::~HeldStream() {
  if (fd_ >= 0) ::close(fd_);
}

WriteStatus HeldStream::open(const std::string& path) {
  const OutputTarget t = resolve_output(path);
  if (t.kind != OutputTarget::kSpecial && t.kind != OutputTarget::kDescriptor)
    return {WriteStatus::kOpenError, t.kind == OutputTarget::kRefused ? t.error : EINVAL};
  fd_ = open_stream(t);
  if (fd_ < 0) return {WriteStatus::kOpenError, errno};
  return {};
}

std::string HeldStream::name() const { return "/dev/fd/" + std::to_string(fd_); }

WriteStatus write_file_replacing(const std::string& path, const char* data, std::size_t size,
                                 const WriteOptions& options) {
  ReplacingFile file;
  if (const WriteStatus opened = file.open(path, options); opened != WriteStatus::kOk)
    return opened;
  file.write(data, size);
  return file.commit();
}

WriteStatus write_file_replacing(const std::string& path, const std::string& contents,
                                 const WriteOptions& options) {
  return write_file_replacing(path, contents.data(), contents.size(), options);
}

WriteStatus append_to_file(const std::string& path, const std::string& contents) {
  const OutputTarget t = resolve_output(path);
  int fd = -1;
  switch (t.kind) {
    case OutputTarget::kRefused:
      return {WriteStatus::kOpenError, t.error};
    case OutputTarget::kDescriptor:
    case OutputTarget::kSpecial:
      fd = open_stream(t);
      break;
    case OutputTarget::kRegular:
    case OutputTarget::kNew:
      fd = ::open(t.path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
      break;
  }
  if (fd < 0) return {WriteStatus::kOpenError, errno};
  int error = 0;
  if (!write_all(fd, contents.data(), contents.size())) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) return {WriteStatus::kWriteError, error};
  return {};
}

}  // namespace lozengia
