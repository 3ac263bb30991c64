#include "sampler.h"

#include "core/fast_sweep.h"
#include "core/random.h"

namespace lozengia::pymod {

HexagonSampler::HexagonSampler(const HexagonParams& p, int64_t seed, uint64_t max_memory)
    : p_(p), seed_(seed), max_memory_(max_memory), rng_(seed), paths_(p.N, p.T) {
  minimal_paths(p.N, p.T, p.S, paths_);
}

MemoryNeed HexagonSampler::need(const HexagonParams& p) {
  return bytes_only(2 * path_array_bytes(p.N, p.T));
}

MemoryNeed HexagonSampler::step_need() {
  std::lock_guard<std::mutex> lock(m_);
  // The start kept for an interrupt, the tables the first time, the sweep.
  MemoryNeed need = bytes_only(path_array_bytes(p_.N, p_.T)) + fast_sweep_need(p_.N);
  if (!tables_) need += bytes_only(ModelTables::bytes_needed(p_.N, p_.T, p_.model));
  if (scratch_.n() != p_.N || scratch_.t() != p_.T)
    need += bytes_only(path_array_bytes(p_.N, p_.T));
  return need;
}

MemoryNeed HexagonSampler::exact_need(int32_t S, unsigned threads) {
  std::lock_guard<std::mutex> lock(m_);
  HexagonParams p = p_;
  p.S = S;
  // The result, beside the configuration until it replaces it.
  return bytes_only(path_array_bytes(p.N, p.T)) + exact_run_need(p, threads);
}

bool HexagonSampler::step(bool plus, int32_t k, bool watch_signals, WarningSink& sink) {
  std::lock_guard<std::mutex> lock(m_);
  Interrupt intr(watch_signals);
  const int32_t S0 = p_.S;
  const uint32_t state0 = rng_.state();
  if (!tables_) tables_ = std::make_unique<const ModelTables>(p_.N, p_.T, p_.model);
  if (scratch_.n() != p_.N || scratch_.t() != p_.T) scratch_.resize(p_.N, p_.T);
  start_ = paths_;
  for (int32_t j = 0; j < k; ++j) {
    if (intr.poll()) {
      paths_.swap(start_);
      p_.S = S0;
      rng_.set_state(state0);
      return false;
    }
    // The operators' sweeps on the sampler's own tables: the same draws.
    if (plus)
      fast_sweep_plus(*tables_, p_.N, p_.T, p_.S, paths_, scratch_, rng_, sink);
    else
      fast_sweep_minus(*tables_, p_.N, p_.T, p_.S, paths_, scratch_, rng_, sink);
    paths_.swap(scratch_);
    p_.S += plus ? 1 : -1;
  }
  start_ = PathArray();
  return true;
}

bool HexagonSampler::exact(int32_t S, unsigned threads, bool watch_signals, WarningSink& sink) {
  std::lock_guard<std::mutex> lock(m_);
  Interrupt intr(watch_signals);
  HexagonParams p = p_;
  p.S = S;
  PathArray result(p.N, p.T);
  if (!exact_run(p, stream_seed(seed_, static_cast<uint64_t>(runs_)), threads, result, intr, sink))
    return false;
  paths_.swap(result);
  p_.S = S;
  ++runs_;
  return true;
}

void HexagonSampler::set_tiling(PathArray tiling) {
  std::lock_guard<std::mutex> lock(m_);
  paths_.swap(tiling);
}

PathArray HexagonSampler::paths(int32_t& S) {
  std::lock_guard<std::mutex> lock(m_);
  S = p_.S;
  return paths_;
}

HexagonParams HexagonSampler::params() {
  std::lock_guard<std::mutex> lock(m_);
  return p_;
}

int64_t HexagonSampler::runs() {
  std::lock_guard<std::mutex> lock(m_);
  return runs_;
}

}  // namespace lozengia::pymod
