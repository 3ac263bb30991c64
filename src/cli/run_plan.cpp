#include "cli/run_plan.h"

#include <algorithm>

#include "render/output_file.h"

namespace lozengia {

RunPlan plan_run(const CliOptions& o) {
  const HexagonParams& p = o.params;
  RunPlan plan;
  plan.threads = o.threads;
  const int64_t per_sample = o.samples > 1 ? 3 : 1;
  // A batch holds some 64 MiB of results (and about as much text), enough
  // for every thread to take several runs.
  const double sample_bytes = static_cast<double>(per_sample) * 4.0 * static_cast<double>(p.N) *
                              (static_cast<double>(p.T) + 1.0);
  plan.batch = static_cast<int64_t>(
      std::clamp(64.0 * 1024 * 1024 / sample_bytes, 2.0 * plan.threads, 4096.0));
  plan.batch = std::max<int64_t>(1, std::min<int64_t>(o.count, plan.batch));
  auto arrays = [&] { return static_cast<int>(plan.threads * 2 + plan.batch * per_sample + 1); };
  while (plan.batch > 1 && !check_shape(p.N, p.T, arrays()).empty()) plan.batch /= 2;
  while (plan.threads > 1 && !check_shape(p.N, p.T, arrays()).empty()) --plan.threads;
  plan.refused = check_shape(p.N, p.T, arrays());
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
