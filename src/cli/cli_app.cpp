#include "cli/cli_app.h"

#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "core/fast_sweep.h"
#include "core/operators.h"
#include "core/params.h"
#include "core/plane_partition.h"
#include "render/color_config.h"
#include "render/picture_files.h"
#include "render/pp_writer.h"
#include "render/report_file.h"
#include "render/svg_tiling.h"

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
  // Text as it is, flushed (the progress line), under the same lock as the
  // operators' lines so that the two never interleave.
  void raw(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_);
    err_ << text << std::flush;
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

// A whole decimal integer in lo..hi: blanks around it and a sign allowed,
// nothing else (no octal, hex, exponent or trailing text).
bool parse_integer(const std::string& text, int64_t lo, int64_t hi, int64_t& out) {
  const auto b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return false;
  const auto e = text.find_last_not_of(" \t") + 1;
  const char* first = text.data() + b;
  const char* last = text.data() + e;
  if (*first == '+') ++first;
  if (first == last || *first == '+') return false;
  int64_t v = 0;
  const auto r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last || v < lo || v > hi) return false;
  out = v;
  return true;
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

CliParse parse_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                   CliOptions& opts) {
  CLI::App app{
      "lozengia-cli: exact random lozenge tilings of the hexagon N x (T-S) x S under six "
      "probability models. Values are read exactly as the desktop program's \"New\" dialog "
      "reads them.",
      "lozengia-cli"};
  std::string model = "hahn", N = "50", T = "100", S = "50";
  std::string q, kappa, logqk, K, alpha, beta;
  opts = CliOptions{};
  opts.threads = std::max(1u, std::thread::hardware_concurrency());
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
  // The numbers below are read as text and checked here: CLI11's own reading
  // takes "010" as octal 8 and "0x10" as hex, which nobody means on this
  // command line.
  std::string seed_text, samples_text = "1", count_text = "1", threads_text, style_text,
                         size_text = "800";
  auto* seed_opt = app.add_option("--seed", seed_text, "seed: the same seed gives the same output");
  app.add_option("--samples", samples_text, "average this many runs (integer division), 1..2147483647")
      ->capture_default_str();
  app.add_option("--count", count_text, "this many independent samples, 1..2^40")
      ->capture_default_str();
  app.add_option("--threads", threads_text, "worker threads, 1..1024 (default: every core)");
  app.add_option("--export", opts.export_path,
                 "write the plane partition to FILE ('-' for standard output); the default "
                 "when no picture is asked for");
  app.add_option("--png", opts.png_path, "draw the tiling into a PNG file");
  app.add_option("--svg", opts.svg_path, "draw the tiling into an SVG file");
  app.add_option("--style", style_text,
                 "picture style 1..5 (default: config.cfg's, else 2 'with borders')");
  app.add_option("--size", size_text, "picture size in pixels, 16..20000")->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return CliParse::kHelp;
  } catch (const CLI::ParseError& e) {
    err << e.what() << '\n' << kUsageHint << '\n';
    return CliParse::kBadInput;
  }

  const struct {
    const char* name;
    const std::string& text;
    int64_t lo, hi;
    int64_t* out;
  } numbers[] = {
      {"--seed", seed_text, std::numeric_limits<int64_t>::min(),
       std::numeric_limits<int64_t>::max(), &opts.seed},
      {"--samples", samples_text, 1, 2147483647, &opts.samples},
      {"--count", count_text, 1, int64_t{1} << 40, &opts.count},
  };
  for (const auto& n : numbers) {
    if (n.out == &opts.seed && seed_opt->count() == 0) continue;
    if (!parse_integer(n.text, n.lo, n.hi, *n.out)) {
      err << n.name << ": '" << n.text << "' is not an integer in " << n.lo << ".." << n.hi
          << '\n' << kUsageHint << '\n';
      return CliParse::kBadInput;
    }
  }
  const struct {
    const char* name;
    const std::string& text;
    int64_t lo, hi;
  } small_numbers[] = {
      {"--threads", threads_text, 1, 1024},
      {"--style", style_text, 1, 5},
      {"--size", size_text, 16, 20000},
  };
  int64_t small_values[3] = {opts.threads, opts.style, opts.size_px};
  for (int k = 0; k < 3; ++k) {
    const auto& n = small_numbers[k];
    if (n.text.empty() && k < 2) continue;  // not given: the default stays
    if (!parse_integer(n.text, n.lo, n.hi, small_values[k])) {
      err << n.name << ": '" << n.text << "' is not an integer in " << n.lo << ".." << n.hi
          << '\n' << kUsageHint << '\n';
      return CliParse::kBadInput;
    }
  }
  opts.threads = static_cast<unsigned>(small_values[0]);
  opts.style = static_cast<int32_t>(small_values[1]);
  opts.size_px = static_cast<int>(small_values[2]);

  const std::optional<int32_t> kind = model_kind(model);
  if (!kind) {
    err << "Unknown model '" << model << "'\n" << kUsageHint << '\n';
    return CliParse::kBadInput;
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
      return CliParse::kBadInput;
    }
  }
  // Runs are numbered count * samples; the number must fit the 64-bit index
  // that picks each run's random stream.
  if (opts.samples > std::numeric_limits<int64_t>::max() / opts.count) {
    err << "--count times --samples is too large\n" << kUsageHint << '\n';
    return CliParse::kBadInput;
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
    return CliParse::kBadInput;
  }
  opts.params = checked.params;
  opts.seed_given = seed_opt->count() > 0;
  return CliParse::kRun;
}

