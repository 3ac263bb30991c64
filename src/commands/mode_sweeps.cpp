#include "commands/mode_sweeps.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lozengia {

namespace {

// Keeps the messages of sweeps running side by side, to be given in the
// order of the sweeps once they are all made.
class KeptMessages final : public SweepObserver {
 public:
  void line(int32_t sweep, const std::string& text) override { add(sweep, false, text); }
  void overflow_report(int32_t sweep, const std::string& text) override { add(sweep, true, text); }
  void finished(int32_t) override {}

  void give(MessageSink& sink) {
    // A sweep's own messages are in the order it made them.
    std::stable_sort(kept_.begin(), kept_.end(),
                     [](const Message& a, const Message& b) { return a.sweep < b.sweep; });
    for (const Message& m : kept_) {
      if (m.report)
        sink.overflow_report(m.text);
      else
        sink.line(m.text);
    }
    kept_.clear();
  }

 private:
  struct Message {
    int32_t sweep;
    bool report;
    std::string text;
  };
  void add(int32_t sweep, bool report, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_);
    kept_.push_back(Message{sweep, report, text});
  }
  std::mutex m_;
  std::vector<Message> kept_;
};

}  // namespace

int32_t sweep_hexagon(Hexagon& hex, StreamSweeps how, MessageSink& sink) {
  const HexagonParams p = hex.params;
  // Under about a millisecond of sweeping, starting threads costs more than
  // it saves.
  const int64_t cells = static_cast<int64_t>(std::max(how.steps, 0)) * p.N * (int64_t{p.T} + 1);
  if (cells < (int64_t{1} << 18)) how.threads = 1;
  const std::shared_ptr<const ModelTables> tables = tables_for(p.N, p.T, p.model);
  KeptMessages kept;
  how.tables = tables.get();
  how.scratch = &hex.scratch_paths;
  how.observer = &kept;
  how.sweeps_done = nullptr;
  NullSink unused;  // every message goes through the observer
  const int32_t made = sweep_streams(p, hex.paths, how, unused);
  if (how.alternate)
    hex.params.S += made % 2 == 0 ? 0 : how.plus == (how.first_sweep % 2 == 0) ? 1 : -1;
  else
    hex.params.S += how.plus ? made : -made;
  kept.give(sink);
  return made;
}

int64_t run_seed(RandomSource& rng) {
  int64_t seed = 0;
  rng.with_lock([&](ParkMiller& g) { seed = g.next_raw(); });
  return seed;
}

}  // namespace lozengia
