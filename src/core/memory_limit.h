// The memory this process may still use, and the refusal of a run whose
// count (core/memory_need.h) does not fit in it. Every front-end checks a
// run this way before it allocates anything of it: lozengia-cli, the Python
// module and the desktop program's New hexagon.
#pragma once

#include <cstdint>
#include <string>

#include "core/memory_need.h"

namespace lozengia {

// What is left for a run, each figure in bytes (the largest count where
// nothing limits it).
struct MemoryRoom {
  // The memory the kernel says can be had without swapping (MemAvailable),
  // and the room left under the cgroup's limit where there is one.
  uint64_t physical = 0;
  // RLIMIT_AS less the address space already mapped, RLIMIT_DATA less the
  // data already mapped.
  uint64_t address_space = 0;
  uint64_t data = 0;
  // The stack a new thread maps (RLIMIT_STACK, or the C library's default).
  uint64_t thread_stack = 0;

  // The bytes a run may allocate when it also starts `threads` threads:
  // each maps its stack, and its own malloc arena under an address-space
  // limit.
  uint64_t for_threads(unsigned threads) const;
};

// Read from /proc/meminfo, the process's cgroup and its limits.
MemoryRoom memory_room();

// The readers behind memory_room(), on the files' text (empty text: the
// file is not there). Each returns the largest count when it finds no limit.
uint64_t meminfo_available(const std::string& meminfo);
// cgroup v2 (memory.max, memory.current, memory.stat) or v1
// (memory.limit_in_bytes, memory.usage_in_bytes, memory.stat): the limit
// less what is in use, page cache that can be dropped not counted as used.
uint64_t cgroup_room(const std::string& limit, const std::string& usage, const std::string& stat);

// A limit the user chose instead of the machine's room (--max-memory,
// max_memory=): a byte count, or a number with a unit, "800M", "1.5G",
// "16GB" (powers of 1000), "4GiB" (powers of 1024). False when the text is
// not such a size or is 0.
bool parse_memory_size(const std::string& text, uint64_t& bytes);

// "10.8 GB", "764 MB", "512 bytes": three figures at most.
std::string format_bytes(uint64_t bytes);

// Empty when `need` fits: in `limit` bytes when the user set one (not 0),
// else in this machine's room. Otherwise the message for the user:
// "Not enough memory for this run: needs 10.8 GB, 6.1 GB available".
std::string memory_refusal(const MemoryNeed& need, uint64_t limit = 0,
                           const char* what = "Not enough memory for this run");
// The same against a room read before (several layouts of one run).
std::string memory_refusal(const MemoryNeed& need, const MemoryRoom& room, uint64_t limit = 0,
                           const char* what = "Not enough memory for this run");

}  // namespace lozengia
