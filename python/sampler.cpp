#include "sampler.h"

#include "core/random.h"

namespace lozengia::pymod {

HexagonSampler::HexagonSampler(const HexagonParams& p, int64_t seed)
    : p_(p),
      seed_(seed),
      rng_(seed),
      paths_(p.N, p.T),
      core_(std::make_unique<Sampler>(p.N, p.T, p.model)) {
  init_minimal_paths(p.N, p.T, p.S, paths_);
}

bool HexagonSampler::step(bool plus, int32_t k, bool watch_signals, WarningSink& sink) {
  std::lock_guard<std::mutex> lock(m_);
  Interrupt intr(watch_signals);
  const int32_t S0 = p_.S;
  const uint32_t state0 = rng_.state();
  start_ = paths_;
  for (int32_t j = 0; j < k; ++j) {
    if (intr.poll()) {
      paths_.swap(start_);
      p_.S = S0;
      rng_.set_state(state0);
      return false;
    }
    if (plus)
      core_->step_plus(p_.S, paths_, rng_, sink);
    else
      core_->step_minus(p_.S, paths_, rng_, sink);
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
