// The sampling core and the rasteriser as the web page and lozengia.js see
// them: one hexagon (its checked model, its tiling) per WebHexagon, driven
// through the functions lozengia-cli and the desktop program call. The only
// file of the web build that knows both the core and JavaScript.
#include <emscripten/bind.h>
#include <emscripten/emscripten.h>
#include <emscripten/heap.h>
#include <malloc.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/fast_sweep.h"
#include "core/hexagon.h"
#include "core/memory_limit.h"
#include "core/params.h"
#include "core/plane_partition.h"
#include "core/random.h"
#include "core/step_command.h"
#include "core/sweep.h"
#include "render/pp_writer.h"
#include "render/raster_tiling.h"
#include "render/svg_tiling.h"
#include "render/tiling.h"

namespace lozengia {
namespace {

// The "New hexagon" fields as typed, in the dialog's order.
struct FieldTexts {
  int32_t kind = kHahn;
  std::string N, T, S, q, kappa, logq_or_K, alpha, beta;
};

// What a call reports: an empty message when it did what was asked.
struct Outcome {
  bool ok = true;
  std::string message;
};

Outcome refused(std::string message) { return Outcome{false, std::move(message)}; }

// The room left in this page's memory: the most the WebAssembly memory may
// grow to, less what is allocated now.
uint64_t memory_left() {
  const uint64_t max = emscripten_get_heap_max();
  const uint64_t used = emscripten_get_heap_size() - static_cast<uint64_t>(mallinfo().fordblks);
  return max > used ? max - used : 0;
}

// A seed as lozengia-cli's --seed reads it: any 64-bit integer, blanks around.
bool parse_seed(const std::string& text, int64_t& seed) {
  const auto first = text.find_first_not_of(" \t");
  const auto last = text.find_last_not_of(" \t");
  if (first == std::string::npos) return false;
  const char* b = text.data() + first;
  const char* e = text.data() + last + 1;
  if (*b == '+') ++b;
  const auto r = std::from_chars(b, e, seed);
  return r.ec == std::errc() && r.ptr == e && b != e;
}

std::string seed_refusal(const std::string& text) {
  return "seed: '" + text + "' is not an integer in " +
         std::to_string(std::numeric_limits<int64_t>::min()) + ".." +
         std::to_string(std::numeric_limits<int64_t>::max());
}

// Progress and the operators' lines of a run of sweeps; progress goes to
// Module.onSweep (the worker posts it to the page) as each sweep ends.
class WebObserver final : public SweepObserver {
 public:
  void line(int32_t, const std::string& text) override { lines.push_back(text); }
  void overflow_report(int32_t, const std::string& text) override { lines.push_back(text); }
  void finished(int32_t sweep) override {
    EM_ASM({ if (Module.onSweep) Module.onSweep($0); }, sweep + 1);
  }
  std::vector<std::string> lines;
};

// Everything an exact sample at p allocates, the export's rows and the
// plane partition's matrix included.
MemoryNeed exact_need(const HexagonParams& p) {
  StreamSweeps how;
  how.threads = 1;
  MemoryNeed need = bytes_only(ModelTables::bytes_needed(p.N, p.T, p.model));
  need += bytes_only(path_array_bytes(p.N, p.T));
  need += exact_sample_need(p, how);
  need += bytes_only(PlanePartitionRows::bytes_needed(p.T));
  // The matrix lozengia.js hands back.
  need += bytes_only(times_bytes(static_cast<uint64_t>(p.S) * static_cast<uint64_t>(p.T - p.S),
                                 sizeof(int32_t)));
  return need;
}

// The "New hexagon" check of the fields, then the refusal of a hexagon whose
// exact sample would not fit in this page's memory.
NewHexagonResult check_fields(const FieldTexts& f) {
  NewHexagonResult r = check_new_hexagon(
      {static_cast<ModelKind>(f.kind), f.N, f.T, f.S, f.q, f.kappa, f.logq_or_K, f.alpha, f.beta});
  if (r.ok) {
    const uint64_t left = memory_left();
    r.message = memory_refusal(exact_need(r.params), MemoryRoom{left, left, left, 0});
    r.ok = r.message.empty();
  }
  return r;
}

Outcome check_outcome(const FieldTexts& f) {
  const NewHexagonResult r = check_fields(f);
  return Outcome{r.ok, r.message};
}

class WebHexagon {
 public:
  // Checks the fields as "New hexagon" does and, when they are accepted and
  // an exact sample of that size fits in this page's memory, makes them the
  // hexagon's model; the tiling is then the one at S = 0 until sampled. The
  // old hexagon's memory is given back first, so that it counts as free;
  // after a refusal there is no tiling.
  Outcome set_fields(const FieldTexts& f) {
    target_ = HexagonParams{0, 0, 0, ModelParams{}};
    S_ = 0;
    tables_.reset();
    paths_ = PathArray();
    scratch_ = PathArray();
    std::vector<int32_t>().swap(matrix_);
    std::vector<uint32_t>().swap(pixels_);
    const NewHexagonResult r = check_fields(f);
    if (!r.ok) return refused(r.message);
    target_ = r.params;
    paths_.resize(target_.N, target_.T);
    minimal_paths(target_.N, target_.T, 0, paths_);
    S_ = 0;
    return {};
  }

