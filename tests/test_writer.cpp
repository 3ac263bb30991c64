// The one file writer on every kind of target: new and existing files, links,
// named pipes, descriptors, a private full-device node, folders that may not
// be written, folders as targets and folders that vanished. Each case checks
// the status, the bytes that arrived and that the target is still what it was
// (a pipe stays a pipe, a device a device, a link a link).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "core/hexagon.h"
#include "render/picture_files.h"
#include "render/pp_writer.h"
#include "render/report_file.h"
#include "support/files.h"

// Every call of umask in this program lands here. The writer must learn the
// mode of a new file without it: setting the process-wide mask, even for a
// moment, changes the mode of files other threads create meanwhile.
namespace {
std::atomic<int> g_umask_calls{0};
}
extern "C" mode_t umask(mode_t mask) noexcept {
  g_umask_calls.fetch_add(1);
  return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace lozengia {
namespace {

namespace fs = std::filesystem;

const std::string kOld = "the user's old file, which must survive\n";

// A picture `size` pixels square of a part of the world holding the small
// hexagons below; what it shows does not matter to the writer.
PictureFrame frame(int size) { return {WorldRect{-1.0, -4.0, 6.0, 6.0}, size, size}; }

std::string read_file(const fs::path& path) {
  std::ifstream is(path, std::ios::binary);
  std::stringstream ss;
  ss << is.rdbuf();
  return ss.str();
}

// Large enough to fill a pipe's buffer many times over.
std::string big_text() {
  std::string s;
  for (int k = 0; s.size() < 300 * 1024; ++k) s += "line " + std::to_string(k) + " of the text\n";
  return s;
}

struct stat stat_of(const fs::path& p) {
  struct stat info {};
  EXPECT_EQ(::lstat(p.c_str(), &info), 0) << p;
  return info;
}

using testing::become_unprivileged;
using testing::in_child;
using testing::kNobody;
using testing::kNogroup;
constexpr int kCouldNotDrop = 77;

// Reads a named pipe until its writer closes it, for at most 30 seconds: a
// writer that never comes (or renamed something over the pipe) ends the read
// instead of hanging the test.
std::string read_pipe(const fs::path& fifo) {
  const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "(could not open the pipe)";
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  char buf[65536];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 100) <= 0) continue;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      got.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || (pfd.revents & POLLHUP)) {
      break;  // the writer closed the pipe and everything was read
    }
  }
  ::close(fd);
  return got;
}

class Writer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("lozengia-writer-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    ::chmod(dir.c_str(), 0777);  // reachable by the unprivileged child
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(dir, ec))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
  }
  fs::path old_file(const fs::path& p, mode_t mode = 0644) {
    { std::ofstream(p, std::ios::binary) << kOld; }
    ::chmod(p.c_str(), mode);
    return p;
  }
  std::size_t entries(const fs::path& d) const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(d), {}));
  }
  fs::path dir;
};

TEST_F(Writer, ANewFileGetsTheModeTheUmaskGivesIt) {
  const int status = in_child([&] {
    for (const mode_t mask : {mode_t{027}, mode_t{0}, mode_t{077}}) {
      ::umask(mask);
      const fs::path p = dir / ("new-" + std::to_string(mask) + ".txt");
      if (write_file_replacing(p.string(), "abc") != WriteStatus::kOk) return 1;
      struct stat info {};
      if (::stat(p.c_str(), &info) != 0 || (info.st_mode & 07777) != (0666 & ~mask)) return 2;
      if (read_file(p) != "abc") return 3;
    }
    return 0;
  });
  EXPECT_EQ(status, 0) << "1: not written, 2: wrong mode, 3: wrong contents";
  EXPECT_EQ(entries(dir), 3u) << "a temporary file was left over";
}

// The writer never touches the process-wide umask: every other case of this
// file runs the writer with the counting umask above in place.
TEST_F(Writer, NeverCallsUmask) {
  const int before = g_umask_calls.load();
  const fs::path existing = old_file(dir / "old.txt", 0640);
  EXPECT_EQ(write_file_replacing((dir / "new.txt").string(), "new"), WriteStatus::kOk);
  EXPECT_EQ(write_file_replacing(existing.string(), "replaced"), WriteStatus::kOk);
  EXPECT_EQ(append_to_file((dir / "report.txt").string(), "report\n"), WriteStatus::kOk);
  PathArray p(2, 4);
  minimal_paths(2, 4, 2, p);
  EXPECT_TRUE((write_tiling_picture(PictureFormat::kPng, (dir / "t.png").string(),
                                    Tiling{p, 2, 4, 2}, {}, frame(32)) == WriteStatus::kOk));
  EXPECT_EQ(g_umask_calls.load(), before) << "the writer called umask";
  // The counter does count: the interposed umask is the one this program calls.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  EXPECT_EQ(g_umask_calls.load(), before + 2);
}

