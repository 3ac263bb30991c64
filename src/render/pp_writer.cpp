#include "render/pp_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

namespace lozengia {

namespace {

// The pieces handed to the writer: large enough that a write costs nothing
// next to the formatting, small enough to stay in the cache.
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

std::size_t line_bytes(int32_t cols) { return static_cast<std::size_t>(cols) * 8 + 1; }

}  // namespace

void format_plane_partition_row(const int32_t* row, int32_t cols, char* at) {
  // Every field has the same width, so the fields are written in place: a
  // large partition (a million entries at n = 1000) is written in a few
  // milliseconds instead of a formatted call per entry.
  for (int32_t c = 0; c < cols; ++c) {
    char digits[16];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, row[c]);
    const std::size_t len = static_cast<std::size_t>(end - digits);
    if (len > 8) {
      std::memcpy(at, "********", 8);  // does not fit the field
    } else {
      std::memset(at, ' ', 8 - len);  // right-aligned, as "%8d"
      std::memcpy(at + 8 - len, digits, len);
    }
    at += 8;
  }
  *at = '\n';
}

void append_plane_partition(std::string& out, const PlanePartition& pp) {
  if (pp.cols <= 0 || pp.rows <= 0) return;
  const std::size_t line = line_bytes(pp.cols);
  const std::size_t from = out.size();
  out.resize(from + line * static_cast<std::size_t>(pp.rows));
  for (int32_t r = 0; r < pp.rows; ++r)
    format_plane_partition_row(pp.cells.data() + static_cast<std::size_t>(r) * pp.cols, pp.cols,
                               out.data() + from + static_cast<std::size_t>(r) * line);
}

void write_plane_partition(std::ostream& os, const PlanePartition& pp) {
  std::string text;
  append_plane_partition(text, pp);
  os << text;
}

namespace {

// A piece holds a whole number of blocks of rows, and at least one block.
std::size_t piece_bytes(int32_t cols, int32_t block) {
  const std::size_t block_text = line_bytes(cols) * static_cast<std::size_t>(block);
  return std::max<std::size_t>(1, kPieceBytes / block_text) * block_text;
}

}  // namespace

uint64_t stream_plane_partition_bytes(int32_t T, int32_t S) {
  const int32_t cols = std::max(T - S, 0);
  const int32_t block = PlanePartitionRows::rows_per_block(cols);
  return PlanePartitionRows::bytes_needed(T) +
         static_cast<uint64_t>(cols) * static_cast<uint64_t>(block) * sizeof(int32_t) +
         piece_bytes(cols, block);
}

bool stream_plane_partition(const PathArray& paths, int32_t S, const TextWriter& write) {
  PlanePartitionRows rows(paths, S);
  const int32_t cols = rows.cols();
  if (cols <= 0 || rows.rows() <= 0) return true;
  const std::size_t line = line_bytes(cols);
  const int32_t block = PlanePartitionRows::rows_per_block(cols);
  std::vector<int32_t> entries(static_cast<std::size_t>(cols) * static_cast<std::size_t>(block));
  std::vector<char> piece(piece_bytes(cols, block));
  std::size_t used = 0;
  for (int32_t r = 0; r < rows.rows(); r += block) {
    const int32_t count = std::min(block, rows.rows() - r);
    rows.next_rows(count, entries.data());
    for (int32_t k = 0; k < count; ++k) {
      format_plane_partition_row(entries.data() + static_cast<std::size_t>(k) * cols, cols,
                                 piece.data() + used);
      used += line;
    }
    if (used + line * static_cast<std::size_t>(block) > piece.size()) {
      if (!write(piece.data(), used)) return false;
      used = 0;
    }
  }
  return used == 0 || write(piece.data(), used);
}

WriteStatus export_plane_partition(const std::string& path, const PathArray& paths, int32_t S) {
  ReplacingFile file;
  if (const WriteStatus status = file.open(path); status != WriteStatus::kOk) return status;
  // A failed write stops the text; the commit then tells it, and leaves a
  // replaced file as it was.
  stream_plane_partition(
      paths, S, [&](const char* data, std::size_t size) { return file.write(data, size); });
  return file.commit();
}

}  // namespace lozengia
