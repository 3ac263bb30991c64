// Files as the tests see them: whole contents, and the conditions under which
// writes fail (a file size limit standing in for a full disk, an unprivileged
// identity for permissions that root would ignore).
#pragma once

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace lozengia::testing {

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream is(path, std::ios::binary);
  std::stringstream ss;
  ss << is.rdbuf();
  return ss.str();
}

inline void write_file(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// While it lives, no file of this process can grow past `bytes`: a write
// beyond that fails with EFBIG, as on a full disk, instead of raising SIGXFSZ.
// Only the soft limit is lowered, so the old one can be restored.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    ok_ = ::getrlimit(RLIMIT_FSIZE, &old_) == 0;
    if (ok_) {
      struct rlimit lim = old_;
      lim.rlim_cur = bytes;
      ok_ = ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
  }
  ~FileSizeLimit() {
    if (ok_) ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool active() const { return ok_; }

 private:
  struct rlimit old_ {};
  sighandler_t old_handler_ = SIG_DFL;
  bool ok_ = false;
};

// Runs `body` in a child process (for identities that must not leak into the
// other tests) and returns its exit status; 100 + n when the child died of
// signal n.
inline int in_child(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// An unprivileged identity: "nobody" on Debian. Root may write anywhere, so the
// permission cases drop to it (in a child) when the tests run as root.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

inline bool become_unprivileged() {
  if (::geteuid() != 0) return true;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNogroup) == 0 && ::setuid(kNobody) == 0;
}

}  // namespace lozengia::testing
