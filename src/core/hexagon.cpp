#include "core/hexagon.h"

#include <unistd.h>

#include <cstdint>
#include <limits>
#include <new>
#include <sstream>

#include "core/fast_sweep.h"
#include "core/memory_limit.h"

namespace lozengia {

std::string check_shape(int64_t n, int64_t t, int arrays) {
  if (n < 1 || t < 0) return "Bad Input";
  // Elements are indexed with 32-bit integers.
  const int64_t limit = std::numeric_limits<int32_t>::max();
  if (t + 1 > limit / n) {
    std::ostringstream os;
    os << "The hexagon is too large: N*(T+1) = " << n << "*" << (t + 1)
       << " exceeds the largest array this program can index";
    return os.str();
  }
  const uint64_t bytes =
      static_cast<uint64_t>(n) * static_cast<uint64_t>(t + 1) * sizeof(int32_t) * arrays;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages > 0 && page_size > 0) {
    const uint64_t memory = static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
    // Leave room for everything else the program and the machine hold.
    if (bytes > memory / 10 * 8) {
      std::ostringstream os;
      os << "The hexagon is too large: its path arrays need " << (bytes >> 20)
         << " MiB, more than this machine's memory allows";
      return os.str();
    }
  }
  return {};
}

namespace {

// Allocates the arrays and sets the hexagon, or returns why not. The tiling
// is `tiling` when given (of the hexagon's shape), else the minimal one.
std::string assign_hexagon(Hexagon& hex, const HexagonParams& p, PathArray* tiling = nullptr) {
  PathArray a, b, c, d;
  try {
    a.resize(p.N, p.T);
    b.resize(p.N, p.T);
    c.resize(p.N, p.T);
    d.resize(p.N, p.T);
  } catch (const std::bad_alloc&) {
    return "Not enough memory for a hexagon of this size";
  } catch (const std::length_error&) {
    return "Not enough memory for a hexagon of this size";
  }
  if (tiling)
    a.swap(*tiling);
  else
    minimal_paths(p.N, p.T, p.S, a);
  hex.paths.swap(a);
  hex.scratch_paths.swap(b);
  hex.start_paths.swap(c);
  hex.path_sums.swap(d);
  hex.params = p;
  return {};
}

}  // namespace

MemoryNeed hexagon_need(const HexagonParams& p) {
  // Its four arrays, the model's tables, and a step command's sweeps on
  // every core (the command sweeps in the hexagon's own arrays).
  StreamSweeps how;
  how.steps = p.T;
  how.threads = 0;
  HexagonParams from = p;
  from.S = 0;
  return bytes_only(times_bytes(4, path_array_bytes(p.N, p.T))) +
         bytes_only(ModelTables::bytes_needed(p.N, p.T, p.model)) + sweep_work_need(from, how);
}

std::string set_hexagon(Hexagon& hex, const HexagonParams& p) {
  if (std::string err = check_shape(p.N, p.T); !err.empty()) return err;
  if (std::string err =
          memory_refusal(hexagon_need(p), 0, "Not enough memory for a hexagon of this size");
      !err.empty())
    return err;
  return assign_hexagon(hex, p);
}

std::string set_hexagon_tiling(Hexagon& hex, const HexagonParams& p, PathArray& tiling) {
  if (std::string err = check_shape(p.N, p.T); !err.empty()) return err;
  if (std::string why = check_invariants(tiling, p.N, p.T, p.S); !why.empty())
    return "Not a tiling of this hexagon: " + why;
  // The tiling is one of the four arrays: the count is what set_hexagon's is.
  if (std::string err =
          memory_refusal(hexagon_need(p), 0, "Not enough memory for a hexagon of this size");
      !err.empty())
    return err;
  return assign_hexagon(hex, p, &tiling);
}

Hexagon default_hexagon() {
  // A few kilobytes: made whatever the room the machine reports.
  Hexagon hex;
  assign_hexagon(hex, HexagonParams{});
  return hex;
}

void minimal_paths(int32_t N, int32_t T, int32_t S, PathArray& paths) {
  for (int32_t t = 0; t <= T; ++t) {
    int32_t* col = paths.slice(t);
    const int32_t lift = t <= T - S ? 0 : t - (T - S);
    for (int32_t i = 1; i <= N; ++i) col[i - 1] = (i - 1) + lift;
  }
}

std::string check_invariants(const PathArray& p, int32_t N, int32_t T, int32_t S) {
  std::ostringstream os;
  if (p.n() != N || p.t() != T) {
    os << "shape " << p.n() << "x" << p.t() << " differs from " << N << "x" << T;
    return os.str();
  }
  for (int32_t i = 1; i <= N; ++i) {
    if (p(i, 0) != i - 1) {
      os << "slice 0: path " << i << " at " << p(i, 0);
      return os.str();
    }
    if (p(i, T) != i - 1 + S) {
      os << "slice T: path " << i << " at " << p(i, T) << ", expected " << (i - 1 + S);
      return os.str();
    }
  }
  for (int32_t t = 0; t <= T; ++t) {
    for (int32_t i = 1; i <= N; ++i) {
      if (i < N && p(i + 1, t) < p(i, t) + 1) {
        os << "slice " << t << ": paths " << i << " and " << (i + 1) << " touch";
        return os.str();
      }
      if (t > 0) {
        const int32_t d = p(i, t) - p(i, t - 1);
        if (d != 0 && d != 1) {
          os << "path " << i << " jumps by " << d << " at slice " << t;
          return os.str();
        }
      }
    }
  }
  return {};
}

}  // namespace lozengia
