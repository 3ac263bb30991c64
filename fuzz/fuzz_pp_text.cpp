// Plane partition text of arbitrary bytes, fed in two pieces cut anywhere:
// the reader must either name a fault (a line and a column inside the text)
// or hand over partitions that are plane partitions, whose tiling is a
// tiling of their hexagon and whose export reads back to the same entries;
// never crash, hang or take more than its limit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/hexagon.h"
#include "core/plane_partition.h"
#include "core/pp_text.h"
#include "render/pp_writer.h"

using namespace lozengia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t cut = data[0] % size;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const std::size_t n = size - 1;
  PartitionTextReader reader(PartitionTextLimits{1 << 20});
  const bool ok = reader.feed(text, cut > n ? n : cut) &&
                  reader.feed(text + (cut > n ? n : cut), n - (cut > n ? n : cut)) &&
                  reader.finish();
  if (!ok) {
    const TextFault& f = reader.fault();
    if (f.what.empty() || f.at.line < 1 || f.at.column < 1) __builtin_trap();
    return 0;
  }
  for (const ReadPartition& r : reader.partitions()) {
    const PlanePartition& pp = r.pp;
    if (pp.rows < 1 || pp.cols < 1) __builtin_trap();
    const int32_t N = r.largest < 1 ? 1 : r.largest;
    if (!check_plane_partition(pp.cells.data(), pp.rows, pp.cols, N).empty()) __builtin_trap();
    if (!check_shape(N, pp.rows + pp.cols, 1).empty()) continue;  // too large to convert here
    if (static_cast<uint64_t>(N) * (pp.rows + pp.cols + 1) > (1u << 22)) continue;
    const PathArray paths = plane_partition_to_paths(pp.cells.data(), pp.rows, pp.cols, N);
    if (!check_invariants(paths, N, pp.rows + pp.cols, pp.rows).empty()) __builtin_trap();
    std::string exported;
    append_plane_partition(exported, to_plane_partition(paths, N, pp.rows + pp.cols, pp.rows));
    PartitionTextReader again;
    if (!again.feed(exported.data(), exported.size()) || !again.finish()) __builtin_trap();
    if (again.partitions().size() != 1 || again.partitions()[0].pp.cells != pp.cells)
      __builtin_trap();
  }
  return 0;
}
