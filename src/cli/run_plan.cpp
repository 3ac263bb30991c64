#include "cli/run_plan.h"

#include <algorithm>

#include "core/fast_sweep.h"
#include "core/memory_limit.h"
#include "render/output_file.h"
#include "render/png_encoder.h"
#include "render/pp_writer.h"
#include "render/svg_tiling.h"

namespace lozengia {

namespace {

// One worker's share: its paths, the second array it sweeps into, and the
// workspaces of the exact sample's sweeps on `threads` threads.
MemoryNeed worker_need(const HexagonParams& p, unsigned threads) {
  StreamSweeps how;
  how.threads = threads;
  HexagonParams from = p;
  from.S = 0;
  how.steps = p.S;
  return bytes_only(2 * path_array_bytes(p.N, p.T)) + sweep_work_need(from, how);
}

}  // namespace

MemoryNeed run_need(const CliOptions& o, unsigned threads, int64_t batch) {
  const HexagonParams& p = o.params;
  const uint64_t array = path_array_bytes(p.N, p.T);
  MemoryNeed need;
  if (p.S > 0) need += bytes_only(ModelTables::bytes_needed(p.N, p.T, p.model));
  const auto held = static_cast<uint64_t>(batch);
  need += bytes_only(o.samples > 1 ? add_bytes(times_bytes(held, 2 * array), array)
                                   : times_bytes(held, array));

  // A batch's runs one per worker side by side, or, fewer runs than
  // workers (the last batch may have them), each run on every worker.
  const int64_t runs = batch * o.samples;
  const unsigned side = static_cast<unsigned>(std::min<int64_t>(threads, runs));
  MemoryNeed side_by_side = times(side, worker_need(p, 1));
  side_by_side.threads += side - 1;
  const MemoryNeed sampling = larger(side_by_side, worker_need(p, threads));

  // The outputs, one after the other for each sample.
  MemoryNeed writing;
  const bool pictures = !o.png_path.empty() || !o.svg_path.empty();
  if (!o.export_path.empty() || !pictures)
    writing = larger(writing, bytes_only(stream_plane_partition_bytes(p.T, p.S)));
  if (!o.png_path.empty()) {
    const uint64_t side_px = static_cast<uint64_t>(o.size_px);
    const uint64_t pixels = side_px * side_px * 4;  // the picture as 32-bit pixels
    MemoryNeed png = bytes_only(pixels + encode_png_bytes(o.size_px, o.size_px));
    writing = larger(writing, png);
  }
  if (!o.svg_path.empty())
    writing = larger(
        writing, bytes_only(svg_memory_bound(p.N, p.T, p.S, static_cast<StyleNumber>(o.style))));
  need += larger(sampling, writing);
  need.threads += 1;  // the progress line
  return need;
}

RunPlan plan_run(const CliOptions& o) {
  const HexagonParams& p = o.params;
  RunPlan plan;
  plan.threads = o.threads;
  // Arrays of this shape must be indexable at all.
  if (std::string why = check_shape(p.N, p.T, 1); !why.empty()) {
    plan.refused = why;
    return plan;
  }
  const int64_t per_sample = o.samples > 1 ? 3 : 1;
  // A batch holds some 64 MiB of results, enough for every thread to take
  // several runs.
  const double sample_bytes = static_cast<double>(per_sample) * 4.0 * static_cast<double>(p.N) *
                              (static_cast<double>(p.T) + 1.0);
  plan.batch = static_cast<int64_t>(
      std::clamp(64.0 * 1024 * 1024 / sample_bytes, 2.0 * plan.threads, 4096.0));
  plan.batch = std::max<int64_t>(1, std::min<int64_t>(o.count, plan.batch));
  const MemoryRoom room = o.max_memory != 0 ? MemoryRoom{} : memory_room();
  auto refusal = [&] {
    plan.need = run_need(o, plan.threads, plan.batch);
    return memory_refusal(plan.need, room, o.max_memory);
  };
  while (plan.batch > 1 && !refusal().empty()) plan.batch /= 2;
  while (plan.threads > 1 && !refusal().empty()) --plan.threads;
  plan.refused = refusal();
  return plan;
}

std::string numbered(const std::string& path, int64_t index, int64_t count) {
  if (count <= 1 || output_kind(path) == OutputKind::kStream) return path;
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  // Appended rather than "-" + to_string(...), which GCC 12 at -O3 warns
  // about wrongly (a -Wrestrict false positive).
  std::string tag = "-";
  tag += std::to_string(index + 1);
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + tag;
  return path.substr(0, dot) + tag + path.substr(dot);
}

}  // namespace lozengia
