#include "core/memory_limit.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

namespace lozengia {

namespace {

constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();
// What a new thread adds besides its stack: under an address-space limit
// the C library reserves a malloc arena of 64 MiB for it; in memory, only
// the pages of its stack it touches.
constexpr uint64_t kArenaReserve = uint64_t{64} << 20;
constexpr uint64_t kStackTouched = uint64_t{64} << 10;
// The C library's thread stack when RLIMIT_STACK sets none.
constexpr uint64_t kDefaultStack = uint64_t{32} << 20;

uint64_t less(uint64_t a, uint64_t b) { return a > b ? a - b : 0; }

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  std::ostringstream os;
  os << in.rdbuf();
  return os.str();
}

// The number after `key` at the start of a line ("MemAvailable:", "VmData:",
// "inactive_file "), or false.
bool field(const std::string& text, const std::string& key, uint64_t& value) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::size_t stop = end == std::string::npos ? text.size() : end;
    if (text.compare(at, key.size(), key) == 0) {
      unsigned long long v = 0;
      if (std::sscanf(text.c_str() + at + key.size(), "%llu", &v) == 1) {
        value = v;
        return true;
      }
    }
    at = stop + 1;
  }
  return false;
}

// The room under a limit of the process: the limit less what is in use.
uint64_t rlimit_room(int resource, uint64_t used) {
  rlimit r{};
  if (getrlimit(resource, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return kNoLimit;
  return less(static_cast<uint64_t>(r.rlim_cur), used);
}

// The room under the memory limits of this process's cgroup and of the
// cgroups above it, v2 or v1.
uint64_t cgroups_room() {
  std::istringstream lines(read_text("/proc/self/cgroup"));
  uint64_t room = kNoLimit;
  for (std::string line; std::getline(lines, line);) {
    // "0::/path" (v2) or "4:memory:/path" (v1, controllers listed by comma).
    const std::size_t a = line.find(':'), b = line.find(':', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    // Built by appending: GCC 12 warns (-Wrestrict, wrongly) on "," + string
    // in some builds.
    std::string controllers = ",";
    controllers.append(line, a + 1, b - a - 1);
    controllers += ',';
    std::string path = line.substr(b + 1);
    struct Files {
      const char* base;
      const char* limit;
      const char* usage;
    };
    Files files{};
    if (controllers == ",,")
      files = {"/sys/fs/cgroup", "memory.max", "memory.current"};
    else if (controllers.find(",memory,") != std::string::npos)
      files = {"/sys/fs/cgroup/memory", "memory.limit_in_bytes", "memory.usage_in_bytes"};
    else
      continue;
    // From the process's own cgroup up to the root: a container may see only
    // the part of the tree from its own cgroup down.
    for (;;) {
      const std::string dir = files.base + (path == "/" ? std::string() : path) + "/";
      const std::string limit = read_text(dir + files.limit);
      if (!limit.empty())
        room = std::min(
            room, cgroup_room(limit, read_text(dir + files.usage), read_text(dir + "memory.stat")));
      if (path.empty() || path == "/") break;
      const std::size_t slash = path.find_last_of('/');
      path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    }
  }
  return room;
}

}  // namespace

uint64_t meminfo_available(const std::string& meminfo) {
  uint64_t kb = 0;
  if (!field(meminfo, "MemAvailable:", kb)) return kNoLimit;
  return times_bytes(kb, 1024);
}

uint64_t cgroup_room(const std::string& limit, const std::string& usage, const std::string& stat) {
  unsigned long long max = 0, used = 0;
  // "max" (v2) or a figure near 2^63 (v1) is no limit.
  if (std::sscanf(limit.c_str(), "%llu", &max) != 1 || max >= (uint64_t{1} << 62)) return kNoLimit;
  if (std::sscanf(usage.c_str(), "%llu", &used) != 1) used = 0;
  uint64_t inactive = 0;
  if (!field(stat, "inactive_file ", inactive)) field(stat, "total_inactive_file ", inactive);
  return less(max, less(used, inactive));
}

uint64_t MemoryRoom::for_threads(unsigned threads) const {
  const uint64_t physical_left = less(physical, times_bytes(threads, kStackTouched));
  const uint64_t space_left =
      less(address_space, times_bytes(threads, add_bytes(thread_stack, kArenaReserve)));
  const uint64_t data_left = less(data, times_bytes(threads, thread_stack));
  return std::min({physical_left, space_left, data_left});
}

MemoryRoom memory_room() {
  MemoryRoom room;
  room.physical = meminfo_available(read_text("/proc/meminfo"));
  if (room.physical == kNoLimit) {
    const long pages = sysconf(_SC_AVPHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && page > 0)
      room.physical = static_cast<uint64_t>(pages) * static_cast<uint64_t>(page);
  }
  room.physical = std::min(room.physical, cgroups_room());

  const std::string status = read_text("/proc/self/status");
  uint64_t vm_kb = 0, data_kb = 0;
  field(status, "VmSize:", vm_kb);
  field(status, "VmData:", data_kb);
  room.address_space = rlimit_room(RLIMIT_AS, times_bytes(vm_kb, 1024));
  room.data = rlimit_room(RLIMIT_DATA, times_bytes(data_kb, 1024));

  rlimit stack{};
  room.thread_stack = getrlimit(RLIMIT_STACK, &stack) == 0 && stack.rlim_cur != RLIM_INFINITY
                          ? static_cast<uint64_t>(stack.rlim_cur)
                          : kDefaultStack;
  return room;
}

bool parse_memory_size(const std::string& text, uint64_t& bytes) {
  std::size_t at = 0, end = text.size();
  while (at < end && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  while (end > at && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  std::size_t digits_end = at;
  bool digit = false, dot = false;
  for (; digits_end < end; ++digits_end) {
    const char c = text[digits_end];
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      break;
    }
  }
  if (!digit) return false;
  std::string unit;
  for (std::size_t k = digits_end; k < end; ++k)
    unit += static_cast<char>(std::tolower(static_cast<unsigned char>(text[k])));
  static const struct {
    const char* name;
    long double factor;
  } kUnits[] = {
      {"", 1.0L},
      {"b", 1.0L},
      {"k", 1e3L},
      {"kb", 1e3L},
      {"m", 1e6L},
      {"mb", 1e6L},
      {"g", 1e9L},
      {"gb", 1e9L},
      {"t", 1e12L},
      {"tb", 1e12L},
      {"kib", 1024.0L},
      {"mib", 1048576.0L},
      {"gib", 1073741824.0L},
      {"tib", 1099511627776.0L},
  };
  for (const auto& u : kUnits) {
    if (unit != u.name) continue;
    const long double value =
        std::strtold(text.substr(at, digits_end - at).c_str(), nullptr) * u.factor;
    if (!(value >= 1.0L)) return false;
    bytes = value >= 18446744073709551615.0L ? kNoLimit : static_cast<uint64_t>(value);
    return true;
  }
  return false;
}

namespace {

std::string format_with(uint64_t bytes, int extra_decimals) {
  static const char* const kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
  if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  double v = static_cast<double>(bytes) / 1000.0;
  int unit = 0;
  while (v >= 1000.0 && unit < 5) {
    v /= 1000.0;
    ++unit;
  }
  const int decimals = (v < 100.0 ? 1 : 0) + extra_decimals;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f %s", decimals, v, kUnits[unit]);
  return buf;
}

}  // namespace

std::string format_bytes(uint64_t bytes) { return format_with(bytes, 0); }

std::string memory_refusal(const MemoryNeed& need, uint64_t limit, const char* what) {
  return limit != 0 ? memory_refusal(need, MemoryRoom{}, limit, what)
                    : memory_refusal(need, memory_room(), 0, what);
}

std::string memory_refusal(const MemoryNeed& need, const MemoryRoom& machine, uint64_t limit,
                           const char* what) {
  const uint64_t room = limit != 0 ? limit : machine.for_threads(need.threads);
  if (need.bytes <= room) return {};
  // Enough figures that the two never read the same.
  int extra = 0;
  while (extra < 9 && format_with(need.bytes, extra) == format_with(room, extra)) ++extra;
  std::string message = what;
  message += ": needs " + format_with(need.bytes, extra) + ", " + format_with(room, extra);
  message += limit != 0 ? " allowed" : " available";
  return message;
}

}  // namespace lozengia
