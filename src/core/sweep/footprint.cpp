// What the fast sweeps allocate, counted from the sizes their buffers are
// given (sweep/workspace.h, weights.h) and the layout sweep_streams chooses.
#include <algorithm>
#include <atomic>

#include "core/fast_sweep.h"
#include "core/sweep/workspace.h"

namespace lozengia {

namespace {

// A thread's containers of the batch's sweeps (generators, message tags,
// slice functions, the deques' blocks): a few words per sweep, at most.
constexpr uint64_t kBookkeepingPerSweep = 256;
constexpr uint64_t kBookkeepingPerThread = 4096;

}  // namespace

MemoryNeed fast_sweep_need(int32_t N) {
  return bytes_only(sweep::SweepWorkspace::bytes_needed(N, false));
}

MemoryNeed sweep_work_need(const HexagonParams& p, const StreamSweeps& how) {
  const SweepLayout layout = sweep_layout(p, how);
  if (layout.steps == 0) return {};
  // Each thread: one scratch shared by the sweeps of its batch, and a
  // workspace per sweep of the batch (no more than there are sweeps).
  const int32_t sweeps = std::min(layout.batch, layout.steps);
  const uint64_t per_thread =
      sweep::SliceScratch::bytes_needed(p.N) + kBookkeepingPerThread +
      times_bytes(static_cast<uint64_t>(sweeps),
                  sweep::SweepWorkspace::bytes_needed(p.N, true) + kBookkeepingPerSweep);
  MemoryNeed need;
  need.bytes = add_bytes(times_bytes(layout.threads, per_thread),
                         static_cast<uint64_t>(layout.steps) * sizeof(std::atomic<int32_t>));
  need.threads = layout.threads - 1;
  return need;
}

MemoryNeed sweep_streams_need(const HexagonParams& p, const StreamSweeps& how) {
  MemoryNeed need = sweep_work_need(p, how);
  if (sweep_layout(p, how).steps == 0) return need;
  if (how.tables == nullptr) need += bytes_only(ModelTables::bytes_needed(p.N, p.T, p.model));
  if (how.scratch == nullptr) need += bytes_only(path_array_bytes(p.N, p.T));
  return need;
}

}  // namespace lozengia
