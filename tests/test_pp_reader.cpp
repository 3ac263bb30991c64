// Plane partition files read back: the round trip export -> read -> export
// for every model, the export's own edge cases (entries of 8 digits that
// touch), and hostile texts and files, each refused with its line, column
// and reason.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/fast_sweep.h"
#include "core/message_sink.h"
#include "core/plane_partition.h"
#include "core/pp_text.h"
#include "render/pp_reader.h"
#include "render/pp_writer.h"
#include "support/files.h"
#include "support/models.h"
#include "support/temp_dir.h"

namespace lozengia {
namespace {

using testing::TempDir;

std::string export_text(const PathArray& paths, int32_t S) {
  std::string text;
  stream_plane_partition(paths, S, [&](const char* d, std::size_t n) {
    text.append(d, n);
    return true;
  });
  return text;
}

// Reads `text` in pieces of `piece` bytes (a line split anywhere).
PartitionTextReader read_text(const std::string& text, std::size_t piece = 7,
                              PartitionTextLimits limits = {}) {
  PartitionTextReader r(limits);
  for (std::size_t at = 0; at < text.size(); at += piece)
    if (!r.feed(text.data() + at, std::min(piece, text.size() - at))) return r;
  r.finish();
  return r;
}

TEST(PartitionReader, ExportOpenExportIsByteIdenticalForEveryModel) {
  const int32_t N = 5, T = 12, S = 5;
  NullSink sink;
  int64_t seed = 7;
  for (const ModelParams& model : testing::one_model_of_each_kind(N, T)) {
    const HexagonParams p{N, T, S, model};
    PathArray paths(N, T);
    exact_sample_streams(p, paths, ++seed, 1, sink);
    // Two samples, as --count writes them: separated by one empty line.
    PathArray second(N, T);
    exact_sample_streams(p, second, ++seed, 1, sink);
    const std::string text = export_text(paths, S) + "\n" + export_text(second, S);
    PartitionTextReader r = read_text(text);
    ASSERT_TRUE(r.fault().what.empty()) << kModelNames[model.kind] << ": " << r.fault().text();
    ASSERT_EQ(r.partitions().size(), 2u);
    std::string again;
    for (std::size_t k = 0; k < 2; ++k) {
      const ReadPartition& rp = r.partitions()[k];
      EXPECT_EQ(rp.pp.rows, S);
      EXPECT_EQ(rp.pp.cols, T - S);
      EXPECT_EQ(rp.first_line, k == 0 ? 1 : S + 2);
      PathArray back = plane_partition_to_paths(rp.pp.cells.data(), rp.pp.rows, rp.pp.cols, N);
      EXPECT_EQ(back, k == 0 ? paths : second) << kModelNames[model.kind];
      again += (k ? "\n" : "") + export_text(back, S);
    }
    EXPECT_EQ(again, text) << kModelNames[model.kind];
  }
}

TEST(PartitionReader, EntriesOfEightDigitsThatTouchAreReadByTheirFields) {
  // N = 12345678 gives fields with no blank between them.
  const std::string text = "123456781234567812345678\n12345678       3       0\n";
  PartitionTextReader r = read_text(text, 5);
  ASSERT_TRUE(r.fault().what.empty()) << r.fault().text();
  const PlanePartition& pp = r.partitions().at(0).pp;
  EXPECT_EQ(pp.cells, (std::vector<int32_t>{12345678, 12345678, 12345678, 12345678, 3, 0}));
  EXPECT_EQ(r.partitions()[0].largest, 12345678);
}

TEST(PartitionReader, BlankSeparatedTextWithCrlfAndTrailingBlanks) {
  PartitionTextReader r = read_text("\r\n 3 2  1 \r\n2\t1 0\t\r\n\r\n\r\n1\r\n", 3);
  ASSERT_TRUE(r.fault().what.empty()) << r.fault().text();
  ASSERT_EQ(r.partitions().size(), 2u);
  EXPECT_EQ(r.partitions()[0].pp.cells, (std::vector<int32_t>{3, 2, 1, 2, 1, 0}));
  EXPECT_EQ(r.partitions()[0].first_line, 2);
  EXPECT_EQ(r.partitions()[1].pp.cells, (std::vector<int32_t>{1}));
}

TEST(PartitionReader, HostileTextsAreRefusedWithLineColumnAndReason) {
  struct Case {
    const char* name;
    std::string text;
    int64_t line, column;
    const char* reason;
  };
  std::string long_line;
  for (int k = 0; k < 1'000'000; ++k) long_line += " 1";
  const std::vector<Case> cases = {
      {"ragged (longer)", "3 2\n2 1 1\n", 2, 5, "this line has 3 entries, the line above it 2"},
      {"ragged (shorter)", "3 2 1\n2 1\n", 2, 4, "this line has 2 entries, the line above it 3"},
      {"negative", "3 2\n1 -1\n", 2, 3, "entry '-1' is negative"},
      {"huge", "99999999999999999999999999999\n", 1, 1, "is too large"},
      {"beyond 32 bits", "2147483648\n", 1, 1, "is too large"},
      {"increasing row", "1 2\n", 1, 3, "larger than the entry 1 left of it"},
      {"increasing column", "2 1\n3 0\n", 2, 1, "larger than the entry 2 above it"},
      {"not a number", "2 x1\n", 1, 3, "'x1' is not a whole number"},
      {"a fraction", "2 1.5\n", 1, 3, "'1.5' is not a whole number"},
      {"binary", std::string("3 2\n\x00\x01\x02", 7), 2, 1, "binary data (byte 0x00)"},
      {"empty", "", 1, 1, "no plane partition in the file"},
      {"blanks only", "  \n\t\n", 1, 1, "no plane partition in the file"},
      {"a million fields, then a short line", long_line + "\n1\n", 2, 2,
       "this line has 1 entry, the line above it 1000000"},
  };
  for (const Case& c : cases) {
    PartitionTextReader r = read_text(c.text, 4096);
    const TextFault& f = r.fault();
    EXPECT_NE(f.what.find(c.reason), std::string::npos) << c.name << ": " << f.text();
    EXPECT_EQ(f.at.line, c.line) << c.name << ": " << f.text();
    EXPECT_EQ(f.at.column, c.column) << c.name << ": " << f.text();
  }
}

TEST(PartitionReader, MemoryAndBoundLimitsAreFaultsNotAllocations) {
  std::string long_line;
  for (int k = 0; k < 100'000; ++k) long_line += " 1";
  PartitionTextReader small = read_text(long_line + "\n", 4096, PartitionTextLimits{64 * 1024});
  EXPECT_NE(small.fault().what.find("need more memory than may be taken"), std::string::npos)
      << small.fault().text();
  PartitionTextReader bounded = read_text("3 2\n2 2\n", 7, PartitionTextLimits{UINT64_MAX, 2});
  EXPECT_EQ(bounded.fault().text(),
            "line 1, column 1: entry '3' is too large: entries lie in 0..2");
  // The largest entry's place, for an N chosen after reading.
  PartitionTextReader r = read_text("2 2\n2 1\n");
  ASSERT_TRUE(r.fault().what.empty());
  EXPECT_EQ(check_partition_bound(r.partitions()[0], 2), "");
  EXPECT_EQ(check_partition_bound(r.partitions()[0], 1),
            "line 1, column 1: entry 2 exceeds N = 1: entries lie in 0..N");
}

TEST(PartitionFileReader, RefusesWhatIsNotARegularTextFileWithoutBlocking) {
  TempDir dir;
  const std::string fifo = (dir.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string good = (dir.path() / "pp.txt").string();
  testing::write_file(good, "       2       1\n       1       0\n");
  const std::string binary = (dir.path() / "pic.png").string();
  testing::write_file(binary, std::string("\x89PNG\r\n\x1a\n\0\0", 10));
  struct Case {
    std::string path, message;
  };
  const std::vector<Case> cases = {
      {fifo, fifo + ": not a regular file"},
      {dir.path().string(), dir.path().string() + ": is a folder"},
      {good + ".missing", good + ".missing: No such file or directory"},
      {binary, binary + ": line 1, column 1: binary data (byte 0x89"},
  };
  for (const Case& c : cases) {
    const PartitionFile f = read_partition_file(c.path);
    EXPECT_EQ(f.error.rfind(c.message, 0), 0u) << f.error;
    EXPECT_TRUE(f.partitions.empty());
  }
  const PartitionFile f = read_partition_file(good);
  ASSERT_EQ(f.error, "");
  ASSERT_EQ(f.partitions.size(), 1u);
  EXPECT_EQ(f.partitions[0].pp.cells, (std::vector<int32_t>{2, 1, 1, 0}));
}

}  // namespace
}  // namespace lozengia