  // An exact sample at the fields' S: what `lozengia-cli --seed` writes as
  // its first sample (run 0 draws from stream_seed(seed, 0)).
  Outcome sample(const std::string& seed_text) {
    int64_t seed = 0;
    if (!parse_seed(seed_text, seed)) return refused(seed_refusal(seed_text));
    StreamSweeps how = base_how();
    how.seed = stream_seed(seed, 0);
    HexagonParams p = target_;
    WebObserver observer;
    how.observer = &observer;
    NullSink sink;
    exact_sample_streams(p, paths_, how, sink);
    S_ = p.S;
    return lines_outcome(observer);
  }

  // Starts a run of sweeps from the present tiling (S->S+1, or S->S-1; in
  // round trips with `alternate`). Run k after a sample with `seed` draws
  // from a stream of its own, so the same clicks after the same seed give
  // the same tilings. The run is made by run_sweeps calls, as many sweeps
  // each as the caller likes: the result does not depend on how it is cut.
  Outcome begin_sweeps(bool plus, bool alternate, const std::string& seed_text, double run) {
    int64_t seed = 0;
    if (!parse_seed(seed_text, seed)) return refused(seed_refusal(seed_text));
    plus_ = plus;
    alternate_ = alternate;
    run_seed_ = stream_seed(stream_seed(seed, 1), static_cast<uint64_t>(run));
    run_done_ = 0;
    run_S0_ = S_;
    return {};
  }
  // Makes up to `count` more sweeps of the run; returns the sweeps made (0
  // when the hexagon has no room left in that direction).
  int32_t run_sweeps(int32_t count) {
    StreamSweeps how = base_how();
    how.plus = plus_;
    how.alternate = alternate_;
    how.steps = count;
    how.seed = run_seed_;
    how.first_sweep = run_done_;
    HexagonParams p = target_;
    p.S = S_;
    WebObserver observer;
    how.observer = &observer;
    NullSink sink;
    const int32_t made = sweep_streams(p, paths_, how, sink);
    // Where the paths now are: the sweeps of a round trip take S away from
    // the run's start and back.
    run_done_ += made;
    if (!alternate_) {
      S_ += plus_ ? made : -made;
    } else {
      S_ = run_done_ % 2 == 0 ? run_S0_ : run_S0_ + (plus_ ? 1 : -1);
    }
    last_lines_ = std::move(observer.lines);
    return made;
  }

  // The tiling handed over from another instance (the page draws what its
  // worker sampled): N x (T+1) heights, slice after slice.
  emscripten::val tiling_buffer(int32_t N, int32_t T, int32_t S) {
    if (N != target_.N || T != target_.T) tables_.reset();
    target_.N = N;
    target_.T = T;
    S_ = S;
    paths_.resize(N, T);
    return emscripten::val(emscripten::typed_memory_view(paths_.size(), paths_.data()));
  }
  emscripten::val paths() const {
    return emscripten::val(emscripten::typed_memory_view(paths_.size(), paths_.data()));
  }
  int32_t N() const { return target_.N; }
  int32_t T() const { return target_.T; }
  int32_t S() const { return S_; }
  std::string report() const {
    HexagonParams p = target_;
    p.S = S_;
    return parameter_report(p);
  }
  std::string lines() const {
    std::string all;
    for (const std::string& l : last_lines_) all += l + "\n";
    return all;
  }

