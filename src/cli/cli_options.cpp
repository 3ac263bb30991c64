#include "cli/cli_options.h"

#include <unistd.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>
#include <optional>
#include <ostream>
#include <thread>
#include <tuple>
#include <vector>

#include "cli/run_plan.h"
#include "core/memory_limit.h"
#include "core/params.h"
#include "core/random.h"
#include "render/output_target.h"
#include "render/report_file.h"
#include "render/tiling.h"

namespace lozengia {

const char* const kUsageHint = "Run 'lozengia-cli --help' for the options.";

namespace {

std::optional<ModelKind> model_kind(const std::string& name) {
  static const std::pair<const char*, ModelKind> names[] = {
      {"imaginary-q-racah", kImaginaryQRacah},
      {"real-q-racah", kRealQRacah},
      {"trigonometric", kTrigonometric},
      {"racah", kRacah},
      {"q-hahn", kQHahn},
      {"hahn", kHahn},
  };
  for (const auto& [n, k] : names)
    if (name == n) return k;
  int32_t k = 0;
  if (!parse_int32(name, k)) return std::nullopt;
  return model_kind_numbered(k);
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

// The model and its parameters as typed, given to the "New" dialog's check.
struct ModelTexts {
  std::string model = "hahn", N = "50", T = "100", S = "50";
  std::string q, kappa, logqk, K, alpha, beta;
  std::string index;  // --index, read as the integer options are
  CLI::Option *q_opt = nullptr, *kappa_opt = nullptr, *logqk_opt = nullptr, *K_opt = nullptr,
              *alpha_opt = nullptr, *beta_opt = nullptr;
};

// The integer options, typed as text: CLI11's own reading takes "010" as
// octal 8 and "0x10" as hex, which nobody means on this command line. Each
// is read into `value` when it was given (`value` keeps its default else;
// an empty text, as `--threads "$UNSET"` gives, too where `empty_is_default`).
struct IntegerOption {
  const char* name;
  std::string text;
  int64_t lo, hi;
  int64_t value;
  bool empty_is_default = false;
  CLI::Option* option = nullptr;
};

void add_options(CLI::App& app, ModelTexts& m, IntegerOption* integers, std::size_t count,
                 CliOptions& opts) {
  app.add_option("--model", m.model,
                 "hahn | q-hahn | racah | trigonometric | real-q-racah | imaginary-q-racah, or "
                 "the kind number 1..6")
      ->capture_default_str();
  app.add_option("-N", m.N, "number of paths")->capture_default_str();
  app.add_option("-T", m.T, "number of time steps")->capture_default_str();
  app.add_option("-S", m.S, "the third side, 0..T")->capture_default_str();
  m.q_opt = app.add_option("--q", m.q, "q (q-hahn, real-q-racah, imaginary-q-racah)");
  m.kappa_opt = app.add_option("--kappa", m.kappa, "kappa/i (imaginary-q-racah)");
  m.logqk_opt = app.add_option("--log-q-kappa", m.logqk, "log_q(kappa) (real-q-racah)");
  m.K_opt = app.add_option("--K", m.K, "K (racah)");
  m.alpha_opt = app.add_option("--alpha", m.alpha, "alpha (trigonometric)");
  m.beta_opt = app.add_option("--beta", m.beta, "beta (trigonometric)");
  static const char* const kHelp[] = {
      "seed: the same seed gives the same output",
      "average this many runs (integer division), 1..2147483647",
      "this many independent samples, 1..2^40",
      "worker threads, 1..1024 (default: every core)",
      "picture style 1..5 (default: config.cfg's, else 2 'with borders')",
      "the picture's long side in pixels, 16..20000",
  };
  for (std::size_t k = 0; k < count; ++k) {
    IntegerOption& n = integers[k];
    n.option = app.add_option(n.name, n.text, kHelp[k]);
    if (!n.text.empty()) n.option->capture_default_str();
    if (n.name != std::string("--threads")) continue;
    // The outputs, listed in the help between the run and the picture's look.
    app.add_option("--export", opts.export_path,
                   "write the plane partition to FILE ('-' for standard output); the default "
                   "when no picture is asked for");
    app.add_option("--png", opts.png_path,
                   "draw the tiling into a PNG file ('-' for standard output)");
    app.add_option("--svg", opts.svg_path,
                   "draw the tiling into an SVG file ('-' for standard output)");
    app.add_flag("--in-place", opts.in_place,
                 "write a file whose folder may not be written even when no copy of its old "
                 "content can be kept to put back if the run fails (it is then left cut short)");
  }
  app.add_option("--from", opts.from_path,
                 "start from the tiling of a plane partition FILE (as --export writes it) "
                 "instead of an exact sample: N, T and S come from the file, -N may raise N, "
                 "-S moves the tiling there with the S->S+1 or S->S-1 steps");
  app.add_option("--index", m.index,
                 "with --from: the K-th plane partition of the file (counted from 1)");
  app.add_option("--max-memory", opts.max_memory_text,
                 "the most memory the run may take, such as 800M, 16G or 4GiB (default: what "
                 "the machine has available)");
}

bool refuse(std::ostream& err, const std::string& why) {
  err << why << '\n' << kUsageHint << '\n';
  return false;
}

// An option the chosen model does not read is refused rather than ignored,
// so that a typo cannot silently sample another model.
bool check_model_options(const ModelTexts& m, ModelKind kind, std::ostream& err) {
  const EnabledFields en = enabled_fields(kind);
  const std::pair<CLI::Option*, bool> uses[] = {
      {m.q_opt, en.q},           {m.kappa_opt, en.kappa}, {m.logqk_opt, kind == kRealQRacah},
      {m.K_opt, kind == kRacah}, {m.alpha_opt, en.alpha}, {m.beta_opt, en.beta},
  };
  for (const auto& [opt, used] : uses)
    if (opt->count() > 0 && !used)
      return refuse(
          err, "Option " + opt->get_name() + " does not apply to the model " + kModelNames[kind]);
  return true;
}

NewHexagonInput model_input(const ModelTexts& m, ModelKind kind) {
  NewHexagonInput in;
  in.kind = kind;
  in.N = m.N;
  in.T = m.T;
  in.S = m.S;
  in.q = m.q;
  in.kappa = m.kappa;
  in.logq_or_K = kind == kRacah ? m.K : m.logqk;
  in.alpha = m.alpha;
  in.beta = m.beta;
  return in;
}

bool check_hexagon(const ModelTexts& m, ModelKind kind, std::ostream& err, HexagonParams& params) {
  const NewHexagonResult checked = check_new_hexagon(model_input(m, kind));
  if (!checked.ok) return refuse(err, checked.message);
  params = checked.params;
  return true;
}

// Whether `plain` (a name not numbered) is one of the numbered names of
// `picture`: numbered() puts "-K" before the picture's suffix, so K is read
// back from `plain` and that picture's name compared with it.
bool among_numbered(const std::string& plain, const std::string& picture, int64_t count) {
  const auto slash = plain.find_last_of('/');
  const auto dot = plain.find_last_of('.');
  const std::size_t end =
      dot == std::string::npos || (slash != std::string::npos && dot < slash) ? plain.size() : dot;
  std::size_t first = end;
  while (first > 0 && plain[first - 1] >= '0' && plain[first - 1] <= '9') --first;
  if (first == end || first == 0 || plain[first - 1] != '-' || end - first > 15) return false;
  const int64_t k = std::stoll(plain.substr(first, end - first));
  return k >= 1 && k <= count && same_output(plain, numbered(picture, k - 1, count));
}

// An output asked for on the command line, and whether each sample gets a
// numbered file of its own.
struct AskedOutput {
  const char* option;
  std::string path;
  bool numbered;
};

bool write_into_one(const AskedOutput& a, const AskedOutput& b, int64_t count) {
  if (a.numbered && b.numbered)
    return same_output(numbered(a.path, 0, count), numbered(b.path, 0, count));
  if (a.numbered) return among_numbered(b.path, a.path, count);
  if (b.numbered) return among_numbered(a.path, b.path, count);
  return same_output(a.path, b.path);
}

// An empty name is refused rather than read as "not given", and two outputs
// that would write into the same file or stream (through links, descriptors,
// numbered names) are refused rather than one silently replacing or mixing
// with the other.
bool check_outputs(const CLI::App& app, const CliOptions& opts, std::ostream& err) {
  std::vector<AskedOutput> asked;
  for (const auto& [option, path, picture] :
       {std::tuple{"--export", &opts.export_path, false}, std::tuple{"--png", &opts.png_path, true},
        std::tuple{"--svg", &opts.svg_path, true}}) {
    if (app.get_option(option)->count() == 0) continue;
    if (path->empty()) return refuse(err, std::string(option) + ": the file name is empty");
    asked.push_back(
        {option, *path, picture && opts.count > 1 && output_kind(*path) != OutputKind::kStream});
  }
  // Standard output takes one of the outputs only: a plane partition and a
  // picture, or two pictures, mixed on it could not be told apart.
  if ((opts.export_path == "-") + (opts.png_path == "-") + (opts.svg_path == "-") > 1)
    return refuse(err, "Only one of --export, --png and --svg may be '-' (standard output)");
  // The overflow report is appended to in the working folder whenever a
  // sample warns: an output of the same name would get its lines mixed in.
  const std::size_t outputs = asked.size();
  asked.push_back({"the overflow report", kOverflowReportFile, false});
  for (std::size_t i = 0; i < outputs; ++i)
    for (std::size_t j = i + 1; j < asked.size(); ++j)
      if (write_into_one(asked[i], asked[j], opts.count))
        return refuse(err, std::string(asked[i].option) + " '" + asked[i].path + "' and " +
                               asked[j].option + " '" + asked[j].path +
                               "' would write into the same file or stream");
  return true;
}

// A run from a file continues the one tiling read: options that make several
// samples of it are refused rather than ignored. The model is checked once
// the file has given N, T and S.
bool check_from(const CLI::App& app, const ModelTexts& m, ModelKind kind, std::ostream& err,
                CliOptions& opts) {
  if (opts.from_path.empty()) return refuse(err, "--from: the file name is empty");
  for (const char* name : {"--count", "--samples"})
    if (app.get_option(name)->count() > 0)
      return refuse(err, std::string(name) +
                             " does not apply with --from: the run continues the one tiling read");
  if (app.get_option("--index")->count() > 0 &&
      !parse_integer(m.index, 1, std::numeric_limits<int32_t>::max(), opts.from_index))
    return refuse(err, "--index: '" + m.index + "' is not an integer in 1..2147483647");
  opts.from_model = model_input(m, kind);
  opts.N_given = app.get_option("-N")->count() > 0;
  opts.T_given = app.get_option("-T")->count() > 0;
  opts.S_given = app.get_option("-S")->count() > 0;
  return true;
}

}  // namespace

CliParse parse_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                   CliOptions& opts) {
  CLI::App app{
      "lozengia-cli: exact random lozenge tilings of the hexagon N x (T-S) x S under six "
      "probability models. Values are read exactly as the desktop program's \"New\" dialog "
      "reads them.",
      "lozengia-cli"};
  app.set_version_flag("--version", std::string("lozengia-cli ") + LOZENGIA_VERSION);
  opts = CliOptions{};
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  IntegerOption integers[] = {
      {"--seed", "", std::numeric_limits<int64_t>::min(), kMax, 0},
      {"--samples", "1", 1, 2147483647, 1},
      {"--count", "1", 1, int64_t{1} << 40, 1},
      {"--threads", "", 1, 1024, std::max(1u, std::thread::hardware_concurrency()), true},
      {"--style", "", 1, 5, 0, true},
      {"--size", "800", kMinLongSide, kMaxLongSide, 800},
  };
  ModelTexts model;
  add_options(app, model, integers, std::size(integers), opts);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return CliParse::kHelp;
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << '\n';
    return CliParse::kHelp;
  } catch (const CLI::ParseError& e) {
    err << e.what() << '\n' << kUsageHint << '\n';
    return CliParse::kBadInput;
  }