TEST_F(Writer, AnExistingFileIsReplacedWholeAndKeepsItsMode) {
  for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0755}}) {
    const fs::path p = old_file(dir / ("f" + std::to_string(mode)), mode);
    const ino_t old_inode = stat_of(p).st_ino;
    ASSERT_EQ(write_file_replacing(p.string(), big_text()), WriteStatus::kOk);
    EXPECT_EQ(read_file(p), big_text());
    EXPECT_EQ(stat_of(p).st_mode & 07777, mode) << "a replaced file lost its mode";
    EXPECT_NE(stat_of(p).st_ino, old_inode) << "not replaced through a new file";
  }
  EXPECT_EQ(entries(dir), 3u);

  // A write given up before commit leaves the old file and no temporary one.
  const fs::path kept = old_file(dir / "kept.txt");
  {
    ReplacingFile f;
    ASSERT_EQ(f.open(kept.string()), WriteStatus::kOk);
    EXPECT_FALSE(f.temporary().empty());
    EXPECT_TRUE(fs::exists(f.temporary()));
    f.write("half of the new text");
  }
  EXPECT_EQ(read_file(kept), kOld);
  EXPECT_EQ(entries(dir), 4u);

  // A name of 255 bytes leaves no room for a temporary name beside it: a
  // shorter one is made, and the file is still replaced whole.
  const fs::path longest = old_file(dir / (std::string(251, 'n') + ".txt"));
  const ino_t long_inode = stat_of(longest).st_ino;
  ASSERT_EQ(write_file_replacing(longest.string(), big_text()), WriteStatus::kOk);
  EXPECT_EQ(read_file(longest), big_text());
  EXPECT_NE(stat_of(longest).st_ino, long_inode) << "not replaced through a new file";
  EXPECT_EQ(entries(dir), 5u);
}

TEST_F(Writer, LinksAreFollowedToTheFileTheyName) {
  const fs::path real = old_file(dir / "real.txt", 0600);
  fs::create_symlink("real.txt", dir / "rel-link");  // relative to its folder
  fs::create_symlink(dir / "rel-link", dir / "link-to-link");
  ASSERT_EQ(write_file_replacing((dir / "link-to-link").string(), "through two links"),
            WriteStatus::kOk);
  EXPECT_TRUE(fs::is_symlink(dir / "rel-link"));
  EXPECT_TRUE(fs::is_symlink(dir / "link-to-link"));
  EXPECT_EQ(read_file(real), "through two links");
  EXPECT_EQ(stat_of(real).st_mode & 07777, 0600u);

  // A link to a file that does not exist yet creates that file.
  fs::create_directories(dir / "sub");
  fs::create_symlink("sub/later.txt", dir / "dangling");
  ASSERT_EQ(write_file_replacing((dir / "dangling").string(), "created"), WriteStatus::kOk);
  EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
  EXPECT_EQ(read_file(dir / "sub" / "later.txt"), "created");

  // A loop of links is refused.
  fs::create_symlink("loop-b", dir / "loop-a");
  fs::create_symlink("loop-a", dir / "loop-b");
  EXPECT_EQ(write_file_replacing((dir / "loop-a").string(), "x"), WriteStatus::kOpenError);
  EXPECT_EQ(entries(dir), 7u);
}

// A named pipe is written straight in: the reader gets every byte and the
// pipe is still a pipe afterwards, with nothing left beside it.
TEST_F(Writer, ANamedPipeIsWrittenStraightIn) {
  const fs::path fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(output_kind(fifo.string()), OutputKind::kStream);
  const std::string text = big_text();
  std::string got;
  std::thread reader([&] { got = read_pipe(fifo); });
  const WriteStatus status = write_file_replacing(fifo.string(), text);
  reader.join();
  EXPECT_EQ(status, WriteStatus::kOk);
  EXPECT_EQ(got.size(), text.size());
  EXPECT_TRUE(got == text);
  EXPECT_TRUE(S_ISFIFO(stat_of(fifo).st_mode)) << "the pipe was replaced";
  EXPECT_EQ(entries(dir), 1u);

  // A picture too.
  PathArray p(3, 6);
  minimal_paths(3, 6, 3, p);
  std::thread picture_reader([&] { got = read_pipe(fifo); });
  const bool drawn = (write_tiling_picture(PictureFormat::kPng, fifo.string(), Tiling{p, 3, 6, 3},
                                           {}, frame(64)) == WriteStatus::kOk);
  picture_reader.join();
  EXPECT_TRUE(drawn);
  EXPECT_EQ(got.substr(0, 4), "\x89PNG");
  EXPECT_TRUE(S_ISFIFO(stat_of(fifo).st_mode));
}

