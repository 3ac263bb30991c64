#include "cli/cli_app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "core/operators.h"
#include "core/params.h"
#include "core/plane_partition.h"
#include "render/color_config.h"
#include "render/picture_files.h"
#include "render/pp_writer.h"
#include "render/report_file.h"

namespace lozengia {

namespace {

const char* const kUsageHint = "Run 'lozengia-cli --help' for the options.";

// Messages of the operators go to standard error; overflow reports to the
// report file in the working directory, as in the desktop program.
class StderrSink final : public MessageSink {
 public:
  explicit StderrSink(std::ostream& err) : err_(err) {}
  void line(const std::string& text) override {
    std::lock_guard<std::mutex> lock(m_);
    err_ << text << '\n';
  }
  void overflow_report(const std::string& text) override {
    std::lock_guard<std::mutex> lock(m_);
    append_overflow_report(text);
  }

 private:
  std::mutex m_;
  std::ostream& err_;
};

std::optional<int32_t> model_kind(const std::string& name) {
  static const std::pair<const char*, int32_t> names[] = {
      {"imaginary-q-racah", kImaginaryQRacah}, {"real-q-racah", kRealQRacah},
      {"trigonometric", kTrigonometric},       {"racah", kRacah},
      {"q-hahn", kQHahn},                      {"hahn", kHahn},
  };
  for (const auto& [n, k] : names)
    if (name == n) return k;
  int32_t k = 0;
  if (parse_int32(name, k) && k >= 1 && k <= 6) return k;
  return std::nullopt;
}

// "pic.png" with index 3 of many -> "pic-3.png".
std::string numbered(const std::string& path, int64_t index, int64_t count) {
  if (count <= 1) return path;
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  const std::string tag = "-" + std::to_string(index + 1);
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return path + tag;
  return path.substr(0, dot) + tag + path.substr(dot);
}

}  // namespace

int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{
      "lozengia-cli: exact random lozenge tilings of the hexagon N x (T-S) x S under six "
      "probability models. Values are read exactly as the desktop program's \"New\" dialog "
      "reads them.",
      "lozengia-cli"};
  std::string model = "hahn", N = "50", T = "100", S = "50";
  std::string q, kappa, logqk, K, alpha, beta;
  int64_t seed = 0;
  int64_t samples = 1, count = 1;
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::string export_path, png_path, svg_path;
  int32_t style = 0;
  int size_px = 800;
  app.add_option("--model", model,
                 "hahn | q-hahn | racah | trigonometric | real-q-racah | imaginary-q-racah, or "
                 "the kind number 1..6")
      ->capture_default_str();
  app.add_option("-N", N, "number of paths")->capture_default_str();
  app.add_option("-T", T, "number of time steps")->capture_default_str();
  app.add_option("-S", S, "the third side, 0..T")->capture_default_str();
  auto* q_opt = app.add_option("--q", q, "q (q-hahn, real-q-racah, imaginary-q-racah)");
  auto* kappa_opt = app.add_option("--kappa", kappa, "kappa/i (imaginary-q-racah)");
  auto* logqk_opt = app.add_option("--log-q-kappa", logqk, "log_q(kappa) (real-q-racah)");
  auto* K_opt = app.add_option("--K", K, "K (racah)");
  auto* alpha_opt = app.add_option("--alpha", alpha, "alpha (trigonometric)");
  auto* beta_opt = app.add_option("--beta", beta, "beta (trigonometric)");
  auto* seed_opt = app.add_option("--seed", seed, "seed: the same seed gives the same output");
  app.add_option("--samples", samples, "average this many runs (integer division)")
      ->check(CLI::Range(int64_t{1}, int64_t{2147483647}))
      ->capture_default_str();
  app.add_option("--count", count, "this many independent samples")
      ->check(CLI::Range(int64_t{1}, int64_t{1} << 40))
      ->capture_default_str();
  app.add_option("--threads", threads, "worker threads (default: every core)")
      ->check(CLI::Range(1u, 1024u));
  app.add_option("--export", export_path,
                 "write the plane partition to FILE ('-' for standard output); the default "
                 "when no picture is asked for");
  app.add_option("--png", png_path, "draw the tiling into a PNG file");
  app.add_option("--svg", svg_path, "draw the tiling into an SVG file");
  app.add_option("--style", style,
                 "picture style 1..5 (default: config.cfg's, else 2 'with borders')")
      ->check(CLI::Range(1, 5));
  app.add_option("--size", size_px, "picture size in pixels")
      ->check(CLI::Range(16, 20000))
      ->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    err << e.what() << '\n' << kUsageHint << '\n';
    return 2;
  }

  const std::optional<int32_t> kind = model_kind(model);
  if (!kind) {
    err << "Unknown model '" << model << "'\n" << kUsageHint << '\n';
    return 2;
  }
  // An option the chosen model does not read is refused rather than ignored,
  // so that a typo cannot silently sample another model.
  const EnabledFields en = SETENB_MODE(*kind);
  const std::pair<CLI::Option*, bool> uses[] = {
      {q_opt, en.q},
      {kappa_opt, en.kappa},
      {logqk_opt, *kind == kRealQRacah},
      {K_opt, *kind == kRacah},
      {alpha_opt, en.alpha},
      {beta_opt, en.beta},
  };
  for (const auto& [opt, used] : uses) {
    if (opt->count() > 0 && !used) {
      err << "Option " << opt->get_name() << " does not apply to the model "
          << kModelNames[*kind] << '\n'
          << kUsageHint << '\n';
      return 2;
    }
  }

  NewHexagonInput in;
  in.kind = *kind;
  in.N = N;
  in.T = T;
  in.S = S;
  in.q = q;
  in.kappa = kappa;
  in.logq_or_K = *kind == kRacah ? K : logqk;
  in.alpha = alpha;
  in.beta = beta;
  const NewHexagonResult checked = FUNCTION_NEW(in);
  if (!checked.ok) {
    err << checked.message << '\n' << kUsageHint << '\n';
    return 2;
  }
  const HexagonParams p = checked.params;
  const bool tty = ::isatty(2) == 1;
  if (seed_opt->count() == 0) {
    seed = clock_seed();
    if (tty) err << "Seed " << seed << '\n';
  }

  // Pictures use the colours of config.cfg when it is there.
  const bool pictures = !png_path.empty() || !svg_path.empty();
  ColorConfig colors;
  if (pictures) {
    colors = load_color_config();
    if (style == 0) style = colors.style;
  }
  const bool to_export = !export_path.empty() || !pictures;
  if (export_path.empty()) export_path = "-";

  // Run r (r = index * samples + j) has its own stream, so the output depends
  // on the seed only, whatever the number of threads.
  const int64_t runs = count * samples;
  StderrSink sink(err);
  std::vector<PathArray> results(static_cast<std::size_t>(std::min<int64_t>(count, 1 << 20)));
  std::string text;
  int status = 0;

  const int64_t batch = std::max<int64_t>(1, std::min<int64_t>(count, 4096));
  std::atomic<int64_t> done_runs{0};
  const auto started = std::chrono::steady_clock::now();
  bool progress_shown = false;
  for (int64_t first = 0; first < count && status == 0; first += batch) {
    const int64_t last = std::min(count, first + batch);
    std::vector<std::vector<int64_t>> sums(static_cast<std::size_t>(last - first));
    std::vector<PathArray> single(static_cast<std::size_t>(last - first));
    std::atomic<int64_t> next{first * samples};
    const int64_t end_run = last * samples;
    std::mutex sum_mutex;
    auto worker = [&]() {
      PathArray paths(p.N, p.T);
      for (;;) {
        const int64_t r = next.fetch_add(1);
        if (r >= end_run) break;
        ParkMiller rng(stream_seed(seed, static_cast<uint64_t>(r)));
        exact_sample(p, paths, rng, sink);
        const std::size_t slot = static_cast<std::size_t>(r / samples - first);
        if (samples == 1) {
          single[slot] = paths;
        } else {
          std::lock_guard<std::mutex> lock(sum_mutex);
          auto& s = sums[slot];
          if (s.empty()) s.assign(paths.size(), 0);
          const int32_t* d = paths.data();
          for (std::size_t e = 0; e < s.size(); ++e) s[e] += d[e];
        }
        done_runs.fetch_add(1);
      }
    };
    const unsigned nthreads =
        static_cast<unsigned>(std::min<int64_t>(threads, end_run - first * samples));
    std::vector<std::thread> pool;
    for (unsigned k = 1; k < nthreads; ++k) pool.emplace_back(worker);
    worker();
    for (auto& th : pool) th.join();

    for (int64_t idx = first; idx < last; ++idx) {
      const std::size_t slot = static_cast<std::size_t>(idx - first);
      PathArray& result = single[slot];
      if (samples > 1) {
        result = PathArray(p.N, p.T);
        const auto& s = sums[slot];
        int32_t* d = result.data();
        for (std::size_t e = 0; e < s.size(); ++e) d[e] = static_cast<int32_t>(s[e] / samples);
      }
      if (to_export) {
        if (idx > 0) text += '\n';
        std::ostringstream os;
        write_plane_partition(os, to_plane_partition(result, p.N, p.T, p.S));
        text += os.str();
      }
      if (!png_path.empty() &&
          !write_tiling_png(numbered(png_path, idx, count), result, p.N, p.T, p.S, style,
                            colors.colors, size_px)) {
        err << "Error while writing to file" << " " << numbered(png_path, idx, count) << '\n';
        status = 1;
        break;
      }
      if (!svg_path.empty() &&
          !write_tiling_svg(numbered(svg_path, idx, count), result, p.N, p.T, p.S, style,
                            colors.colors, size_px)) {
        err << "Error while writing to file" << " " << numbered(svg_path, idx, count) << '\n';
        status = 1;
        break;
      }
    }
    // Standard output is written batch by batch, so that a long run streams.
    if (to_export && export_path == "-") {
      out << text;
      out.flush();
      text.clear();
      if (!out) {
        err << "Error while writing to file\n";
        return 1;
      }
    }
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (tty && secs > 1.0 && last < count) {
      err << "\rsample " << last << " of " << count << std::flush;
      progress_shown = true;
    }
  }
  if (progress_shown) err << '\n';
  (void)runs;
  if (status != 0) return status;
  if (to_export && export_path != "-") {
    const WriteStatus ws = write_file_replacing(export_path, text);
    if (ws != WriteStatus::kOk) {
      err << write_status_message(ws) << '\n';
      return 1;
    }
  }
  return 0;
}

}  // namespace lozengia
