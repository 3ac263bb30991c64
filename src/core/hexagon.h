// Hexagon state: the tiling as a family of N non-intersecting lattice paths over
// the time slices 0..T, and the probability model with its stored parameters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/memory_need.h"

namespace lozengia {

// Model kinds as the operators and the "New" dialog number them.
enum ModelKind : int32_t {
  kImaginaryQRacah = 1,
  kRealQRacah = 2,
  kTrigonometric = 3,
  kRacah = 4,
  kQHahn = 5,
  kHahn = 6,
};

// The six kinds in the order of their numbers, as the model list shows them.
inline constexpr ModelKind kAllModelKinds[] = {kImaginaryQRacah, kRealQRacah, kTrigonometric,
                                               kRacah,           kQHahn,      kHahn};

// The kind a stored or typed number (1..6) stands for; none for any other.
inline std::optional<ModelKind> model_kind_numbered(int64_t number) {
  if (number < kImaginaryQRacah || number > kHahn) return std::nullopt;
  return static_cast<ModelKind>(number);
}

// Heights of N paths over slices 0..T, stored column by column: all paths of
// slice t together, slice after slice. Indexing is (i, t) with i = 1..N.
class PathArray {
 public:
  PathArray() = default;
  PathArray(int32_t n, int32_t t) { resize(n, t); }

  // Throws std::bad_alloc when the memory is not there; callers that must not
  // throw check the shape with check_shape() first.
  void resize(int32_t n, int32_t t) {
    n_ = n;
    t_ = t;
    data_.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(t + 1), 0);
  }

  int32_t& operator()(int32_t i, int32_t t) { return data_[index(i, t)]; }
  int32_t operator()(int32_t i, int32_t t) const { return data_[index(i, t)]; }

  // Slice t as a pointer to paths 1..N (element 0 is path 1).
  int32_t* slice(int32_t t) { return data_.data() + static_cast<std::size_t>(t) * n_; }
  const int32_t* slice(int32_t t) const { return data_.data() + static_cast<std::size_t>(t) * n_; }

  int32_t n() const { return n_; }
  int32_t t() const { return t_; }
  std::size_t size() const { return data_.size(); }
  int32_t* data() { return data_.data(); }
  const int32_t* data() const { return data_.data(); }
  void swap(PathArray& other) noexcept {
    data_.swap(other.data_);
    std::swap(n_, other.n_);
    std::swap(t_, other.t_);
  }
  bool operator==(const PathArray& o) const { return n_ == o.n_ && t_ == o.t_ && data_ == o.data_; }

 private:
  std::size_t index(int32_t i, int32_t t) const {
    return static_cast<std::size_t>(t) * n_ + static_cast<std::size_t>(i - 1);
  }
  int32_t n_ = 0;
  int32_t t_ = 0;
  std::vector<int32_t> data_;
};

// The model and its parameters in the stored form the operators read.
struct ModelParams {
  ModelKind kind = kHahn;
  double q = 1.0;
  double K = 10000.0;
  double alpha = 0.0;
  double beta = 0.0;
};

// Shape and model of a hexagon without its arrays: what the "New" dialog's
// check produces and what is stored all at once.
struct HexagonParams {
  int32_t N = 50;
  int32_t T = 100;
  int32_t S = 0;
  ModelParams model;
};

// The whole program state of one hexagon: its shape and model, its tiling,
// and the arrays its step commands work in (allocated with it, so that a step
// allocates nothing of this size): the second array every sweep writes into,
// the tiling a run starts from (and falls back to when it fails), and the
// runs' heights summed for an average.
struct Hexagon {
  HexagonParams params;
  PathArray paths, scratch_paths, start_paths, path_sums;
};

// Runs `work` (which changes the hexagon's tiling and S); when it throws (no
// memory for its sweeps, say), the tiling and S are put back as they were
// before it and the exception passes on, so that a failure never leaves a
// half-made tiling. The start is kept in hex.start_paths, of the same shape:
// nothing is allocated.
template <class Work>
auto keeping_tiling_on_failure(Hexagon& hex, Work&& work) {
  const int32_t S0 = hex.params.S;
  hex.start_paths = hex.paths;
  try {
    return work();
  } catch (...) {
    hex.paths = hex.start_paths;
    hex.params.S = S0;
    throw;
  }
}

// A worker's own pair of arrays (its paths and its sweeps' second array):
// false, with nothing kept, when the memory is not there. Workers that get
// none leave their runs to the others instead of failing the work.
inline bool try_worker_arrays(int32_t N, int32_t T, PathArray& paths, PathArray& scratch) {
  try {
    paths.resize(N, T);
    scratch.resize(N, T);
    return true;
  } catch (const std::bad_alloc&) {
    paths = PathArray();
    scratch = PathArray();
    return false;
  }
}

// Empty when an N x (T+1) shape can be indexed with 32-bit integers and
// `arrays` such arrays fit in this machine's memory; otherwise the message to
// show the user. Nothing is allocated.
std::string check_shape(int64_t n, int64_t t, int arrays = 4);

// Replaces the hexagon's shape, model and arrays all at once and sets the
// minimal configuration. On failure (shape too large, memory exhausted, or
// more memory needed than the machine has: the arrays, the model's tables and
// a step command's sweeps, core/memory_need.h) the hexagon is left exactly as
// it was and the message is returned.
std::string set_hexagon(Hexagon& hex, const HexagonParams& p);
// The same with the tiling `tiling` (a configuration at p.S, taken over by
// the hexagon on success, else left as it was) instead of the minimal one.
std::string set_hexagon_tiling(Hexagon& hex, const HexagonParams& p, PathArray& tiling);
// What the desktop program's hexagon of `p` takes: see set_hexagon.
MemoryNeed hexagon_need(const HexagonParams& p);

// Hexagon with the start-up defaults (N=50, T=100, S=0, Hahn), minimal
// configuration.
Hexagon default_hexagon();

// The minimal configuration for S: flat up to slice T-S, then rising.
void minimal_paths(int32_t N, int32_t T, int32_t S, PathArray& paths);

// Empty when `p` is a valid configuration of the hexagon N x (T-S) x S
// (strictly increasing slices, steps of 0 or 1, slice 0 at 0..N-1, path i
// ending at i-1+S); otherwise a description of the first violation.
std::string check_invariants(const PathArray& p, int32_t N, int32_t T, int32_t S);

}  // namespace lozengia