  // The plane partition as lozengia-cli --export writes it.
  std::string export_text() const {
    std::string text;
    stream_plane_partition(paths_, S_, [&](const char* data, std::size_t size) {
      text.append(data, size);
      return true;
    });
    return text;
  }
  // The plane partition as a matrix, row by row (rows, cols, entries).
  emscripten::val plane_partition() {
    PlanePartition pp = to_plane_partition(paths_, target_.N, target_.T, S_);
    matrix_ = std::move(pp.cells);
    rows_ = pp.rows;
    cols_ = pp.cols;
    return emscripten::val(emscripten::typed_memory_view(matrix_.size(), matrix_.data()));
  }
  int32_t rows() const { return rows_; }
  int32_t cols() const { return cols_; }

  // The world rectangle the whole picture shows on a width x height canvas.
  emscripten::val whole_view(int32_t number, double width, double height) const {
    const auto style = static_cast<StyleNumber>(number);  // JavaScript passes a number
    const WorldRect w = fit_to_aspect(picture_content(tiling(), style), width, height);
    emscripten::val out = emscripten::val::array();
    for (double v : {w.x1, w.y1, w.x2, w.y2}) out.call<void>("push", v);
    return out;
  }
  // The picture of the world rectangle (x1, y1)-(x2, y2) on width x height
  // pixels, as the canvas's RGBA bytes.
  emscripten::val render(int32_t number, int32_t width, int32_t height, double x1, double y1,
                         double x2, double y2) {
    const auto style = static_cast<StyleNumber>(number);  // JavaScript passes a number
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    pixels_.resize(count);
    const RasterTarget target{pixels_.data(), width, height, width};
    raster_tiling(target, tiling(), PictureStyle{style, LozengeColors{}}, WorldRect{x1, y1, x2, y2},
                  1);
    // 0xFFRRGGBB words are B, G, R, A bytes in memory; the canvas reads R, G, B, A.
    for (uint32_t& p : pixels_)
      p = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
    return emscripten::val(emscripten::typed_memory_view(
        count * 4, reinterpret_cast<const uint8_t*>(pixels_.data())));
  }
  // The whole picture as a file of `long_side` pixels on its long side
  // shows it (lozengia-cli --size): [width, height, x1, y1, x2, y2], or an
  // empty array with refusal() when its pixels would not fit in memory.
  emscripten::val whole_picture_frame(int32_t number, int32_t long_side) {
    const auto style = static_cast<StyleNumber>(number);  // JavaScript passes a number
    emscripten::val out = emscripten::val::array();
    const PictureFrame f = whole_picture(tiling(), style, long_side);
    const uint64_t left = memory_left();
    refusal_ = memory_refusal(
        bytes_only(times_bytes(static_cast<uint64_t>(f.width) * static_cast<uint64_t>(f.height), 4)),
        MemoryRoom{left, left, left, 0});
    if (!refusal_.empty()) return out;
    for (double v : {double(f.width), double(f.height), f.world.x1, f.world.y1, f.world.x2, f.world.y2})
      out.call<void>("push", v);
    return out;
  }
  // The SVG file of the whole picture, `long_side` pixels on its long side,
  // or the refusal the CLI gives for a picture that large (refusal()).
  std::string svg(int32_t number, int32_t long_side) {
    const auto style = static_cast<StyleNumber>(number);  // JavaScript passes a number
    refusal_ = svg_size_check(target_.N, target_.T, S_, style);
    if (!refusal_.empty()) return {};
    std::string text;
    const Tiling t = tiling();
    stream_svg_picture(t, PictureStyle{style, LozengeColors{}}, whole_picture(t, style, long_side),
                       [&](const char* data, std::size_t size) {
                         text.append(data, size);
                         return true;
                       });
    return text;
  }
  std::string refusal() const { return refusal_; }

 private:
  Tiling tiling() const { return Tiling{paths_, target_.N, target_.T, S_}; }

  StreamSweeps base_how() {
    if (!tables_ && target_.N > 0 && target_.T > 0)
      tables_ = std::make_unique<const ModelTables>(target_.N, target_.T, target_.model);
    StreamSweeps how;
    how.threads = 1;  // no threads: the page runs in a Web Worker of its own
    how.tables = tables_.get();
    how.scratch = &scratch_;
    return how;
  }

  Outcome lines_outcome(WebObserver& observer) {
    last_lines_ = std::move(observer.lines);
    return {};
  }

