// Plane partition conversion and its text file.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <tuple>

#include "core/operators.h"
#include "core/plane_partition.h"
#include "core/reference_sweeps.h"
#include "render/pp_writer.h"
#include "support/exact_families.h"
#include "support/files.h"
#include "support/partition_text.h"
#include "support/temp_dir.h"

namespace lozengia {
namespace {

using testing::partition_text;
using testing::read_file;

// Every entry lies in 0..N and rows and columns weakly decrease.
::testing::AssertionResult is_boxed_plane_partition(const PlanePartition& pp, int32_t N) {
  for (int32_t r = 1; r <= pp.rows; ++r)
    for (int32_t c = 1; c <= pp.cols; ++c) {
      const int32_t v = pp(r, c);
      if (v < 0 || v > N || (r > 1 && v > pp(r - 1, c)) || (c > 1 && v > pp(r, c - 1)))
        return ::testing::AssertionFailure() << "entry (" << r << "," << c << ") = " << v;
    }
  return ::testing::AssertionSuccess();
}

long volume(const PlanePartition& pp) {
  long v = 0;
  for (int32_t x : pp.cells) v += x;
  return v;
}

// The sum of the heights of all holes. The q-Hahn weight of a tiling is the
// product of q^g over its holes, and it must be q^volume up to a factor of the
// shape alone; the minimal configuration (all paths as low as they go, every
// box present) has volume N*S*(T-S). So the volume follows from the paths as
// N*S*(T-S) - (holes(minimal) - holes(paths)), without the export's diagonals.
long hole_height_sum(const PathArray& p, int32_t N, int32_t T, int32_t S) {
  long sum = 0;
  testing::for_each_hole(p, N, T, S, [&](int32_t, int32_t g) { sum += g; });
  return sum;
}

long volume_from_paths(const PathArray& p, int32_t N, int32_t T, int32_t S) {
  PathArray minimal(N, T);
  minimal_paths(N, T, S, minimal);
  return static_cast<long>(N) * S * (T - S) -
         (hole_height_sum(minimal, N, T, S) - hole_height_sum(p, N, T, S));
}

// The partition as the row reader gives it, and the text streamed from the
// paths in pieces: the export's own path, checked against the matrix.
PlanePartition by_rows(const PathArray& p, int32_t S) {
  PlanePartitionRows rows(p, S);
  PlanePartition pp;
  pp.rows = rows.rows();
  pp.cols = rows.cols();
  pp.cells.resize(static_cast<std::size_t>(pp.rows) * static_cast<std::size_t>(pp.cols));
  rows.rest(pp.cells.data());
  return pp;
}

std::string streamed_text(const PathArray& p, int32_t S) {
  std::string text;
  EXPECT_TRUE(stream_plane_partition(p, S, [&](const char* data, std::size_t size) {
    text.append(data, size);
    return true;
  }));
  return text;
}

TEST(PlanePartition, TheSmallestExample) {
  PathArray p(1, 2);
  p(1, 0) = 0;
  p(1, 1) = 0;
  p(1, 2) = 1;
  const PlanePartition pp = to_plane_partition(p, 1, 2, 1);
  ASSERT_EQ(pp.rows, 1);
  ASSERT_EQ(pp.cols, 1);
  EXPECT_EQ(pp(1, 1), 1);
  EXPECT_EQ(partition_text(pp), "       1\n");
  // The other tiling of that hexagon: the path rises first, nothing lies below the hole.
  p(1, 1) = 1;
  EXPECT_EQ(partition_text(to_plane_partition(p, 1, 2, 1)), "       0\n");
}

TEST(PlanePartition, FieldsAreEightWideRightAlignedAndStarredWhenTooWide) {
  PlanePartition pp;
  pp.rows = 2;
  pp.cols = 5;
  pp.cells = {0, 7, 12345678, 99999999, 100000000, -1, -9999999, -10000000, INT32_MIN, INT32_MAX};
  EXPECT_EQ(partition_text(pp),
            "       0       71234567899999999********\n"
            "      -1-9999999************************\n");
  // Appending keeps what the text held, and gives the same bytes.
  std::string text = "x";
  append_plane_partition(text, pp);
  EXPECT_EQ(text, "x" + partition_text(pp));
}

TEST(PlanePartition, MinimalConfigurationIsFullAndEmptySidesWriteNothing) {
  PathArray p(3, 7);
  minimal_paths(3, 7, 3, p);
  const PlanePartition pp = to_plane_partition(p, 3, 7, 3);
  EXPECT_EQ(pp.rows, 3);
  EXPECT_EQ(pp.cols, 4);
  for (int32_t v : pp.cells) EXPECT_EQ(v, 3);
  EXPECT_EQ(partition_text(pp),
            "       3       3       3       3\n"
            "       3       3       3       3\n"
            "       3       3       3       3\n");
  minimal_paths(3, 7, 0, p);
  EXPECT_EQ(partition_text(to_plane_partition(p, 3, 7, 0)), "");  // S = 0: no rows
  minimal_paths(3, 7, 7, p);
  EXPECT_EQ(partition_text(to_plane_partition(p, 3, 7, 7)), "");  // S = T: no columns
  // Read row by row too: 7 rows of nothing.
  EXPECT_EQ(by_rows(p, 7).rows, 7);
  EXPECT_TRUE(by_rows(p, 7).cells.empty());
  EXPECT_EQ(streamed_text(p, 7), "");
}

// Every family of small hexagons: each partition is boxed, has the volume its
// paths give, and no two families share one. As many families as boxed plane
// partitions exist (MacMahon's count, checked with the exact tests), so the
// export is a bijection.
TEST(PlanePartition, EveryFamilyOfSmallHexagonsGivesItsOwnPartition) {
  for (auto [N, T, S] : {std::tuple{1, 2, 1}, {2, 4, 2}, {3, 6, 3}, {3, 5, 1}, {2, 5, 4}}) {
    std::set<std::vector<int32_t>> seen;
    std::set<long> volumes;
    const auto families = testing::all_families(N, T, S);
    for (const testing::Family& f : families) {
      const PathArray p = testing::to_paths(f, N, T);
      const PlanePartition pp = to_plane_partition(p, N, T, S);
      ASSERT_EQ(pp.rows, S);
      ASSERT_EQ(pp.cols, T - S);
      ASSERT_TRUE(is_boxed_plane_partition(pp, N)) << N << "x" << T << "x" << S;
      ASSERT_EQ(volume(pp), volume_from_paths(p, N, T, S)) << N << "x" << T << "x" << S;
      ASSERT_EQ(by_rows(p, S).cells, pp.cells) << N << "x" << T << "x" << S;
      seen.insert(pp.cells);
      volumes.insert(volume(pp));
    }
    EXPECT_EQ(seen.size(), families.size())
        << "two tilings of " << N << "x" << T << "x" << S << " share a partition";
    // Every volume from the empty box to the full one occurs.
    EXPECT_EQ(volumes.size(), static_cast<std::size_t>(N * S * (T - S) + 1));
  }
}

// Random samples of larger hexagons: boxed partitions whose volume is the
// one their paths give, and whose streamed text is the matrix's (the first
// long and thin hexagons' texts take several pieces).
TEST(PlanePartition, RandomSamplesGiveBoxedPlanePartitionsOfTheirVolume) {
  ParkMiller rng(99);
  NullSink sink;
  for (auto [N, T, S] : {std::tuple{1, 2000, 1000},
                         {2, 900, 600},
                         {5, 12, 4},
                         {1, 6, 3},
                         {7, 9, 8},
                         {4, 10, 1},
                         {30, 70, 33},
                         {40, 50, 49}}) {
    for (int rep = 0; rep < 3; ++rep) {
      PathArray p(N, T);
      exact_sample(HexagonParams{N, T, S, {}}, p, rng, sink);
      const PlanePartition pp = to_plane_partition(p, N, T, S);
      EXPECT_TRUE(is_boxed_plane_partition(pp, N)) << N << "x" << T << "x" << S;
      EXPECT_EQ(volume(pp), volume_from_paths(p, N, T, S)) << N << "x" << T << "x" << S;
      EXPECT_EQ(streamed_text(p, S), partition_text(pp)) << N << "x" << T << "x" << S;
    }
  }
}

TEST(ExportFile, WritesAndReplacesAnExistingFile) {
  testing::TempDir dir("lozengia-export");
  PathArray p(2, 4);
  minimal_paths(2, 4, 2, p);
  const std::string path = (dir / "pp.txt").string();
  testing::write_file(path, "old contents that are longer than the new ones\n");
  EXPECT_EQ(export_plane_partition(path, p, 2), WriteStatus::kOk);
  EXPECT_EQ(read_file(path), "       2       2\n       2       2\n");
  // No temporary files left beside it.
  EXPECT_EQ(dir.entries(), 1u);
}

// Names that cannot be opened for writing. Full disks, read-only files and
// folders are the failed-write tests' (test_files.cpp), which also run as root.
TEST(ExportFile, NamesThatCannotBeWrittenAreOpenErrors) {
  testing::TempDir dir("lozengia-export");
  PathArray p(2, 4);
  minimal_paths(2, 4, 2, p);
  EXPECT_EQ(export_plane_partition((dir / "missing" / "pp.txt").string(), p, 2),
            WriteStatus::kOpenError);
  EXPECT_STREQ(write_status_message(WriteStatus::kOpenError), "Error while opening file");
  EXPECT_EQ(export_plane_partition(dir.str(), p, 2), WriteStatus::kOpenError);  // a folder
  EXPECT_EQ(export_plane_partition("", p, 2), WriteStatus::kOpenError);
  EXPECT_EQ(dir.entries(), 0u);
}

}  // namespace
}  // namespace lozengia
