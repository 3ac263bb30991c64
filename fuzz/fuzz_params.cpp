// The "New" dialog's check on arbitrary text: the first byte picks the model
// (including kinds outside 1..6), the rest is split at newlines into the
// fields N, T, S, q, kappa/i, log_q(kappa) or K, alpha, beta. An accepted
// entry must be storable, and a small accepted hexagon is set up and stepped
// up and down: every configuration must be valid and no warning may appear.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/hexagon.h"
#include "core/message_sink.h"
#include "core/params.h"
#include "core/step_command.h"

using namespace lozengia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  NewHexagonInput in;
  in.kind = static_cast<ModelKind>(data[0] % 8);
  std::string* fields[] = {&in.N,     &in.T,         &in.S,     &in.q,
                           &in.kappa, &in.logq_or_K, &in.alpha, &in.beta};
  std::size_t f = 0;
  for (std::size_t i = 1; i < size && f < 8; ++i) {
    if (data[i] == '\n')
      ++f;
    else
      fields[f]->push_back(static_cast<char>(data[i]));
  }
  const NewHexagonResult r = check_new_hexagon(in);
  if (!r.ok) {
    if (r.message.empty()) __builtin_trap();
    return 0;
  }
  const HexagonParams& p = r.params;
  const ModelParams& m = p.model;
  if (p.N < 1 || p.T < 1 || p.S < 0 || p.S > p.T || m.kind < 1 || m.kind > 6) __builtin_trap();
  if (!std::isfinite(m.q) || !(m.q > 0.0) || !std::isfinite(m.K) || !std::isfinite(m.alpha) ||
      !std::isfinite(m.beta))
    __builtin_trap();
  if (!check_shape(p.N, p.T).empty()) __builtin_trap();
  // The report and the dialog's pre-fill must work on anything accepted.
  (void)parameter_report(p);
  (void)new_dialog_prefill(p);

  if (static_cast<int64_t>(p.N) * (p.T + 1) > 400) return 0;
  Hexagon hex;
  if (!set_hexagon(hex, p).empty()) __builtin_trap();
  RandomSource rng(static_cast<int64_t>(size) * 7919 + data[0]);
  CollectSink sink;
  for (int k = 0; k < 4; ++k) {
    const bool plus = k % 2 == 0 ? hex.params.S < hex.params.T : hex.params.S == 0;
    const int32_t room = plus ? hex.params.T - hex.params.S : hex.params.S;
    if (room == 0) break;
    run_step_command(hex, plus, room < 3 ? room : 3, 1, rng, sink);
    if (!check_invariants(hex.paths, hex.params.N, hex.params.T, hex.params.S).empty()) __builtin_trap();
  }
  for (const std::string& line : sink.lines)
    if (line.rfind("Iteration ", 0) != 0) __builtin_trap();
  if (!sink.reports.empty()) __builtin_trap();
  return 0;
}