// The process's own descriptors: "-" and /dev/stdout are descriptor 1 as the
// shell left it, so `>> log` appends; a pipe whose reader has gone gives a
// write error instead of ending the program with SIGPIPE.
TEST_F(Writer, StandardOutputAndDescriptorsAreWrittenThrough) {
  const fs::path log = dir / "log.txt";
  { std::ofstream(log) << "earlier lines\n"; }
  const int status = in_child([&] {
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    if (fd < 0 || ::dup2(fd, 1) != 1) return 9;
    if (write_file_replacing("-", "one\n") != WriteStatus::kOk) return 1;
    if (write_file_replacing("/dev/stdout", "two\n") != WriteStatus::kOk) return 2;
    if (write_file_replacing("/dev/fd/1", "three\n") != WriteStatus::kOk) return 3;
    if (output_kind("-") != OutputKind::kStream) return 4;
    // Standard output closed: refused at once.
    ::close(1);
    if (output_kind("-") != OutputKind::kRefused) return 5;
    if (write_file_replacing("-", "lost\n") != WriteStatus::kOpenError) return 6;
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read_file(log), "earlier lines\none\ntwo\nthree\n");
  EXPECT_EQ(entries(dir), 1u);

  const int broken = in_child([&] {
    ::signal(SIGPIPE, SIG_DFL);
    int fds[2];
    if (::pipe(fds) != 0) return 9;
    ::close(fds[0]);  // no reader any more
    const std::string name = "/dev/fd/" + std::to_string(fds[1]);
    if (write_file_replacing(name, big_text()).error() != EPIPE) return 1;
    // The signal the write raised was not left pending either.
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE)) return 2;
    // A socket named through its descriptor.
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 9;
    if (write_file_replacing("/proc/self/fd/" + std::to_string(pair[0]), "hi") != WriteStatus::kOk)
      return 3;
    char buf[8] = {};
    if (::read(pair[1], buf, sizeof buf) != 2 || std::string(buf) != "hi") return 4;
    return 0;
  });
  EXPECT_EQ(broken, 0) << "100 + 13: SIGPIPE ended the program";
}

// The full device is made in the test's own folder (never the machine's own
// /dev/full): it must stay a character device and the write must fail.
TEST_F(Writer, AFullDeviceStaysADeviceAndTheWriteFails) {
  if (::geteuid() != 0) GTEST_SKIP() << "making a device node needs root; not run";
  const fs::path full = dir / "full";
  if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
    GTEST_SKIP() << "mknod is not permitted here: " << std::strerror(errno);
  const int probe = ::open(full.c_str(), O_WRONLY);
  if (probe < 0) GTEST_SKIP() << "this file system does not open device nodes";
  ::close(probe);
  fs::create_symlink(full, dir / "full-link");

  for (const fs::path& target : {full, dir / "full-link"}) {
    const WriteStatus status = write_file_replacing(target.string(), big_text());
    EXPECT_EQ(status, WriteStatus::kWriteError) << target;
    EXPECT_EQ(status.error(), ENOSPC) << target;
    EXPECT_STREQ(write_status_message(status), "Error while writing to file");
    EXPECT_EQ(append_to_file(target.string(), "report\n"), WriteStatus::kWriteError);
  }
  PathArray p(3, 6);
  minimal_paths(3, 6, 3, p);
  for (const auto format :
       {PictureFormat::kPng, PictureFormat::kBmp, PictureFormat::kSvg, PictureFormat::kPdf})
    EXPECT_EQ(write_tiling_picture(format, full.string(), Tiling{p, 3, 6, 3}, {}, frame(64)),
              WriteStatus::kWriteError);
  const struct stat info = stat_of(full);
  EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device was replaced by a file";
  EXPECT_EQ(info.st_rdev, makedev(1, 7));
  EXPECT_TRUE(fs::is_symlink(dir / "full-link"));
  EXPECT_EQ(entries(dir), 2u);
}

