#include "render/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace lozengia {

namespace {
std::atomic<bool> g_closed[3];
}

bool open_closed_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free number is `fd` itself, the ones below being open.
    const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null < 0) return false;
    if (null != fd) {
      const bool moved = ::dup2(null, fd) == fd;
      ::close(null);
      if (!moved) return false;
    }
    g_closed[fd].store(true);
  }
  return true;
}

bool closed_at_start(int fd) { return fd >= 0 && fd <= 2 && g_closed[fd].load(); }

}  // namespace lozengia
