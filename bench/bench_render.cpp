// What a picture of a large tiling costs next to sampling it: the exact
// uniform n = 1000 sample, then each picture style 2000 pixels high (drawn,
// and drawn and encoded as PNG), the canvas drawing with one polygon per
// lozenge that the pictures stand for, and the SVG file; each as a ratio to
// the sampling time of the same run (counter x_sample).
//
//   build/bench/lozengia_bench_render
//
// The SVG's peak memory is measured in a fresh process (this program started
// again with --svg-peak-child), so that nothing else counts.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench_common.h"
#include "core/fast_sweep.h"
#include "core/message_sink.h"
#include "render/picture_files.h"
#include "render/png_encoder.h"
#include "render/qpainter_canvas.h"
#include "render/tiling.h"

using namespace lozengia;
using lozengia::bench::seconds_since;

namespace {

constexpr int32_t kN = 1000;
constexpr int kSize = 2000;
constexpr const char* kSvgPeakChild = "--svg-peak-child";
const LozengeColors kColors{};

const HexagonParams& params() {
  static const HexagonParams p{kN, 2 * kN, kN, ModelParams{}};
  return p;
}

const PathArray& sample() {
  static const PathArray paths = [] {
    PathArray a(kN, 2 * kN);
    NullSink sink;
    exact_sample_streams(params(), a, 1, 0, sink);
    return a;
  }();
  return paths;
}

const Tiling& tiling() {
  static const Tiling t{sample(), kN, 2 * kN, kN};
  return t;
}

// The whole picture, `kSize` pixels on its long side.
PictureFrame frame(StyleNumber style) { return whole_picture(tiling(), style, kSize); }

double g_sample_seconds = 0.0;

void report_ratio(benchmark::State& state, double seconds) {
  if (g_sample_seconds > 0.0) state.counters["x_sample"] = seconds / g_sample_seconds;
}

void BM_SampleUniform1000(benchmark::State& state) {
  PathArray paths(kN, 2 * kN);
  NullSink sink;
  double total = 0.0;
  int64_t runs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    exact_sample_streams(params(), paths, 1, 0, sink);
    total += seconds_since(t0);
    ++runs;
    benchmark::DoNotOptimize(paths.data());
  }
  g_sample_seconds = total / static_cast<double>(runs);
  state.SetLabel("every core");
}
BENCHMARK(BM_SampleUniform1000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Picture(benchmark::State& state) {
  const auto style = static_cast<StyleNumber>(state.range(0));
  // The sample is made (once) before the clock starts.
  const Tiling& t = tiling();
  const PictureFrame f = frame(style);
  double total = 0.0;
  int64_t runs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    QImage img = render_tiling_image(t, {style, kColors}, f);
    total += seconds_since(t0);
    ++runs;
    benchmark::DoNotOptimize(img.bits());
  }
  report_ratio(state, total / static_cast<double>(runs));
  state.SetLabel("style " + std::to_string(style));
}
BENCHMARK(BM_Picture)->DenseRange(1, 5)->Unit(benchmark::kMillisecond)->UseRealTime();

// Drawn and encoded by `encode` (the image to the file's size in bytes).
template <class Encode>
void picture_png(benchmark::State& state, const Encode& encode) {
  const auto style = static_cast<StyleNumber>(state.range(0));
  // The sample is made (once) before the clock starts.
  const Tiling& t = tiling();
  const PictureFrame f = frame(style);
  double total = 0.0;
  int64_t runs = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const QImage img = render_tiling_image(t, {style, kColors}, f);
    bytes = encode(img);
    total += seconds_since(t0);
    ++runs;
  }
  report_ratio(state, total / static_cast<double>(runs));
  state.counters["png_MB"] = static_cast<double>(bytes) / 1e6;
  state.SetLabel("style " + std::to_string(style));
}

// As --png writes it (without the file).
void BM_PicturePng(benchmark::State& state) {
  picture_png(state, [](const QImage& img) {
    return encode_png({reinterpret_cast<const uint32_t*>(img.constBits()), img.width(),
                       img.height(), img.bytesPerLine() / 4})
        .size();
  });
}
BENCHMARK(BM_PicturePng)->DenseRange(1, 5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with Qt's own PNG encoder (one thread), which wrote the pictures
// before.
void BM_PicturePngQt(benchmark::State& state) {
  picture_png(state, [](const QImage& img) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return static_cast<std::size_t>(out.size());
  });
}
BENCHMARK(BM_PicturePngQt)->DenseRange(1, 5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The canvas drawing: one QPainter polygon (and outline, and segment) per
// lozenge, as the pictures were made before.
void BM_CanvasPicture(benchmark::State& state) {
  const auto style = static_cast<StyleNumber>(state.range(0));
  // The sample is made (once) before the clock starts.
  const Tiling& t = tiling();
  const PictureFrame f = frame(style);
  double total = 0.0;
  int64_t runs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    QImage img(f.width, f.height, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    QPainterCanvas canvas(painter, QSizeF(f.width, f.height));
    draw_tiling(canvas, t, {style, kColors}, f);
    painter.end();
    total += seconds_since(t0);
    ++runs;
    benchmark::DoNotOptimize(img.bits());
  }
  report_ratio(state, total / static_cast<double>(runs));
  state.SetLabel("style " + std::to_string(style));
}
BENCHMARK(BM_CanvasPicture)
    ->DenseRange(1, 5)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

std::string svg_path() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir ? dir : "/tmp") + "/lozengia_bench_" +
         std::to_string(::getpid()) + ".svg";
}

void BM_Svg(benchmark::State& state) {
  const auto style = static_cast<StyleNumber>(state.range(0));
  // The sample is made (once) before the clock starts.
  const Tiling& t = tiling();
  const PictureFrame f = frame(style);
  const std::string file = svg_path();
  double total = 0.0;
  int64_t runs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!(write_tiling_picture(PictureFormat::kSvg, file, t, {style, kColors}, f) ==
          WriteStatus::kOk))
      state.SkipWithError("SVG not written");
    total += seconds_since(t0);
    ++runs;
  }
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0)
    state.counters["svg_MB"] = static_cast<double>(st.st_size) / 1e6;
  std::remove(file.c_str());
  report_ratio(state, total / static_cast<double>(runs));
  state.SetLabel("style " + std::to_string(style));
}
BENCHMARK(BM_Svg)->DenseRange(1, 5)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Peak memory of sampling n = 1000 and writing its style 1 SVG, in a fresh
// process; the two path arrays of the sample are 15 MiB.
void BM_SvgPeakMemory(benchmark::State& state) {
  const double peak = bench::child_peak_mib(state, "lozengia_bench_render", kSvgPeakChild);
  state.counters["peak_MiB"] = peak;
}
BENCHMARK(BM_SvgPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == kSvgPeakChild) {
    const std::string file = svg_path();
    const bool ok =
        (write_tiling_picture(PictureFormat::kSvg, file, tiling(), {kStyleNoBorders, kColors},
                              frame(kStyleNoBorders)) == WriteStatus::kOk);
    std::remove(file.c_str());
    return ok ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
