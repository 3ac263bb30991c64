#include "cli/from_file.h"

#include <cstdlib>
#include <ostream>
#include <string>

#include "cli/run_outputs.h"
#include "cli/run_plan.h"
#include "cli/stderr_sink.h"
#include "core/fast_sweep.h"
#include "core/memory_limit.h"
#include "core/plane_partition.h"
#include "core/random.h"
#include "render/pp_reader.h"

namespace lozengia {

namespace {

int refuse(std::ostream& err, const std::string& why) {
  err << why << '\n' << kUsageHint << '\n';
  return 2;
}

}  // namespace

int run_from_file(const CliOptions& given, std::ostream& err) {
  CliOptions o = given;
  PartitionTextLimits limits{o.max_memory};
  // A given N bounds the entries as they are read.
  int32_t N_given = 0;
  if (o.N_given && parse_int32(o.from_model.N, N_given) && N_given >= 1)
    limits.largest_entry = N_given;
  PartitionFile file = read_partition_file(o.from_path, limits);
  if (!file.error.empty()) return refuse(err, file.error);
  const auto held = static_cast<int64_t>(file.partitions.size());
  if (o.from_index > held)
    return refuse(err, "--index " + std::to_string(o.from_index) + ": " + o.from_path + " holds " +
                           std::to_string(held) + " plane partition" + (held == 1 ? "" : "s"));
  ReadPartition& r = file.partitions[static_cast<std::size_t>(o.from_index - 1)];
  const int32_t S0 = r.pp.rows, T = r.pp.rows + r.pp.cols;

  // The hexagon: T and S from the file, N its largest entry unless given;
  // the model from the options, checked with them as the "New" dialog does.
  NewHexagonInput in = o.from_model;
  int32_t T_given = 0;
  if (o.T_given && parse_int32(in.T, T_given) && T_given != T)
    return refuse(err, "-T " + in.T + ": the plane partition read has " + std::to_string(S0) +
                           " rows of " + std::to_string(r.pp.cols) +
                           " entries, so T = " + std::to_string(T));
  in.T = std::to_string(T);
  if (!o.N_given) in.N = std::to_string(std::max(1, r.largest));
  if (!o.S_given) in.S = std::to_string(S0);
  const NewHexagonResult checked = check_new_hexagon(in);
  if (!checked.ok) return refuse(err, checked.message);
  o.params = checked.params;
  const HexagonParams& p = o.params;
  if (const std::string why = check_partition_bound(r, p.N); !why.empty())
    return refuse(err, o.from_path + ": " + why);

  // Counted before anything is made: the run as one sample, the tiling made
  // from the partition, and the sweeps that move it.
  HexagonParams from = p;
  from.S = S0;
  StreamSweeps how;
  how.plus = p.S > S0;
  how.steps = std::abs(p.S - S0);
  how.threads = o.threads;
  MemoryNeed need =
      run_need(o, o.threads, 1) + bytes_only(plane_partition_to_paths_bytes(S0, r.pp.cols, p.N));
  if (how.steps > 0) need += sweep_streams_need(from, how);
  if (const std::string why = check_shape(p.N, p.T, 1); !why.empty()) return refuse(err, why);
  if (const std::string why = memory_refusal(need, o.max_memory); !why.empty())
    return refuse(err, why);

  PathArray paths = plane_partition_to_paths(r.pp.cells.data(), S0, r.pp.cols, p.N);
  file.partitions.clear();
  RunOutputs outputs(o);
  if (const int status = outputs.open_or_refuse(err); status != 0) return status;
  StderrSink sink(err);
  if (how.steps > 0) {
    // Seeded as run 0 of an exact run with the same seed: the same seed
    // moves the same tiling the same way on every machine.
    ThreadShortfall shortfall(sink);
    how.seed = stream_seed(run_seed(o, err), 0);
    how.shortfall = &shortfall;
    sweep_streams(from, paths, how, sink);
  }
  if (std::string failed = outputs.add(0, paths); !failed.empty()) {
    err << failed << '\n';
    return 1;
  }
  if (std::string failed = outputs.commit(); !failed.empty()) {
    err << failed << '\n';
    return 1;
  }
  return 0;
}

}  // namespace lozengia
