// The boxed plane partition of a tiling: an S x (T-S) matrix with entries in
// 0..N, rows and columns weakly decreasing. Entry (r, c) counts the paths that
// lie below one hole (an unoccupied height) of one time slice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/hexagon.h"

namespace lozengia {

struct PlanePartition {
  int32_t rows = 0;                                 // S
  int32_t cols = 0;                                 // T - S
  std::vector<int32_t> cells;                       // row-major
  int32_t operator()(int32_t r, int32_t c) const {  // 1-based
    return cells[static_cast<std::size_t>(r - 1) * cols + (c - 1)];
  }
};

// The whole matrix at once, diagonal by diagonal.
PlanePartition to_plane_partition(const PathArray& paths, int32_t N, int32_t T, int32_t S);

// The same entries a few rows at a time, straight from the paths, without
// the matrix: what the export and the Python module write from, so that a
// partition of any size takes no more memory than a few rows. Each slice
// t = 1..T-1 feeds one diagonal of the matrix (entry (r, c) lies on slice
// S + c - r, rows max(1, S+1-t) to min(S, T-t)): its holes, from the lowest
// place of the slice upwards, are the diagonal's entries from the bottom row
// up, each the count of paths below it. Row 1 takes each slice's highest
// hole on the diagonal, found once by a scan; every later row takes the hole
// below the one before, so each slice is walked down once over all the rows.
// The rows of a block are made slice by slice, so that each slice is read
// in one stretch rather than one entry per row.
class PlanePartitionRows {
 public:
  // `paths` (a configuration at S) must outlive the reader, unchanged.
  PlanePartitionRows(const PathArray& paths, int32_t S);
  int32_t rows() const { return S_; }
  int32_t cols() const { return T_ - S_; }
  // Writes the next `count` rows, cols() entries each, one after the other
  // to out[0..]; rows come 1..S.
  void next_rows(int32_t count, int32_t* out);
  // Writes every row left, block by block: the whole matrix into `out`.
  void rest(int32_t* out);
  // A good number of rows to ask for at once: about 256 KiB of entries.
  static int32_t rows_per_block(int32_t cols);
  // The bytes a reader of a hexagon with T slices allocates.
  static uint64_t bytes_needed(int32_t T);

 private:
  const PathArray& paths_;
  int32_t N_, T_, S_;
  int32_t row_ = 0;  // rows written
  // Per slice: the height of its hole for the next row, and the count of
  // paths below that hole.
  std::vector<int32_t> hole_, below_;
};

// Empty when the rows x cols matrix (row-major) is a plane partition in an
// N-high box: entries in 0..N, weakly decreasing along rows and columns;
// otherwise what is wrong, naming the first bad entry (0-based).
std::string check_plane_partition(const int32_t* a, int64_t rows, int64_t cols, int64_t N);

// What plane_partition_to_paths allocates: the paths and a diagonal.
uint64_t plane_partition_to_paths_bytes(int64_t rows, int64_t cols, int64_t N);

// The paths of a plane partition already checked (the inverse of
// to_plane_partition): T = rows + cols, S = rows. At slice t the holes are
// read from one diagonal of the matrix, each entry counting the paths below
// its hole; the paths fill the other heights.
PathArray plane_partition_to_paths(const int32_t* a, int32_t rows, int32_t cols, int32_t N);

}  // namespace lozengia
