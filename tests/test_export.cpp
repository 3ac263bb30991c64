// Plane partition conversion and its text file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/operators.h"
#include "core/reference_sweeps.h"
#include "core/plane_partition.h"
#include "render/pp_writer.h"

namespace lozengia {
namespace {

std::string text_of(const PlanePartition& pp) {
  std::ostringstream os;
  write_plane_partition(os, pp);
  return os.str();
}

std::string read_file(const std::string& path) {
  std::ifstream is(path);
  std::stringstream ss;
  ss << is.rdbuf();
  return ss.str();
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
  EXPECT_EQ(text_of(pp), "       1\n");
  // The other tiling of that hexagon: the path rises first, nothing lies below the hole.
  p(1, 1) = 1;
  EXPECT_EQ(text_of(to_plane_partition(p, 1, 2, 1)), "       0\n");
}

TEST(PlanePartition, MinimalConfigurationIsFullAndEmptySidesWriteNothing) {
  PathArray p(3, 7);
  INIT_PATHS(3, 7, 3, p);
  const PlanePartition pp = to_plane_partition(p, 3, 7, 3);
  EXPECT_EQ(pp.rows, 3);
  EXPECT_EQ(pp.cols, 4);
  for (int32_t v : pp.cells) EXPECT_EQ(v, 3);
  EXPECT_EQ(text_of(pp),
            "       3       3       3       3\n"
            "       3       3       3       3\n"
            "       3       3       3       3\n");
  INIT_PATHS(3, 7, 0, p);
  EXPECT_EQ(text_of(to_plane_partition(p, 3, 7, 0)), "");  // S = 0: no rows
  INIT_PATHS(3, 7, 7, p);
  EXPECT_EQ(text_of(to_plane_partition(p, 3, 7, 7)), "");  // S = T: no columns
}

// Every entry of a random sample's partition lies in 0..N, rows and columns
// weakly decrease, and the volume matches the paths: each up step of path i
// at slice t stands for the boxes below it.
TEST(PlanePartition, RandomSamplesGiveBoxedPlanePartitions) {
  ParkMiller rng(99);
  NullSink sink;
  for (auto [N, T, S] : {std::tuple{5, 12, 4}, {1, 6, 3}, {7, 9, 8}, {4, 10, 1}}) {
    for (int rep = 0; rep < 5; ++rep) {
      PathArray p(N, T);
      exact_sample(HexagonParams{N, T, S, {}}, p, rng, sink);
      const PlanePartition pp = to_plane_partition(p, N, T, S);
      for (int32_t r = 1; r <= pp.rows; ++r)
        for (int32_t c = 1; c <= pp.cols; ++c) {
          EXPECT_GE(pp(r, c), 0);
          EXPECT_LE(pp(r, c), N);
          if (r > 1) {
            EXPECT_LE(pp(r, c), pp(r - 1, c));
          }
          if (c > 1) {
            EXPECT_LE(pp(r, c), pp(r, c - 1));
          }
        }
      // Distinct tilings give distinct partitions: moving to the minimal
      // configuration gives all N, and any other sample has fewer boxes.
      long volume = 0;
      for (int32_t v : pp.cells) volume += v;
      PathArray minimal(N, T);
      INIT_PATHS(N, T, S, minimal);
      if (!(p == minimal)) {
        EXPECT_LT(volume, static_cast<long>(N) * S * (T - S));
      }
    }
  }
}

class ExportFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("lozengia-export-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
};

TEST_F(ExportFile, WritesAndReplacesAnExistingFile) {
  PathArray p(2, 4);
  INIT_PATHS(2, 4, 2, p);
  const std::string path = (dir / "pp.txt").string();
  { std::ofstream(path) << "old contents that are longer than the new ones\n"; }
  EXPECT_EQ(export_plane_partition(path, to_plane_partition(p, 2, 4, 2)), WriteStatus::kOk);
  EXPECT_EQ(read_file(path), "       2       2\n       2       2\n");
  // No temporary files left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(ExportFile, FailuresKeepTheOldFileAndSayWhich) {
  PathArray p(2, 4);
  INIT_PATHS(2, 4, 2, p);
  const PlanePartition pp = to_plane_partition(p, 2, 4, 2);
  EXPECT_EQ(export_plane_partition((dir / "missing" / "pp.txt").string(), pp),
            WriteStatus::kOpenError);
  EXPECT_STREQ(write_status_message(WriteStatus::kOpenError), "Error while opening file");
  EXPECT_STREQ(write_status_message(WriteStatus::kWriteError), "Error while writing to file");
  EXPECT_EQ(export_plane_partition(dir.string(), pp), WriteStatus::kOpenError);  // a folder
  EXPECT_EQ(export_plane_partition("", pp), WriteStatus::kOpenError);
  // A full device reports a write error.
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_EQ(export_plane_partition("/dev/full", pp), WriteStatus::kWriteError);
  }
  // A read-only file is not replaced (unless we are root, who may write anyway).
  const std::string ro = (dir / "ro.txt").string();
  { std::ofstream(ro) << "keep\n"; }
  ::chmod(ro.c_str(), 0444);
  if (::geteuid() != 0) {
    EXPECT_EQ(export_plane_partition(ro, pp), WriteStatus::kOpenError);
    EXPECT_EQ(read_file(ro), "keep\n");
  }
}

}  // namespace
}  // namespace lozengia
