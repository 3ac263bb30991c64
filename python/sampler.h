// The state behind lozengia.Sampler: one hexagon's configuration, moved by
// the two operators on one Park-Miller stream (as the desktop program's step
// commands draw), or replaced by exact samples on lozengia-cli's streams.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "core/hexagon.h"
#include "core/memory_need.h"
#include "core/random.h"
#include "core/weights.h"
#include "sampling.h"

namespace lozengia::pymod {

class HexagonSampler {
 public:
  // Starts from the minimal configuration at p.S. `max_memory` (0: what the
  // machine has) bounds what each of its calls may take.
  HexagonSampler(const HexagonParams& p, int64_t seed, uint64_t max_memory = 0);
  // What the sampler itself holds: its configuration and the array its
  // steps sweep into (the model's tables come with the first step).
  static MemoryNeed need(const HexagonParams& p);
  // What step() and exact() allocate.
  MemoryNeed step_need();
  MemoryNeed exact_need(int32_t S, unsigned threads);
  uint64_t max_memory() const { return max_memory_; }

  // Every method below locks the sampler, so Python threads may share one;
  // the ones that sample must be called without the interpreter's lock and
  // return false when interrupted, the sampler then being as it was (its
  // configuration, S, and the position of its streams).
  bool step(bool plus, int32_t k, bool watch_signals, WarningSink& sink);
  // An exact sample at S, the next run of the seed's runs: run r (counted
  // from 0 over the sampler's life) is lozengia.sample's run r of that seed.
  bool exact(int32_t S, unsigned threads, bool watch_signals, WarningSink& sink);

  // Replaces the configuration by `tiling`, a configuration of the
  // sampler's hexagon at its S.
  void set_tiling(PathArray tiling);

  // A copy of the configuration and its S, taken together.
  PathArray paths(int32_t& S);
  HexagonParams params();
  int64_t seed() const { return seed_; }
  int64_t runs();

 private:
  std::mutex m_;
  HexagonParams p_;
  int64_t seed_;
  uint64_t max_memory_;
  int64_t runs_ = 0;
  ParkMiller rng_;
  PathArray paths_, start_, scratch_;
  // The model's tables, built by the first step and kept with the sampler
  // (freed with it, whatever thread it ran on).
  std::unique_ptr<const ModelTables> tables_;
};

}  // namespace lozengia::pymod