  for (IntegerOption& n : integers) {
    if (n.option->count() == 0 || (n.empty_is_default && n.text.empty())) continue;
    if (!parse_integer(n.text, n.lo, n.hi, n.value)) {
      refuse(err, std::string(n.name) + ": '" + n.text + "' is not an integer in " +
                      std::to_string(n.lo) + ".." + std::to_string(n.hi));
      return CliParse::kBadInput;
    }
  }
  const auto& [seed, samples, count, threads, style, size] = integers;
  opts.seed = seed.value;
  opts.seed_given = seed.option->count() > 0;
  opts.samples = samples.value;
  opts.count = count.value;
  opts.threads = static_cast<unsigned>(threads.value);
  opts.style = static_cast<int32_t>(style.value);
  opts.size_px = static_cast<int>(size.value);
  if (!opts.max_memory_text.empty() && !parse_memory_size(opts.max_memory_text, opts.max_memory)) {
    refuse(err,
           "--max-memory: '" + opts.max_memory_text + "' is not a size such as 800M, 16G or 4GiB");
    return CliParse::kBadInput;
  }

  const std::optional<ModelKind> kind = model_kind(model.model);
  if (!kind) {
    refuse(err, "Unknown model '" + model.model + "'");
    return CliParse::kBadInput;
  }
  if (!check_model_options(model, *kind, err)) return CliParse::kBadInput;
  if (!check_outputs(app, opts, err)) return CliParse::kBadInput;
  // Runs are numbered count * samples; the number must fit the 64-bit index
  // that picks each run's random stream.
  if (opts.samples > kMax / opts.count) {
    refuse(err, "--count times --samples is too large");
    return CliParse::kBadInput;
  }
  if (!opts.from_path.empty() || app.get_option("--from")->count() > 0)
    return check_from(app, model, *kind, err, opts) ? CliParse::kRun : CliParse::kBadInput;
  if (app.get_option("--index")->count() > 0) {
    refuse(err, "--index applies only with --from");
    return CliParse::kBadInput;
  }
  if (!check_hexagon(model, *kind, err, opts.params)) return CliParse::kBadInput;
  return CliParse::kRun;
}

int64_t run_seed(const CliOptions& opts, std::ostream& err) {
  if (opts.seed_given) return opts.seed;
  const int64_t seed = clock_seed();
  if (::isatty(2) == 1) err << "Seed " << seed << '\n';
  return seed;
}

}  // namespace lozengia