  HexagonParams target_;
  int32_t S_ = 0;
  PathArray paths_, scratch_;
  std::unique_ptr<const ModelTables> tables_;
  bool plus_ = true, alternate_ = false;
  int64_t run_seed_ = 1, run_done_ = 0;
  int32_t run_S0_ = 0;
  std::vector<std::string> last_lines_;
  std::vector<uint32_t> pixels_;
  std::vector<int32_t> matrix_;
  int32_t rows_ = 0, cols_ = 0;
  std::string refusal_;
};

// The dialog's words for the page: each field's label and rule for a model,
// and which fields the model reads.
emscripten::val field_words(int32_t number) {
  // A number outside 1..6 enables no field; the sample's check refuses it.
  const ModelKind kind = static_cast<ModelKind>(number);
  emscripten::val out = emscripten::val::object();
  const NewField fields[] = {NewField::kN,     NewField::kT,       NewField::kS,
                             NewField::kQ,     NewField::kKappa,   NewField::kLogqOrK,
                             NewField::kAlpha, NewField::kBeta};
  const char* keys[] = {"N", "T", "S", "q", "kappa", "logq_or_K", "alpha", "beta"};
  const EnabledFields on = enabled_fields(kind);
  const bool enabled[] = {true, true, true, on.q, on.kappa, on.logq_or_K, on.alpha, on.beta};
  for (int k = 0; k < 8; ++k) {
    emscripten::val w = emscripten::val::object();
    w.set("name", field_name(fields[k], kind));
    w.set("rule", field_rule(fields[k], kind));
    w.set("enabled", enabled[k]);
    out.set(keys[k], w);
  }
  return out;
}

// Empty when `steps_text` is a step count the step dialogs accept at S of
// T; otherwise their rule with the bound that applies now.
std::string step_refusal(const std::string& steps_text, int32_t S, int32_t T, bool plus) {
  const StepFields r = read_step_fields(steps_text, "1", S, T, plus);
  return r.ok ? std::string() : r.rule;
}

std::string model_name(int32_t number) {
  const auto kind = model_kind_numbered(number);
  return kind ? kModelNames[*kind] : "";
}

}  // namespace
}  // namespace lozengia

EMSCRIPTEN_BINDINGS(lozengia) {
  using namespace emscripten;
  using lozengia::FieldTexts;
  using lozengia::Outcome;
  using lozengia::WebHexagon;
  value_object<FieldTexts>("FieldTexts")
      .field("kind", &FieldTexts::kind)
      .field("N", &FieldTexts::N)
      .field("T", &FieldTexts::T)
      .field("S", &FieldTexts::S)
      .field("q", &FieldTexts::q)
      .field("kappa", &FieldTexts::kappa)
      .field("logq_or_K", &FieldTexts::logq_or_K)
      .field("alpha", &FieldTexts::alpha)
      .field("beta", &FieldTexts::beta);
  value_object<Outcome>("Outcome").field("ok", &Outcome::ok).field("message", &Outcome::message);
  class_<WebHexagon>("WebHexagon")
      .constructor<>()
      .function("set_fields", &WebHexagon::set_fields)
      .function("sample", &WebHexagon::sample)
      .function("begin_sweeps", &WebHexagon::begin_sweeps)
      .function("run_sweeps", &WebHexagon::run_sweeps)
      .function("tiling_buffer", &WebHexagon::tiling_buffer)
      .function("paths", &WebHexagon::paths)
      .function("N", &WebHexagon::N)
      .function("T", &WebHexagon::T)
      .function("S", &WebHexagon::S)
      .function("report", &WebHexagon::report)
      .function("lines", &WebHexagon::lines)
      .function("export_text", &WebHexagon::export_text)
      .function("plane_partition", &WebHexagon::plane_partition)
      .function("rows", &WebHexagon::rows)
      .function("cols", &WebHexagon::cols)
      .function("whole_view", &WebHexagon::whole_view)
      .function("render", &WebHexagon::render)
      .function("svg", &WebHexagon::svg)
      .function("whole_picture_frame", &WebHexagon::whole_picture_frame)
      .function("refusal", &WebHexagon::refusal);
  function("field_words", &lozengia::field_words);
  function("model_name", &lozengia::model_name);
  function("check_fields", &lozengia::check_outcome);
  function("step_refusal", &lozengia::step_refusal);
}