// Sets the soft file size limit: a write past it fails with EFBIG, as on a
// full disk (SIGXFSZ is ignored). RLIM_INFINITY lifts it again.
bool limit_file_size(rlim_t bytes) {
  ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit lim {};
  if (::getrlimit(RLIMIT_FSIZE, &lim) != 0) return false;
  lim.rlim_cur = std::min(bytes, lim.rlim_max);
  return ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
}

// A folder that may not be written, holding a file that may: nothing can be
// made beside the file, so it is written in place, its old content first
// copied to $TMPDIR and put back whenever the write does not end well. Where
// no copy can be kept (here the file size limit stops the copy), the file is
// refused, unless writing in place without a copy is allowed; it then never
// holds new content followed by old.
TEST_F(Writer, AFileInAReadOnlyFolderIsWrittenInPlaceWithItsOldContentKept) {
  const fs::path sub = dir / "ro", tmp = dir / "tmp";
  fs::create_directories(sub);
  fs::create_directories(tmp);
  ::chmod(tmp.c_str(), 0777);
  const fs::path target = old_file(sub / "pp.txt");
  const uid_t owner = ::geteuid() == 0 ? kNobody : ::geteuid();
  ASSERT_EQ(::chown(sub.c_str(), owner, -1), 0);
  ASSERT_EQ(::chown(target.c_str(), owner, -1), 0);
  ::chmod(sub.c_str(), 0555);
  const ino_t inode = stat_of(target).st_ino;
  const std::string text = big_text(), other = "other " + big_text();
  const std::string name = target.string();
  WriteOptions without_copy;
  without_copy.in_place_without_copy = true;

  const int status = in_child([&] {
    if (!become_unprivileged()) return kCouldNotDrop;
    // Root would be allowed to write the folder anyway: make sure we are not.
    if (::access(sub.c_str(), W_OK) == 0) return kCouldNotDrop;
    ::setenv("TMPDIR", tmp.c_str(), 1);
    // The target holds `want`, and no copy is left behind.
    auto holds = [&](const std::string& want) {
      return read_file(target) == want && entries(tmp) == 0;
    };
    if (output_kind(name) != OutputKind::kFile || check_output(name) != WriteStatus::kOk) return 1;
    if (write_file_replacing(name, text) != WriteStatus::kOk || !holds(text)) return 2;
    // Shorter text: the rest of the longer one is cut off.
    if (write_file_replacing(name, "short\n") != WriteStatus::kOk || !holds("short\n")) return 3;
    {
      ReplacingFile given_up;
      if (given_up.open(name) != WriteStatus::kOk || entries(tmp) != 1) return 4;
      given_up.write(text);
    }
    if (!holds("short\n")) return 5;
    // A new name there cannot be made.
    if (write_file_replacing((sub / "new.txt").string(), "x") != WriteStatus::kOpenError) return 6;

    // A disk that fills up during the write: the old content comes back.
    if (!limit_file_size(64 * 1024)) return 9;
    const WriteStatus full = write_file_replacing(name, text);
    if (full != WriteStatus::kWriteError || full.error() != EFBIG || !holds("short\n")) return 7;

    // An old content too large to copy: refused, and the file untouched...
    limit_file_size(RLIM_INFINITY);
    write_file_replacing(name, text);
    limit_file_size(64 * 1024);
    const WriteStatus refused = write_file_replacing(name, "short\n");
    if (refused != WriteStatus::kOpenError || !refused.refused_in_place() ||
        refused.error() != EFBIG || !holds(text))
      return 8;
    // ...unless allowed without a copy.
    if (write_file_replacing(name, "short\n", without_copy) != WriteStatus::kOk ||
        !holds("short\n"))
      return 10;

    // Without a copy a failed write leaves the start of the new text only.
    limit_file_size(RLIM_INFINITY);
    write_file_replacing(name, text);
    limit_file_size(64 * 1024);
    if (write_file_replacing(name, other, without_copy) != WriteStatus::kWriteError) return 11;
    const std::string left = read_file(target);
    if (left.empty() || left.size() > 64 * 1024 || other.compare(0, left.size(), left) != 0)
      return 12;
    return 0;
  });
  if (status == kCouldNotDrop) GTEST_SKIP() << "could not run as an unprivileged user";
  EXPECT_EQ(status, 0) << "the check that failed, numbered in the child";
  EXPECT_EQ(stat_of(target).st_ino, inode) << "not written in place";
  EXPECT_EQ(entries(sub), 1u);
}

