#include "core/plane_partition.h"

#include <algorithm>
#include <cstdio>

namespace lozengia {

namespace {

// Scans heights h0..h1 of one slice upwards; every hole stores the number of
// paths passed so far into the next cell of a diagonal that climbs one row up
// and one column left from (r, c).
void fill_diagonal(const PathArray& paths, int32_t N, int32_t slice, int32_t h0, int32_t h1,
                   int32_t r, int32_t c, PlanePartition& pp) {
  int32_t k = 1, passed = 0;
  // Paths below h0 are passed without being counted as holes.
  while (k <= N && paths(k, slice) < h0) {
    ++k;
    ++passed;
  }
  for (int32_t h = h0; h <= h1; ++h) {
    if (k <= N && paths(k, slice) == h) {
      ++k;
      ++passed;
    } else {
      if (r >= 1 && c >= 1) pp.cells[static_cast<std::size_t>(r - 1) * pp.cols + (c - 1)] = passed;
      --r;
      --c;
    }
  }
}

}  // namespace

PlanePartition to_plane_partition(const PathArray& paths, int32_t N, int32_t T, int32_t S) {
  PlanePartition pp;
  pp.rows = S;
  pp.cols = T - S;
  pp.cells.assign(static_cast<std::size_t>(pp.rows) * static_cast<std::size_t>(pp.cols), 0);
  if (pp.rows == 0 || pp.cols == 0) return pp;
  for (int32_t t = 1; t <= T - S; ++t)
    fill_diagonal(paths, N, t, 0, std::min(S + N - 1, t + N - 1), S, t, pp);
  for (int32_t r0 = S - 1; r0 >= 1; --r0) {
    const int32_t t = T - r0;
    fill_diagonal(paths, N, t, S - r0, std::min(S + N - 1, T - r0 + N - 1), r0, T - S, pp);
  }
  return pp;
}

uint64_t PlanePartitionRows::bytes_needed(int32_t T) {
  return 2 * (static_cast<uint64_t>(std::max(T, 0)) + 1) * sizeof(int32_t);
}

PlanePartitionRows::PlanePartitionRows(const PathArray& paths, int32_t S)
    : paths_(paths), N_(paths.n()), T_(paths.t()), S_(S) {
  if (S_ <= 0 || S_ >= T_) return;
  hole_.assign(static_cast<std::size_t>(T_) + 1, 0);
  below_.assign(static_cast<std::size_t>(T_) + 1, 0);
  for (int32_t t = 1; t < T_; ++t) {
    // The diagonal of slice t runs from row min(S, T-t) up to row
    // max(1, S+1-t); row 1's entry is its hole number `top` (from 0) above
    // the slice's lowest place h0. Below path k (k0 <= k, the first k0 lying
    // under h0) there are slice[k] - h0 - (k - k0) holes, a count that grows
    // with k: the paths under that hole are the first ones with at most
    // `top` holes below them, found by bisection.
    const int32_t h0 = std::max(0, t - (T_ - S_));
    const int32_t top = std::min(S_, T_ - t) - std::max(1, S_ + 1 - t);
    const int32_t* slice = paths_.slice(t);
    const int32_t* k0 = std::lower_bound(slice, slice + N_, h0);
    const int32_t* k = std::partition_point(
        k0, slice + N_, [&](const int32_t& height) { return height - h0 - (&height - k0) <= top; });
    hole_[static_cast<std::size_t>(t)] = h0 + top + static_cast<int32_t>(k - k0);
    below_[static_cast<std::size_t>(t)] = static_cast<int32_t>(k - slice);
  }
}

int32_t PlanePartitionRows::rows_per_block(int32_t cols) {
  return static_cast<int32_t>(
      std::clamp<int64_t>((int64_t{1} << 16) / std::max<int64_t>(1, cols), 1, 64));
}

void PlanePartitionRows::rest(int32_t* out) {
  const int32_t block = rows_per_block(T_ - S_);
  const auto cols = static_cast<std::size_t>(std::max(T_ - S_, 0));
  while (row_ < S_) {
    const int32_t count = std::min(block, S_ - row_);
    next_rows(count, out);
    out += static_cast<std::size_t>(count) * cols;
  }
}

void PlanePartitionRows::next_rows(int32_t count, int32_t* out) {
  const int32_t r0 = row_;  // rows r0+1 .. r0+count
  row_ += count;
  const int32_t cols = T_ - S_;
  if (cols <= 0) return;  // S = T: rows of no entries
  // The slices the block's rows read, each from its first row in the block
  // (its diagonal's top row, or the block's) to its last.
  for (int32_t t = std::max(1, S_ - r0 - count + 1); t <= std::min(T_ - 1, T_ - r0 - 1); ++t) {
    const auto at = static_cast<std::size_t>(t);
    const int32_t top = std::max(1, S_ + 1 - t);
    const int32_t first = std::max(r0 + 1, top), last = std::min(r0 + count, std::min(S_, T_ - t));
    const int32_t* slice = paths_.slice(t);
    int32_t h = hole_[at], k = below_[at];
    for (int32_t r = first; r <= last; ++r) {
      if (r > top) {
        // The hole below: the next lower height no path takes.
        --h;
        while (k > 0 && slice[k - 1] == h) {
          --k;
          --h;
        }
      }
      out[static_cast<std::size_t>(r - r0 - 1) * cols + (t - S_ + r - 1)] = k;
    }
    hole_[at] = h;
    below_[at] = k;
  }
}

std::string check_plane_partition(const int32_t* a, int64_t rows, int64_t cols, int64_t N) {
  auto at = [&](int64_t r, int64_t c) { return a[r * cols + c]; };
  auto where = [](int64_t r, int64_t c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "[%lld, %lld]", static_cast<long long>(r),
                  static_cast<long long>(c));
    return std::string(buf);
  };
  for (int64_t r = 0; r < rows; ++r) {
    for (int64_t c = 0; c < cols; ++c) {
      const int32_t v = at(r, c);
      if (v < 0 || v > N)
        return "entry " + where(r, c) + " is " + std::to_string(v) + ", outside 0.." +
               std::to_string(N);
      if (c > 0 && v > at(r, c - 1))
        return "entry " + where(r, c) + " = " + std::to_string(v) +
               " exceeds the entry left of it (" + std::to_string(at(r, c - 1)) +
               "): rows must decrease weakly";
      if (r > 0 && v > at(r - 1, c))
        return "entry " + where(r, c) + " = " + std::to_string(v) +
               " exceeds the entry above it (" + std::to_string(at(r - 1, c)) +
               "): columns must decrease weakly";
    }
  }
  return {};
}

