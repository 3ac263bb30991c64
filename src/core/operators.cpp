#include "core/operators.h"

#include <charconv>

#include "core/draw_chooser.h"
#include "core/fast_sweep.h"
#include "core/weights.h"

namespace lozengia {

const char* const kBugReportLine =
    "If you want to help improving the program, please, send the description of the "
    "situation when this bug appeared to the Lozengia maintainers (see the README for "
    "how to reach them)";

std::string format_real(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

namespace {

template <bool Plus>
void run(const HexagonParams& hexagon, const PathArray& old, PathArray& new_paths, ParkMiller& rng,
         MessageSink& sink) {
  const auto [N, T, S, model] = hexagon;
  const auto tables = tables_for(N, T, model);
  if constexpr (Plus)
    fast_sweep_plus(*tables, N, T, S, old, new_paths, rng, sink);
  else
    fast_sweep_minus(*tables, N, T, S, old, new_paths, rng, sink);
}

}  // namespace

void operator_sweep_plus(const HexagonParams& hexagon, const PathArray& old, PathArray& new_paths,
                         RandomSource& rng, MessageSink& sink) {
  rng.with_lock([&](ParkMiller& g) { run<true>(hexagon, old, new_paths, g, sink); });
}
void operator_sweep_minus(const HexagonParams& hexagon, const PathArray& old, PathArray& new_paths,
                          RandomSource& rng, MessageSink& sink) {
  rng.with_lock([&](ParkMiller& g) { run<false>(hexagon, old, new_paths, g, sink); });
}
void operator_sweep_plus(const HexagonParams& hexagon, const PathArray& old, PathArray& new_paths,
                         ParkMiller& rng, MessageSink& sink) {
  run<true>(hexagon, old, new_paths, rng, sink);
}
void operator_sweep_minus(const HexagonParams& hexagon, const PathArray& old, PathArray& new_paths,
                          ParkMiller& rng, MessageSink& sink) {
  run<false>(hexagon, old, new_paths, rng, sink);
}

}  // namespace lozengia