// In a sticky folder (such as /tmp) only the file's or folder's owner may
// rename over a file: anyone else who may write it writes it in place.
TEST_F(Writer, SomeoneElsesWritableFileInAStickyFolderIsWrittenInPlace) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another user";
  const fs::path sub = dir / "sticky";
  fs::create_directories(sub);
  ::chmod(sub.c_str(), 01777);
  const fs::path target = old_file(sub / "shared.txt", 0666);
  ASSERT_EQ(::chown(target.c_str(), 4242, 4242), 0);
  const int status = in_child([&] {
    if (!become_unprivileged()) return kCouldNotDrop;
    return write_file_replacing(target.string(), "by nobody\n") == WriteStatus::kOk ? 0 : 1;
  });
  if (status == kCouldNotDrop) GTEST_SKIP() << "could not run as an unprivileged user";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read_file(target), "by nobody\n");
  EXPECT_EQ(stat_of(target).st_uid, 4242u);
  EXPECT_EQ(entries(sub), 1u);
}

// Targets that cannot be opened are refused before anything is written:
// a folder, a name in a folder that vanished or is a file.
TEST_F(Writer, FoldersAndMissingFoldersAreRefused) {
  const fs::path sub = dir / "chosen";
  fs::create_directories(sub);
  PathArray p(2, 4);
  minimal_paths(2, 4, 2, p);
  const std::string gone = (sub / "pp.txt").string();
  fs::remove_all(sub);
  const std::pair<std::string, int> targets[] = {{dir.string(), EISDIR},
                                                 {dir.string() + "/", EISDIR},
                                                 {std::string(), ENOENT},
                                                 {gone, ENOENT},
                                                 {(dir / "a" / "b" / "c").string(), ENOENT}};
  for (const auto& [target, error] : targets) {
    EXPECT_EQ(output_kind(target), OutputKind::kRefused) << target;
    const WriteStatus status = write_file_replacing(target, "x");
    EXPECT_EQ(status, WriteStatus::kOpenError) << target;
    // The reason reaches the user.
    EXPECT_EQ(status.error(), error) << target;
    EXPECT_EQ(write_failure_text(status, target), "Error while opening file" +
                                                      (target.empty() ? "" : " " + target) + ": " +
                                                      std::strerror(error));
    EXPECT_EQ(append_to_file(target, "x"), WriteStatus::kOpenError) << target;
    EXPECT_EQ(write_tiling_picture(PictureFormat::kPng, target, Tiling{p, 2, 4, 2}, {}, frame(32)),
              WriteStatus::kOpenError)
        << target;
    EXPECT_FALSE((write_tiling_picture(PictureFormat::kSvg, target, Tiling{p, 2, 4, 2}, {},
                                       frame(32)) == WriteStatus::kOk))
        << target;
  }
  EXPECT_STREQ(write_status_message(WriteStatus::kOpenError), "Error while opening file");
  // The folder replaced by a file of the same name.
  old_file(sub);
  EXPECT_EQ(write_file_replacing(gone, "x").error(), ENOTDIR);
  EXPECT_EQ(read_file(sub), kOld);
  EXPECT_EQ(entries(dir), 1u);
}

// Reports are appended; one run writes whole reports up to 1000 lines (and
// 4 MiB), then one line counting the lines it left out.
TEST_F(Writer, TheOverflowReportIsAppendedAndCappedPerRun) {
  const fs::path report = dir / "fort.111";
  ASSERT_EQ(append_overflow_report("first", report.string()), WriteStatus::kOk);
  ASSERT_EQ(append_overflow_report("second", report.string()), WriteStatus::kOk);
  EXPECT_EQ(read_file(report), "first\nsecond\n");
  EXPECT_EQ(append_overflow_report("lost", dir.string()), WriteStatus::kOpenError);

  fs::remove(report);
  for (int run = 0; run < 2; ++run) {
    OverflowReports reports(report.string());
    for (int k = 0; k < 600; ++k)
      ASSERT_EQ(reports.add("S= 1 i= " + std::to_string(k) + "\n w: 1e+09"), WriteStatus::kOk);
    EXPECT_EQ(reports.finish(), WriteStatus::kOk);
  }
  std::istringstream lines(read_file(report));
  std::vector<std::string> got;
  for (std::string line; std::getline(lines, line);) got.push_back(line);
  ASSERT_EQ(got.size(), 2002u);
  EXPECT_EQ(got[998], "S= 1 i= 499");
  EXPECT_EQ(got[1000], "(200 more lines left out)");
  EXPECT_EQ(got[1001], "S= 1 i= 0") << "the second run has a cap of its own";
  EXPECT_EQ(got[2001], "(200 more lines left out)");

  // Long lines: the bytes are capped too, and nothing after the first left out.
  MessageCap cap;
  const std::string two_mib(2u << 20, 'w');
  EXPECT_TRUE(cap.admit(two_mib));
  EXPECT_FALSE(cap.admit(two_mib));
  EXPECT_FALSE(cap.admit("short"));
  EXPECT_EQ(cap.closing_line(), "(2 more lines left out)");
  EXPECT_EQ(MessageCap().closing_line(), "");
}

