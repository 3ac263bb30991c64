#include "render/pp_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/memory_limit.h"

namespace lozengia {

namespace {

// Closes the descriptor on every way out.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

PartitionFile failed(const std::string& path, const std::string& why) {
  PartitionFile f;
  f.error = path + ": " + why;
  return f;
}

}  // namespace

PartitionFile read_partition_file(const std::string& name, PartitionTextLimits limits,
                                  const std::string& shown) {
  const std::string& path = shown.empty() ? name : shown;
  // The open does not block (a pipe without a writer, a tape), and the type
  // is checked on what was opened, not on the name.
  Descriptor d;
  d.fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (d.fd < 0) return failed(path, std::strerror(errno));
  struct stat file_info {};
  if (::fstat(d.fd, &file_info) != 0) return failed(path, std::strerror(errno));
  if (S_ISDIR(file_info.st_mode)) return failed(path, "is a folder, not a plane partition file");
  if (!S_ISREG(file_info.st_mode))
    return failed(path, "not a regular file (a pipe, a device or a socket is not read)");
  if (limits.max_bytes == 0) limits.max_bytes = memory_room().for_threads(0);
  PartitionTextReader reader(limits);
  std::vector<char> piece(std::size_t{1} << 16);
  for (;;) {
    const ssize_t n = ::read(d.fd, piece.data(), piece.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed(path, std::strerror(errno));
    if (n == 0) break;
    if (!reader.feed(piece.data(), static_cast<std::size_t>(n)))
      return failed(path, reader.fault().text());
  }
  if (!reader.finish()) return failed(path, reader.fault().text());
  PartitionFile f;
  f.partitions = std::move(reader.partitions());
  return f;
}

}  // namespace lozengia
