// A failed plane partition export never destroys what was there: full disks,
// folders that vanish or may not be written, files that may not be replaced.
// Each case checks the message the text window would show and the old file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/hexagon.h"
#include "core/plane_partition.h"
#include "render/pp_writer.h"
#include "support/files.h"
#include "support/partition_text.h"
#include "support/temp_dir.h"

namespace lozengia {
namespace {

namespace fs = std::filesystem;
using testing::become_unprivileged;
using testing::in_child;
using testing::kNobody;
using testing::partition_text;
using testing::read_file;

const std::string kOld = "the user's old file, which must survive\n";

// A tiling whose partition's text is large (rows of 8-character fields), so
// that a write cut short really is cut short.
const PathArray& big_tiling() {
  static const PathArray p = [] {
    PathArray a(20, 400);
    minimal_paths(20, 400, 200, a);
    return a;
  }();
  return p;
}
WriteStatus export_big(const std::string& path) {
  return export_plane_partition(path, big_tiling(), 200);
}
std::string big_text() { return partition_text(to_plane_partition(big_tiling(), 20, 400, 200)); }

// A folder the unprivileged child can reach too.
class Files : public ::testing::Test {
 protected:
  fs::path old_file(const std::string& name, mode_t mode = 0644) {
    const fs::path p = dir / name;
    testing::write_file(p, kOld);
    ::chmod(p.c_str(), mode);
    return p;
  }
  // Nothing but the expected names in the folder: no temporary file left over.
  std::size_t entries() const { return dir.entries(); }
  testing::TempDir dir{"lozengia-files", 0777};
};

// A disk that fills up during the write: the file size limit makes every write
// beyond 4 KiB fail as a full disk would. The old file is bigger than nothing
// and smaller than the limit, the new text far bigger.
TEST_F(Files, ADiskFullDuringTheWriteKeepsTheOldFile) {
  const fs::path target = old_file("pp.txt");
  ASSERT_GT(big_text().size(), 64u * 1024);
  const int status = in_child([&] {
    testing::FileSizeLimit limit(4096);
    if (!limit.active()) return 3;
    return export_big(target.string()) == WriteStatus::kWriteError ? 0 : 1;
  });
  EXPECT_EQ(status, 0) << "a cut-short write was not reported as a write error";
  EXPECT_STREQ(write_status_message(WriteStatus::kWriteError), "Error while writing to file");
  EXPECT_EQ(read_file(target), kOld);
  EXPECT_EQ(entries(), 1u);
}

// The folder chosen in the save dialog is removed before the write.
TEST_F(Files, AFolderThatVanishedReportsAnOpenError) {
  const fs::path sub = dir / "chosen";
  fs::create_directories(sub);
  const std::string name = (sub / "pp.txt").string();
  fs::remove_all(sub);
  EXPECT_EQ(export_big(name), WriteStatus::kOpenError);
  EXPECT_STREQ(write_status_message(WriteStatus::kOpenError), "Error while opening file");
  EXPECT_FALSE(fs::exists(sub));
  // A folder replaced by a file of the same name.
  { std::ofstream(sub) << kOld; }
  EXPECT_EQ(export_big(name), WriteStatus::kOpenError);
  EXPECT_EQ(read_file(sub), kOld);
}

// A folder that may not be written: the old file in it is writable, and with
// no room for a new file beside it, it is written in place.
TEST_F(Files, AReadOnlyFolderHasItsWritableFileWrittenInPlace) {
  const fs::path sub = dir / "ro";
  fs::create_directories(sub);
  const fs::path target = sub / "pp.txt";
  { std::ofstream(target, std::ios::binary) << kOld; }
  ASSERT_EQ(::chown(sub.c_str(), ::geteuid() == 0 ? kNobody : ::geteuid(), -1), 0);
  ASSERT_EQ(::chown(target.c_str(), ::geteuid() == 0 ? kNobody : ::geteuid(), -1), 0);
  ::chmod(sub.c_str(), 0555);
  const int status = in_child([&] {
    if (!become_unprivileged()) return 3;
    const WriteStatus s = export_big(target.string());
    return s == WriteStatus::kOk ? 0 : s == WriteStatus::kOpenError ? 1 : 2;
  });
  ASSERT_NE(status, 3) << "could not drop to an unprivileged user";
  EXPECT_EQ(status, 0);
  ::chmod(sub.c_str(), 0755);
  EXPECT_EQ(read_file(target), big_text());
  EXPECT_EQ(std::distance(fs::directory_iterator(sub), {}), 1);
}

// A file the user may not write (someone else's, or read-only) is not replaced
// even though the folder would allow a new file beside it.
TEST_F(Files, AFileThatMayNotBeWrittenIsNotReplaced) {
  const fs::path target = old_file("theirs.txt", 0444);
  const int status = in_child([&] {
    if (!become_unprivileged()) return 3;
    return export_big(target.string()) == WriteStatus::kOpenError ? 0 : 1;
  });
  ASSERT_NE(status, 3) << "could not drop to an unprivileged user";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read_file(target), kOld);
  EXPECT_EQ(entries(), 1u);
}

// Replacing keeps what the user set on the old file: a private file stays
// private, and a link the user chose still points at the file it named.
TEST_F(Files, ReplacingKeepsTheFilesModeAndLinks) {
  const fs::path priv = old_file("private.txt", 0600);
  ASSERT_EQ(export_big(priv.string()), WriteStatus::kOk);
  EXPECT_EQ(read_file(priv), big_text());
  struct stat info {};
  ASSERT_EQ(::stat(priv.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u) << "a private file became readable by others";

  const fs::path real = old_file("real.txt");
  fs::create_symlink(real, dir / "link.txt");
  ASSERT_EQ(export_big((dir / "link.txt").string()), WriteStatus::kOk);
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(read_file(real), big_text());
  EXPECT_EQ(entries(), 3u);
}

}  // namespace
}  // namespace lozengia