// Each format's bytes, through the writer, start as the format says.
TEST_F(Writer, EveryPictureFormatIsWritten) {
  PathArray p(3, 6);
  minimal_paths(3, 6, 3, p);
  const struct {
    PictureFormat format;
    const char* name;
    std::string magic;
  } formats[] = {{PictureFormat::kPng, "t.png", "\x89PNG"},
                 {PictureFormat::kBmp, "t.bmp", "BM"},
                 {PictureFormat::kSvg, "t.svg", "<?xml"},
                 {PictureFormat::kPdf, "t.pdf", "%PDF"}};
  for (const auto& f : formats) {
    const fs::path target = old_file(dir / f.name, 0640);
    ASSERT_EQ(write_tiling_picture(f.format, target.string(), Tiling{p, 3, 6, 3}, {}, frame(64)),
              WriteStatus::kOk)
        << f.name;
    EXPECT_EQ(read_file(target).substr(0, f.magic.size()), f.magic) << f.name;
    EXPECT_EQ(stat_of(target).st_mode & 07777, 0640u) << f.name;
  }
  EXPECT_TRUE((write_tiling_picture(PictureFormat::kBmp, (dir / "u.bmp").string(),
                                    Tiling{p, 3, 6, 3}, {}, frame(64)) == WriteStatus::kOk));
  EXPECT_TRUE((write_tiling_picture(PictureFormat::kPdf, (dir / "u.pdf").string(),
                                    Tiling{p, 3, 6, 3}, {}, frame(64)) == WriteStatus::kOk));
  // The PDF is vector: its page is size_px points square and holds no image.
  const std::string pdf = read_file(dir / "u.pdf");
  EXPECT_NE(pdf.find("/MediaBox [0 0 64.000000 64.000000]"), std::string::npos)
      << pdf.substr(0, 1500);
  EXPECT_EQ(pdf.find("/Subtype /Image"), std::string::npos);
  EXPECT_FALSE((write_tiling_picture(PictureFormat::kPdf, (dir / "v.pdf").string(),
                                     Tiling{p, 3, 6, 3}, {}, frame(0)) == WriteStatus::kOk));
  EXPECT_EQ(entries(dir), 6u);
}

// Two names of one file or stream are known as one: through links, other
// spellings, descriptors; new names by the file they will be. The null device
// takes any number of outputs.
TEST_F(Writer, NamesOfOneFileOrStreamAreKnownAsOne) {
  const fs::path a = old_file(dir / "a.txt"), b = old_file(dir / "b.txt");
  fs::create_symlink("a.txt", dir / "link");
  fs::create_directories(dir / "sub");
  const std::string d = dir.string();
  const int status = in_child([&] {
    const int fd = ::open(a.c_str(), O_WRONLY | O_APPEND);
    if (fd < 0 || ::dup2(fd, 1) != 1) return 99;
    const struct {
      std::string x, y;
      bool same;
    } cases[] = {
        {a.string(), a.string(), true},
        {a.string(), d + "/sub/../a.txt", true},
        {d + "/link", a.string(), true},
        {"-", a.string(), true},
        {"/dev/stdout", "-", true},
        {"/dev/fd/1", d + "/link", true},
        {d + "/new", d + "/sub/../new", true},
        {a.string(), b.string(), false},
        {d + "/new", d + "/new2", false},
        {d + "/new", a.string(), false},
        {"/dev/null", "/dev/null", false},
        {d, d, false},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k)
      if (same_output(cases[k].x, cases[k].y) != cases[k].same) return static_cast<int>(k) + 1;
    return 0;
  });
  EXPECT_EQ(status, 0) << "the case that failed, counted from 1";
}

}  // namespace
}  // namespace lozengia
