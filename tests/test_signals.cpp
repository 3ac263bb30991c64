// What a program's process does around the files it writes: a signal that
// would end it undoes the files under way (every such signal, at any moment,
// also between a temporary file's creation and its rename), SIGPIPE and
// SIGXFSZ make the write fail instead, and standard descriptors closed at
// start are never taken by a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "render/interrupt_cleanup.h"
#include "render/output_file.h"
#include "render/standard_descriptors.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace lozengia {
namespace {

namespace fs = std::filesystem;
using testing::become_unprivileged;
using testing::in_child;
using testing::kNobody;
using testing::read_file;
constexpr int kCouldNotDrop = 77;

const std::string kOld = "the user's old file, which must survive\n";

// Large enough that writing it takes several system calls.
std::string big_text() {
  std::string s;
  for (int k = 0; s.size() < 300 * 1024; ++k) s += "line " + std::to_string(k) + " of the text\n";
  return s;
}

class Signals : public ::testing::Test {
 protected:
  fs::path old_file(const fs::path& p, mode_t mode = 0644) {
    testing::write_file(p, kOld);
    ::chmod(p.c_str(), mode);
    return p;
  }
  std::size_t entries(const fs::path& d) const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(d), {}));
  }
  testing::TempDir temp{"lozengia-signals", 0777};  // reachable by the unprivileged child
  const fs::path dir = temp.path();
};

int child_status(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFSIGNALED(status) ? 100 + WTERMSIG(status) : WEXITSTATUS(status);
}

// A signal that would end the program, while files are under way: temporary
// files are removed and a file written in place gets its old content back,
// then the program ends as the signal would have ended it. SIGPIPE and
// SIGXFSZ are ignored instead, so that the write fails; a signal ignored on
// entry stays ignored.
TEST_F(Signals, AnEndingSignalUndoesTheFilesUnderWay) {
  const fs::path ro = dir / "ro", tmp = dir / "tmp";
  fs::create_directories(ro);
  fs::create_directories(tmp);
  ::chmod(tmp.c_str(), 0777);
  const fs::path kept = old_file(dir / "kept.txt", 0666), in_place = old_file(ro / "pp.txt");
  const uid_t owner = ::geteuid() == 0 ? kNobody : ::geteuid();
  ASSERT_EQ(::chown(in_place.c_str(), owner, -1), 0);
  ::chmod(ro.c_str(), 0555);
  for (const int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU,
                        SIGVTALRM, SIGPROF, SIGRTMIN + 3}) {
    const int status = in_child([&] {
      if (!become_unprivileged() || ::access(ro.c_str(), W_OK) == 0) return kCouldNotDrop;
      ::setenv("TMPDIR", tmp.c_str(), 1);
      const struct rlimit no_core {};
      ::setrlimit(RLIMIT_CORE, &no_core);
      ::signal(sig, SIG_DFL);
      const InterruptCleanup cleanup;
      ReplacingFile a, b, c;
      if (a.open(kept.string()) != WriteStatus::kOk ||
          b.open((dir / "new.svg").string()) != WriteStatus::kOk ||
          c.open(in_place.string()) != WriteStatus::kOk)
        return 1;
      a.write("half");
      b.write("<svg");
      c.write(big_text());
      if (read_file(in_place).substr(0, 4) != "line") return 2;
      ::raise(sig);
      return 3;
    });
    if (status == kCouldNotDrop) GTEST_SKIP() << "could not run as an unprivileged user";
    EXPECT_EQ(status, 100 + sig) << strsignal(sig);
    EXPECT_EQ(read_file(kept), kOld) << strsignal(sig);
    EXPECT_EQ(read_file(in_place), kOld) << strsignal(sig);
    EXPECT_EQ(entries(dir), 3u) << strsignal(sig) << ": a temporary file was left";
    EXPECT_EQ(entries(tmp), 0u) << strsignal(sig) << ": a copy was left";
  }

  const int ignored = in_child([&] {
    ::signal(SIGHUP, SIG_IGN);  // as under nohup
    const InterruptCleanup cleanup;
    ReplacingFile a;
    if (a.open(kept.string()) != WriteStatus::kOk) return 1;
    a.write("new");
    ::raise(SIGHUP);
    if (a.commit() != WriteStatus::kOk) return 2;
    // Taken over while it lived only.
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    if (now.sa_handler == SIG_DFL) return 3;
    // A pipe without a reader and the file size limit: the writes fail.
    int fds[2];
    if (::pipe(fds) != 0) return 9;
    ::close(fds[0]);
    if (::write(fds[1], "x", 1) >= 0 || errno != EPIPE) return 4;
    struct rlimit lim {};
    ::getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &lim);
    const int fd = ::open((dir / "big").c_str(), O_WRONLY | O_CREAT, 0600);
    const std::string kib(4096, 'x');
    if (::write(fd, kib.data(), kib.size()) != 1024 || ::write(fd, "x", 1) >= 0 || errno != EFBIG)
      return 5;
    ::raise(SIGINT);  // committed: the file is the new one now
    return 0;
  });
  EXPECT_EQ(ignored, 100 + SIGINT) << "1..5: the check that failed";
  EXPECT_EQ(read_file(kept), "new") << "an ignored signal or a late one undid the file";
}

// Pictures written one after another while a signal may come at any moment,
// also between a temporary file's creation and its rename: whenever it comes,
// the file is the old one or a whole new one, and no temporary file is left.
TEST_F(Signals, ASignalAtAnyMomentOfAReplacementLeavesNoTrace) {
  const fs::path target = old_file(dir / "p.png");
  const std::string pictures[2] = {std::string(256 * 1024, 'a'), std::string(256 * 1024, 'b')};
  for (int round = 0; round < 20; ++round) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::signal(SIGUSR1, SIG_DFL);
      const InterruptCleanup cleanup;
      for (int k = 0;; ++k) write_file_replacing(target.string(), pictures[k % 2]);
    }
    ::usleep(static_cast<useconds_t>(2000 + round * 1700));
    ::kill(pid, SIGUSR1);
    EXPECT_EQ(child_status(pid), 100 + SIGUSR1);
    const std::string left = read_file(target);
    EXPECT_TRUE(left == kOld || left == pictures[0] || left == pictures[1])
        << "round " << round << ": " << left.size() << " bytes";
    EXPECT_EQ(entries(dir), 1u) << "round " << round << ": a temporary file was left";
  }
}

// Descriptors closed at start are opened on /dev/null, so that no file the
// program opens takes their numbers; standard output closed at start is still
// refused as a target.
TEST_F(Signals, ClosedStandardDescriptorsAreNeverTakenByAFile) {
  const fs::path made = dir / "made.txt";
  const int status = in_child([&] {
    ::close(1);
    ::close(2);
    if (!open_closed_standard_descriptors()) return 1;
    if (!closed_at_start(1) || !closed_at_start(2) || closed_at_start(0)) return 2;
    ReplacingFile f;
    if (f.open(made.string()) != WriteStatus::kOk) return 3;
    if (::write(2, "a message\n", 10) != 10) return 4;  // to /dev/null, not into the file
    f.write("samples\n");
    if (f.commit() != WriteStatus::kOk) return 5;
    if (output_kind("-") != OutputKind::kRefused) return 6;
    if (write_file_replacing("/dev/stderr", "x").error() != EBADF) return 7;
    return 0;
  });
  EXPECT_EQ(status, 0) << "the check that failed, numbered in the child";
  EXPECT_EQ(read_file(made), "samples\n");
}

}  // namespace
}  // namespace lozengia
