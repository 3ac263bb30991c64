#include "render/pending_files.h"

#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace lozengia {

namespace {

static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

// A place's state: free, being filled (invisible to the handler), or armed.
// The other fields change only inside a FileStep, and the handler reads them
// only once no step is under way, so the counter of steps orders them.
enum : int { kFree = 0, kTaken = 1, kArmed = 2 };
constexpr int kPlaces = 8;
constexpr std::size_t kNameSize = PATH_MAX + 16;

struct Pending {
  std::atomic<int> state{kFree};
  char name[kNameSize];    // the temporary file, or the copy of an old content
  char target[kNameSize];  // in place: the file written
  int target_fd = -1;      // in place: the target, open for writing
  int copy_fd = -1;        // in place: the copy, open for reading
  off_t old_size = 0;      // in place: the target's size before the write
  off_t overwritten = 0;   // in place: how far the target was written
};
Pending g_pending[kPlaces];

std::atomic<int> g_steps{0};          // FileSteps under way
std::atomic<bool> g_stopping{false};  // a handler has begun
std::atomic<bool> g_undoing{false};   // one handler does the undoing

bool write_fully(int fd, const char* p, std::size_t left) {
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies the overwritten part of the old content back and cuts the target to
// its old size. Only async-signal-safe calls.
bool put_back(const Pending& f) {
  const off_t end = f.overwritten < f.old_size ? f.overwritten : f.old_size;
  if (::lseek(f.copy_fd, 0, SEEK_SET) != 0 || ::lseek(f.target_fd, 0, SEEK_SET) != 0) return false;
  char buf[8192];
  for (off_t done = 0; done < end;) {
    const off_t want = end - done < off_t{sizeof buf} ? end - done : off_t{sizeof buf};
    const ssize_t n = ::read(f.copy_fd, buf, static_cast<std::size_t>(want));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !write_fully(f.target_fd, buf, static_cast<std::size_t>(n))) return false;
    done += n;
  }
  return ::ftruncate(f.target_fd, f.old_size) == 0 && ::fsync(f.target_fd) == 0;
}

void tell(const char* text) {
  if (!write_fully(STDERR_FILENO, text, std::strlen(text))) {
    // Nobody to tell.
  }
}

// Undoes one armed place; false when an old content is kept in its copy.
bool undo(Pending& f) {
  if (f.target_fd < 0) {
    ::unlink(f.name);
    return true;
  }
  if (put_back(f)) {
    ::unlink(f.name);
    return true;
  }
  return false;
}

}  // namespace

FileStep::FileStep() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old_);
  g_steps.fetch_add(1);
  if (g_stopping.load()) {
    // A handler is undoing the pending files and will end the process: no
    // file may change under it.
    g_steps.fetch_sub(1);
    for (;;) ::pause();
  }
}

FileStep::~FileStep() {
  g_steps.fetch_sub(1);
  pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

int pend_file(const std::string& name) {
  if (name.size() >= kNameSize) return -1;
  for (int k = 0; k < kPlaces; ++k) {
    Pending& f = g_pending[k];
    int expected = kFree;
    if (!f.state.compare_exchange_strong(expected, kTaken)) continue;
    std::memcpy(f.name, name.c_str(), name.size() + 1);
    f.target[0] = '\0';
    f.target_fd = f.copy_fd = -1;
    f.old_size = f.overwritten = 0;
    f.state.store(kArmed);
    return k;
  }
  return -1;
}

void pend_in_place(int place, const std::string& target, int target_fd, int copy_fd,
                   off_t old_size) {
  if (place < 0) return;
  Pending& f = g_pending[place];
  const std::size_t n = std::min(target.size(), kNameSize - 1);
  std::memcpy(f.target, target.data(), n);
  f.target[n] = '\0';
  f.target_fd = target_fd;
  f.copy_fd = copy_fd;
  f.old_size = old_size;
  f.overwritten = 0;
}

void note_overwritten(int place, off_t end) {
  if (place >= 0 && end > g_pending[place].overwritten) g_pending[place].overwritten = end;
}

void drop_file(int& place) {
  if (place < 0) return;
  Pending& f = g_pending[place];
  if (f.target_fd >= 0) ::unlink(f.name);
  f.state.store(kFree);
  place = -1;
}

bool undo_file(int& place, std::string* kept) {
  if (place < 0) return true;
  Pending& f = g_pending[place];
  const bool done = undo(f);
  if (!done && kept != nullptr) *kept = f.name;
  f.state.store(kFree);
  place = -1;
  return done;
}

void undo_pending_files() noexcept {
  g_stopping.store(true);
  // Another handler, on another thread, is at it already and ends the process.
  if (g_undoing.exchange(true))
    for (;;) ::pause();
  while (g_steps.load() != 0) ::poll(nullptr, 0, 1);
  for (Pending& f : g_pending) {
    if (f.state.load() != kArmed) continue;
    if (undo(f)) continue;
    tell("lozengia: the old content of ");
    tell(f.target);
    tell(" could not be put back; it is kept in ");
    tell(f.name);
    tell("\n");
  }
}

}  // namespace lozengia