namespace {

// While an export is written through a temporary file, an interrupt (Ctrl-C,
// a scheduler's SIGTERM, a closed terminal) removes that file, then ends the
// program as the signal would have. The path is copied where the handler can
// read it without allocating, before the handler is armed; the flag is a
// lock-free atomic, which a handler may read whichever thread it runs on.
char g_temporary[PATH_MAX + 16];
std::atomic<bool> g_armed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void remove_temporary(int sig) {
  if (g_armed.load()) ::unlink(g_temporary);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

class InterruptCleanup {
 public:
  explicit InterruptCleanup(const std::string& path) {
    if (path.empty() || path.size() >= sizeof g_temporary) return;
    std::memcpy(g_temporary, path.c_str(), path.size() + 1);
    g_armed.store(true);
    struct sigaction sa {};
    sa.sa_handler = remove_temporary;
    sigemptyset(&sa.sa_mask);
    for (int k = 0; k < 3; ++k) {
      installed_[k] = ::sigaction(kSignals[k], &sa, &old_[k]) == 0;
      // A signal ignored on entry (a background job's SIGINT, nohup's
      // SIGHUP) stays ignored.
      if (installed_[k] && old_[k].sa_handler == SIG_IGN) {
        ::sigaction(kSignals[k], &old_[k], nullptr);
        installed_[k] = false;
      }
    }
  }
  ~InterruptCleanup() {
    forget();
    for (int k = 0; k < 3; ++k)
      if (installed_[k]) ::sigaction(kSignals[k], &old_[k], nullptr);
  }
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;
  // The temporary file is about to become the export: no longer removed.
  void forget() { g_armed.store(false); }

 private:
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction old_[3] {};
  bool installed_[3] = {false, false, false};
};

int run_options(CliOptions& o, std::ostream& out, std::ostream& err) {
  const HexagonParams p = o.params;
  int64_t seed = o.seed;
  const int64_t samples = o.samples, count = o.count;
  int32_t style = o.style;
  std::string export_path = o.export_path;
  const std::string& png_path = o.png_path;
  const std::string& svg_path = o.svg_path;
  const int size_px = o.size_px;

  // Each worker holds its paths and its sampler's scratch array; each sample
  // of a batch holds its result (an averaged one also a 64-bit sum, two
  // arrays' worth). Fewer samples per batch and fewer workers change nothing
  // in the output, so they are reduced until the arrays fit this machine's
  // memory; a hexagon that does not fit even then is refused before anything
  // is allocated.
  unsigned threads = o.threads;
  const int64_t per_sample = samples > 1 ? 3 : 1;
  // A batch holds some 64 MiB of results (and about as much text), enough
  // for every thread to take several runs.
  const double sample_bytes = static_cast<double>(per_sample) * 4.0 *
                              static_cast<double>(p.N) * (static_cast<double>(p.T) + 1.0);
  int64_t batch = static_cast<int64_t>(
      std::clamp(64.0 * 1024 * 1024 / sample_bytes, 2.0 * threads, 4096.0));
  batch = std::max<int64_t>(1, std::min<int64_t>(count, batch));
  auto arrays = [&] { return static_cast<int>(threads * 2 + batch * per_sample + 1); };
  while (batch > 1 && !check_shape(p.N, p.T, arrays()).empty()) batch /= 2;
  while (threads > 1 && !check_shape(p.N, p.T, arrays()).empty()) --threads;
  if (const std::string why = check_shape(p.N, p.T, arrays()); !why.empty()) {
    err << why << '\n' << kUsageHint << '\n';
    return 2;
  }
  const bool tty = ::isatty(2) == 1;
  if (!o.seed_given) {
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
  // An SVG picture too large to write is refused before anything is sampled.
  if (!svg_path.empty()) {
    if (const std::string why = svg_size_check(p.N, p.T, p.S, style); !why.empty()) {
      err << why << '\n';
      return 2;
    }
  }
  const bool to_export = !export_path.empty() || !pictures;
  if (export_path.empty()) export_path = "-";
  // The export file is opened before anything is sampled (a wrong path is
  // told at once) and written batch by batch through a temporary file, which
  // replaces it when the run has ended well; an interrupted run removes it.
  const bool to_file = to_export && export_path != "-";
  ReplacingFile export_file;
  if (to_file) {
    if (const WriteStatus ws = export_file.open(export_path); ws != WriteStatus::kOk) {
      err << write_status_message(ws) << '\n';
      return 1;
    }
  }
  InterruptCleanup cleanup(export_file.temporary());

  // Run r (r = index * samples + j) has its own stream, so the output depends
  // on the seed only, whatever the number of threads.
  StderrSink sink(err);
  std::string text;
  int status = 0;

  // A long run on a terminal shows its progress on one line of standard error,
  // counted in sweeps over every run.
  std::atomic<int64_t> sweeps_done{0};
  const double total_sweeps = static_cast<double>(count) * static_cast<double>(samples) *
                              static_cast<double>(std::max<int32_t>(p.S, 1));
  std::mutex progress_mutex;
  std::condition_variable progress_cv;
  bool finished = false;
  bool progress_shown = false;
  std::thread progress;
  if (tty) {
    progress = std::thread([&] {
      const auto started = std::chrono::steady_clock::now();
      std::unique_lock<std::mutex> lock(progress_mutex);
      while (!progress_cv.wait_for(lock, std::chrono::milliseconds(250), [&] { return finished; })) {
        if (std::chrono::steady_clock::now() - started < std::chrono::seconds(1)) continue;
        const double done = static_cast<double>(sweeps_done.load(std::memory_order_relaxed));
        char line[64];
        std::snprintf(line, sizeof line, "\r%5.1f%% of %lld sample(s)", 100.0 * done / total_sweeps,
                      static_cast<long long>(count));
        sink.raw(line);
        progress_shown = true;
      }
    });
  }
  auto stop_progress = [&] {
    if (!progress.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(progress_mutex);
      finished = true;
    }
    progress_cv.notify_all();
    progress.join();
    if (progress_shown) sink.raw("\n");
  };
  for (int64_t first = 0; first < count && status == 0; first += batch) {
    const int64_t last = std::min(count, first + batch);
    std::vector<std::vector<int64_t>> sums(static_cast<std::size_t>(last - first));
    std::vector<PathArray> single(static_cast<std::size_t>(last - first));
    std::atomic<int64_t> next{first * samples};
    const int64_t end_run = last * samples;
    std::mutex sum_mutex;
    // Many runs: one thread each. Fewer runs than threads: the threads share
    // each run, consecutive sweeps at once. Either way every sweep draws from
    // its own stream, so the samples are the same.
    const int64_t runs = end_run - first * samples;
    const unsigned inner = runs < static_cast<int64_t>(threads) ? threads : 1u;
    auto worker = [&]() {
      PathArray paths(p.N, p.T);
      for (;;) {
        const int64_t r = next.fetch_add(1);
        if (r >= end_run) break;
        exact_sample_streams(p, paths, stream_seed(seed, static_cast<uint64_t>(r)), inner, sink,
                             &sweeps_done);
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
      }
    };
    const unsigned nthreads = inner > 1 ? 1u : static_cast<unsigned>(std::min<int64_t>(threads, runs));
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
    // The export is written batch by batch, so that a long run streams and
    // its text is never held whole.
    if (to_export) {
      bool written;
      if (to_file) {
        written = export_file.write(text);
      } else {
        out << text;
        out.flush();
        written = static_cast<bool>(out);
      }
      text.clear();
      if (!written) {
        stop_progress();
        err << "Error while writing to file\n";
        return 1;
      }
    }
  }
  stop_progress();
  if (status != 0) return status;
  if (to_file) {
    cleanup.forget();
    const WriteStatus ws = export_file.commit();
    if (ws != WriteStatus::kOk) {
      err << write_status_message(ws) << '\n';
      return 1;
    }
  }
  return 0;
}

}  // namespace

int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CliOptions opts;
  switch (parse_cli(argc, argv, out, err, opts)) {
    case CliParse::kHelp: return 0;
    case CliParse::kBadInput: return 2;
    case CliParse::kRun: break;
  }
  try {
    return run_options(opts, out, err);
  } catch (const std::bad_alloc&) {
    err << "Not enough memory for this run\n";
    return 1;
  }
}

}  // namespace lozengia