uint64_t plane_partition_to_paths_bytes(int64_t rows, int64_t cols, int64_t N) {
  return path_array_bytes(N, rows + cols) +
         2 * static_cast<uint64_t>(std::min(rows, cols) + 1) * sizeof(int32_t);
}

PathArray plane_partition_to_paths(const int32_t* a, int32_t rows, int32_t cols, int32_t N) {
  const int32_t S = rows, T = rows + cols;
  PathArray paths(N, T);
  minimal_paths(N, T, S, paths);  // slices 0 and T, and every slice when S or T-S is 0
  if (S == 0 || cols == 0) return paths;
  std::vector<int32_t> holes;
  for (int32_t t = 1; t < T; ++t) {
    // The diagonal of slice t starts at 1-based cell (S, t) below slice T-S,
    // at (T-t, T-S) above it, and climbs one row up and one column left per
    // hole, the holes going upwards in height from the slice's lowest place.
    int32_t r = t <= cols ? S : T - t;
    int32_t c = t <= cols ? t : cols;
    const int32_t h0 = std::max(0, t - cols);
    const int32_t h1 = std::min(S + N - 1, t + N - 1);
    holes.clear();
    for (int32_t j = 0; r >= 1 && c >= 1; ++j, --r, --c)
      holes.push_back(h0 + j + a[static_cast<std::size_t>(r - 1) * cols + (c - 1)]);
    int32_t* col = paths.slice(t);
    int32_t i = 0;
    std::size_t k = 0;
    for (int32_t h = h0; h <= h1 && i < N; ++h) {
      if (k < holes.size() && holes[k] == h) {
        ++k;
        continue;
      }
      col[i++] = h;
    }
  }
  return paths;
}

}  // namespace lozengia
