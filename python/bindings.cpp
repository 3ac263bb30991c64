// lozengia._core: the sampling core, its conversions and its pictures for
// Python. The arguments are read and explained by the Python layer
// (lozengia/__init__.py); this layer still refuses anything it cannot use
// with a Python exception, since it can be called directly.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>

#include "convert.h"
#include "partition_files.h"
#include "core/hexagon.h"
#include "core/memory_limit.h"
#include "core/params.h"
#include "core/plane_partition.h"
#include "core/random.h"
#include "gil.h"
#include "pictures.h"
#include "render/color_config.h"
#include "render/png_encoder.h"
#include "render/svg_tiling.h"
#include "sampler.h"
#include "sampling.h"

namespace py = pybind11;

namespace lozengia::pymod {
namespace {

using IntArray = py::array_t<int32_t, py::array::c_style>;

// Raises MemoryError, before anything of the call is allocated, unless
// `need` fits in `limit` bytes (0: what the machine has available).
void require_memory(const MemoryNeed& need, uint64_t limit = 0) {
  const std::string why = memory_refusal(need, limit);
  if (why.empty()) return;
  PyErr_SetString(PyExc_MemoryError, why.c_str());
  throw py::error_already_set();
}

// What a conversion's result takes for a tiling N x (T-S) x S: counted
// before the input is read, together with what reading it takes.
using ResultBytes = std::function<uint64_t(int64_t N, int64_t T, int64_t S)>;
uint64_t pp_bytes(int64_t, int64_t T, int64_t S) {
  return times_bytes(static_cast<uint64_t>(S) * static_cast<uint64_t>(T - S), sizeof(int32_t)) +
         PlanePartitionRows::bytes_needed(static_cast<int32_t>(T));
}
uint64_t paths_bytes(int64_t N, int64_t T, int64_t) { return path_array_bytes(N, T); }
uint64_t lozenge_bytes(int64_t N, int64_t T, int64_t S) {
  return static_cast<uint64_t>(N + S) * static_cast<uint64_t>(T);
}

// The operators' messages become Python warnings once the lock is back.
void warn(WarningSink& sink) {
  for (const std::string& m : sink.take())
    if (PyErr_WarnEx(PyExc_RuntimeWarning, m.c_str(), 1) != 0) throw py::error_already_set();
}

// Whether the caller is the interpreter's main thread, the one that runs the
// signal handlers (Ctrl-C).
bool on_main_thread() {
  const py::object main = py::module_::import("threading").attr("main_thread")();
  return main.attr("ident").cast<unsigned long>() == PyThread_get_thread_ident();
}

unsigned thread_count(int64_t threads) {
  if (threads == 0) return std::max(1u, std::thread::hardware_concurrency());
  if (threads < 1 || threads > 1024) throw py::value_error("threads must be an integer in 1..1024");
  return static_cast<unsigned>(threads);
}

// The 2-D shape of an array given to the module, refused unless it is one.
std::pair<int64_t, int64_t> shape2(const IntArray& a, const char* what) {
  if (a.ndim() != 2)
    throw py::value_error(std::string(what) + " must be a 2-D array, not " +
                          std::to_string(a.ndim()) + "-D");
  return {a.shape(0), a.shape(1)};
}

// An N x (T+1) array of heights read as a configuration; S is where path 1
// ends. Refused unless it is a configuration of that hexagon.
PathArray read_paths(const IntArray& a, ResultBytes result, int32_t& N, int32_t& T, int32_t& S) {
  const auto [n, cols] = shape2(a, "paths");
  if (n < 1 || cols < 2) throw py::value_error("paths must have N >= 1 rows and T+1 >= 2 columns");
  if (const std::string why = check_shape(n, cols - 1, 1); !why.empty()) throw py::value_error(why);
  N = static_cast<int32_t>(n);
  T = static_cast<int32_t>(cols - 1);
  const int32_t* d = a.data();
  S = d[T];  // where path 1 ends
  if (S < 0 || S > T)
    throw py::value_error("paths: path 1 ends at " + std::to_string(S) + ", outside 0..T");
  require_memory(bytes_only(path_array_bytes(N, T) + result(N, T, S)));
  PathArray p(N, T);
  for (int32_t i = 1; i <= N; ++i)
    for (int32_t t = 0; t <= T; ++t) p(i, t) = d[static_cast<std::size_t>(i - 1) * (T + 1) + t];
  if (const std::string why = check_invariants(p, N, T, S); !why.empty())
    throw py::value_error("paths are not a configuration of the hexagon: " + why);
  return p;
}

// A plane partition in an N-high box, read as its configuration.
PathArray read_plane_partition(const IntArray& a, int64_t N, ResultBytes result, int32_t& T,
                               int32_t& S) {
  const auto [rows, cols] = shape2(a, "the plane partition");
  if (N < 1 || N > std::numeric_limits<int32_t>::max())
    throw py::value_error("N must be an integer >= 1");
  if (rows + cols < 1) throw py::value_error("the plane partition must have S + (T-S) >= 1");
  if (const std::string why = check_shape(N, rows + cols, 1); !why.empty())
    throw py::value_error(why);
  if (const std::string why = check_plane_partition(a.data(), rows, cols, N); !why.empty())
    throw py::value_error("not a plane partition in a box of height " + std::to_string(N) + ": " +
                          why);
  require_memory(
      bytes_only(plane_partition_to_paths_bytes(rows, cols, N) + result(N, rows + cols, rows)));
  S = static_cast<int32_t>(rows);
  T = static_cast<int32_t>(rows + cols);
  const PathArray p = without_gil(
      [&] { return plane_partition_to_paths(a.data(), S, T - S, static_cast<int32_t>(N)); });
  if (const std::string why = check_invariants(p, static_cast<int32_t>(N), T, S); !why.empty())
    throw py::value_error("not a plane partition of a tiling: " + why);
  return p;
}

// The plane partition written row by row straight into the NumPy array.
IntArray pp_array(const PathArray& paths, int32_t S) {
  PlanePartitionRows rows(paths, S);
  IntArray out({static_cast<py::ssize_t>(rows.rows()), static_cast<py::ssize_t>(rows.cols())});
  int32_t* at = out.mutable_data();
  without_gil([&] { rows.rest(at); });
  return out;
}

IntArray paths_array(const PathArray& p) {
  const int32_t N = p.n(), T = p.t();
  IntArray out({static_cast<py::ssize_t>(N), static_cast<py::ssize_t>(T + 1)});
  int32_t* d = out.mutable_data();
  for (int32_t i = 1; i <= N; ++i)
    for (int32_t t = 0; t <= T; ++t) d[static_cast<std::size_t>(i - 1) * (T + 1) + t] = p(i, t);
  return out;
}

py::array_t<int8_t> lozenge_array(const PathArray& p, int32_t N, int32_t T, int32_t S) {
  py::array_t<int8_t> out({static_cast<py::ssize_t>(N + S), static_cast<py::ssize_t>(T)});
  int8_t* d = out.mutable_data();
  without_gil([&] { lozenge_types(p, N, T, S, d); });
  return out;
}

LozengeColors read_colors(const std::array<uint32_t, 3>& c) {
  for (uint32_t v : c)
    if (v > 0xFFFFFF) throw py::value_error("a colour must be 0x000000..0xFFFFFF");
  LozengeColors colors;
  colors.flat = c[0];
  colors.rising = c[1];
  colors.hexagon = c[2];
  return colors;
}

// The style as the drawing takes it, once it and the size are checked.
StyleNumber checked_picture(int32_t style, int size) {
  if (style < kStyleNoBorders || style > kStyleZ2) throw py::value_error("style must be 1..5");
  if (size < 16 || size > 20000) throw py::value_error("size must be 16..20000 pixels");
  return static_cast<StyleNumber>(style);
}

// What a picture `size` pixels square takes while it is made: drawn as
// 32-bit pixels, converted to 24-bit ones and copied into the result
// (seven bytes a pixel at most at once), or encoded as a PNG file, or
// streamed as SVG; each with the drawing's column buffers on every thread.
enum class PictureUse { kArray, kPng, kSvg };
uint64_t picture_bytes(PictureUse use, int32_t N, int32_t T, int32_t S, StyleNumber style,
                       int size);
// The same as a conversion's result, the picture's values checked first.
ResultBytes picture_result(PictureUse use, int32_t number, int size) {
  const StyleNumber style = checked_picture(number, size);
  return [=](int64_t N, int64_t T, int64_t S) {
    return picture_bytes(use, static_cast<int32_t>(N), static_cast<int32_t>(T),
                         static_cast<int32_t>(S), style, size);
  };
}
uint64_t picture_bytes(PictureUse use, int32_t N, int32_t T, int32_t S, StyleNumber style,
                       int size) {
  const uint64_t pixels = static_cast<uint64_t>(size) * static_cast<uint64_t>(size);
  const uint64_t columns =
      uint64_t{std::max(1u, std::thread::hardware_concurrency())} * 16 * size + (64 << 10);
  switch (use) {
    case PictureUse::kArray:
      return 7 * pixels + columns;
    case PictureUse::kPng:
      return 4 * pixels + encode_png_bytes(size, size) + columns;
    case PictureUse::kSvg:
      break;
  }
  return svg_memory_bound(N, T, S, style);
}

py::array_t<uint8_t> draw_array(const PathArray& p, int32_t N, int32_t T, int32_t S, int32_t number,
                                const std::array<uint32_t, 3>& colours, int size) {
  const StyleNumber style = checked_picture(number, size);
  const PictureStyle look{style, read_colors(colours)};
  const Tiling tiling{p, N, T, S};
  const PictureFrame frame = whole_picture(tiling, style, size);
  const std::vector<uint8_t> rgb = without_gil([&] { return render_rgb(tiling, look, frame); });
  py::array_t<uint8_t> out({static_cast<py::ssize_t>(frame.height),
                            static_cast<py::ssize_t>(frame.width), static_cast<py::ssize_t>(3)});
  std::copy(rgb.begin(), rgb.end(), out.mutable_data());
  return out;
}

// A picture file. `path` holds the file system's bytes of the name, `name`
// the name as the caller gave it, for the OSError (errno, reason, name) that
// tells a failure; an errno of 0 (the picture could not be made) is EIO.
void save_picture(bool svg, const std::string& path, const py::object& name, const PathArray& p,
                  int32_t N, int32_t T, int32_t S, int32_t number,
                  const std::array<uint32_t, 3>& colours, int size, bool in_place) {
  const StyleNumber style = checked_picture(number, size);
  if (path.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
  const PictureStyle look{style, read_colors(colours)};
  if (svg)
    if (const std::string why = svg_size_check(N, T, S, style); !why.empty())
      throw py::value_error(why);
  const Tiling tiling{p, N, T, S};
  const PictureFrame frame = whole_picture(tiling, style, size);
  WriteOptions options;
  options.in_place_without_copy = in_place;
  const WriteStatus status =
      without_gil([&] { return save_picture_file(svg, path, tiling, look, frame, options); });
  if (status == WriteStatus::kOk) return;
  std::string reason = write_failure_text(status, "");
  if (status.refused_in_place()) reason += "; in_place=True writes it all the same, without a copy";
  const py::tuple args = py::make_tuple(status.error() != 0 ? status.error() : EIO, reason, name);
  PyErr_SetObject(PyExc_OSError, args.ptr());
  throw py::error_already_set();
}

// Everything a picture or a conversion needs from a Sampler: a consistent copy.
struct Snapshot {
  PathArray paths;
  int32_t N, T, S;
};
// What a Sampler's copy and a result of `result` bytes take, checked first.
Snapshot snapshot(HexagonSampler& s, const ResultBytes& result) {
  const HexagonParams p = without_gil([&] { return s.params(); });
  require_memory(bytes_only(path_array_bytes(p.N, p.T) + result(p.N, p.T, p.S)), s.max_memory());
  return without_gil([&] {
    Snapshot out;
    out.paths = s.paths(out.S);
    out.N = out.paths.n();
    out.T = out.paths.t();
    return out;
  });
}

}  // namespace
}  // namespace lozengia::pymod

using namespace lozengia;
using namespace lozengia::pymod;

PYBIND11_MODULE(_core, m) {
  m.doc() = "The compiled part of lozengia: use the functions of the lozengia package.";
  m.attr("__version__") = LOZENGIA_VERSION;
  remember_main_thread(
      py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>());

  py::list names;
  for (const char* n : kModelNames) names.append(n);
  m.attr("model_names") = names;

  const LozengeColors defaults;
  m.attr("default_colours") = py::make_tuple(defaults.flat, defaults.rising, defaults.hexagon);

  // Kinds cross as their numbers; one outside 1..6 enables no field and is
  // refused by check_hexagon.
  m.def("enabled_fields", [](int32_t kind) {
    const EnabledFields f = enabled_fields(static_cast<ModelKind>(kind));
    return py::make_tuple(f.q, f.kappa, f.logq_or_K, f.alpha, f.beta);
  });

  py::class_<HexagonParams>(m, "Params")
      .def_readonly("N", &HexagonParams::N)
      .def_readonly("T", &HexagonParams::T)
      .def_readonly("S", &HexagonParams::S)
      .def_property_readonly("kind", [](const HexagonParams& p) { return int32_t{p.model.kind}; })
      .def_property_readonly("q", [](const HexagonParams& p) { return p.model.q; })
      .def_property_readonly("K", [](const HexagonParams& p) { return p.model.K; })
      .def_property_readonly("alpha", [](const HexagonParams& p) { return p.model.alpha; })
      .def_property_readonly("beta", [](const HexagonParams& p) { return p.model.beta; })
      .def("info", [](const HexagonParams& p) { return parameter_report(p); })
      .def("__repr__", [](const HexagonParams& p) { return "<" + parameter_report(p) + ">"; });

  // The "New hexagon" check on the fields as typed; its own message when it
  // refuses them.
  m.def("check_hexagon",
        [](int32_t kind, const std::string& N, const std::string& T, const std::string& S,
           const std::string& q, const std::string& kappa, const std::string& logq_or_K,
           const std::string& alpha, const std::string& beta) {
          NewHexagonInput in;
          in.kind = static_cast<ModelKind>(kind);
          in.N = N;
          in.T = T;
          in.S = S;
          in.q = q;
          in.kappa = kappa;
          in.logq_or_K = logq_or_K;
          in.alpha = alpha;
          in.beta = beta;
          const NewHexagonResult r = check_new_hexagon(in);
          if (!r.ok) throw py::value_error(r.message);
          return r.params;
        });

  m.def("clock_seed", &clock_seed);
  m.def("stream_seed", &stream_seed);

  m.def("parse_memory_size", [](const std::string& text) {
    uint64_t bytes = 0;
    if (!parse_memory_size(text, bytes))
      throw py::value_error("max_memory: '" + text + "' is not a size such as 800M, 16G or 4GiB");
    return bytes;
  });

  m.def("sample", [](const HexagonParams& p, int64_t seed, int64_t count, int64_t threads,
                     uint64_t max_memory) {
    if (count < 1) throw py::value_error("count must be >= 1");
    const unsigned nthreads = thread_count(threads);
    // The results and the work that makes them, before either is allocated.
    const uint64_t cells = static_cast<uint64_t>(p.S) * static_cast<uint64_t>(p.T - p.S);
    require_memory(
        bytes_only(times_bytes(static_cast<uint64_t>(count), times_bytes(cells, sizeof(int32_t)))) +
            sample_runs_need(p, count, nthreads),
        max_memory);
    IntArray out({static_cast<py::ssize_t>(count), static_cast<py::ssize_t>(p.S),
                  static_cast<py::ssize_t>(p.T - p.S)});
    int32_t* dst = out.mutable_data();
    WarningSink sink;
    const bool watch = on_main_thread();
    const bool done = without_gil([&] {
      Interrupt intr(watch);
      return sample_runs(p, seed, count, nthreads, dst, intr, sink);
    });
    if (!done) throw py::error_already_set();
    warn(sink);
    return out;
  });

  py::class_<HexagonSampler>(m, "Sampler")
      .def(py::init([](const HexagonParams& p, int64_t seed, uint64_t max_memory) {
        require_memory(HexagonSampler::need(p), max_memory);
        return std::make_unique<HexagonSampler>(p, seed, max_memory);
      }))
      .def("step",
           [](HexagonSampler& s, bool plus, int32_t k) {
             const HexagonParams p = without_gil([&] { return s.params(); });
             if (k < 1) throw py::value_error("k must be >= 1");
             if (plus ? static_cast<int64_t>(p.S) + k > p.T : k > p.S)
               throw py::value_error(
                   plus ? "S + k must not exceed T (S = " + std::to_string(p.S) +
                              ", T = " + std::to_string(p.T) + ")"
                        : "S - k must not be negative (S = " + std::to_string(p.S) + ")");
             require_memory(without_gil([&] { return s.step_need(); }), s.max_memory());
             WarningSink sink;
             const bool watch = on_main_thread();
             const bool done = without_gil([&] { return s.step(plus, k, watch, sink); });
             if (!done) throw py::error_already_set();
             warn(sink);
           })
      .def("exact",
           [](HexagonSampler& s, int32_t S, int64_t threads) {
             const unsigned nthreads = thread_count(threads);
             const HexagonParams p = without_gil([&] { return s.params(); });
             if (S < 0 || S > p.T) throw py::value_error("S must be in 0..T");
             require_memory(without_gil([&] { return s.exact_need(S, nthreads); }), s.max_memory());
             WarningSink sink;
             const bool watch = on_main_thread();
             const bool done = without_gil([&] { return s.exact(S, nthreads, watch, sink); });
             if (!done) throw py::error_already_set();
             warn(sink);
           })
      .def("set_plane_partition",
           [](HexagonSampler& s, const IntArray& a) {
             const HexagonParams p = without_gil([&] { return s.params(); });
             int32_t T, S;
             PathArray tiling = read_plane_partition(a, p.N, paths_bytes, T, S);
             if (T != p.T || S != p.S)
               throw py::value_error("the plane partition is not of the sampler's hexagon");
             s.set_tiling(std::move(tiling));
           })
      .def_property_readonly(
          "params", [](HexagonSampler& s) { return without_gil([&] { return s.params(); }); })
      .def_property_readonly("seed", &HexagonSampler::seed)
      .def_property_readonly(
          "runs", [](HexagonSampler& s) { return without_gil([&] { return s.runs(); }); })
      .def("paths", [](HexagonSampler& s) { return paths_array(snapshot(s, paths_bytes).paths); })
      .def("plane_partition",
           [](HexagonSampler& s) {
             const Snapshot v = snapshot(s, pp_bytes);
             return pp_array(v.paths, v.S);
           })
      .def("lozenges",
           [](HexagonSampler& s) {
             const Snapshot v = snapshot(s, lozenge_bytes);
             return lozenge_array(v.paths, v.N, v.T, v.S);
           })
      .def("draw",
           [](HexagonSampler& s, int32_t style, const std::array<uint32_t, 3>& colours, int size) {
             const Snapshot v = snapshot(s, picture_result(PictureUse::kArray, style, size));
             return draw_array(v.paths, v.N, v.T, v.S, style, colours, size);
           })
      .def("save",
           [](HexagonSampler& s, bool svg, const py::bytes& path, const py::object& name,
              int32_t style, const std::array<uint32_t, 3>& colours, int size, bool in_place) {
             const Snapshot v =
                 snapshot(s, picture_result(svg ? PictureUse::kSvg : PictureUse::kPng, style, size));
             save_picture(svg, path, name, v.paths, v.N, v.T, v.S, style, colours, size, in_place);
           });

  m.def("paths_to_plane_partition", [](const IntArray& a) {
    int32_t N, T, S;
    const PathArray p = read_paths(a, pp_bytes, N, T, S);
    return pp_array(p, S);
  });
  m.def("plane_partition_to_paths", [](const IntArray& a, int64_t N) {
    int32_t T, S;
    return paths_array(read_plane_partition(a, N, paths_bytes, T, S));
  });
  m.def("lozenges", [](const IntArray& a, int64_t N) {
    int32_t T, S;
    const PathArray p = read_plane_partition(a, N, lozenge_bytes, T, S);
    return lozenge_array(p, static_cast<int32_t>(N), T, S);
  });
  m.def("draw", [](const IntArray& a, int64_t N, int32_t style,
                   const std::array<uint32_t, 3>& colours, int size) {
    int32_t T, S;
    const PathArray p =
        read_plane_partition(a, N, picture_result(PictureUse::kArray, style, size), T, S);
    return draw_array(p, static_cast<int32_t>(N), T, S, style, colours, size);
  });
  m.def("save", [](const IntArray& a, int64_t N, bool svg, const py::bytes& path,
                   const py::object& name, int32_t style, const std::array<uint32_t, 3>& colours,
                   int size, bool in_place) {
    int32_t T, S;
    const PathArray p = read_plane_partition(
        a, N, picture_result(svg ? PictureUse::kSvg : PictureUse::kPng, style, size), T, S);
    save_picture(svg, path, name, p, static_cast<int32_t>(N), T, S, style, colours, size, in_place);
  });

  bind_partition_files(m);

  m.def("load_colours", [](const std::string& path) {
    const ColorConfig c = load_color_config(path);
    return py::make_tuple(c.loaded,
                          py::make_tuple(c.colors.flat, c.colors.rising, c.colors.hexagon),
                          int32_t{c.style});
  });
}
