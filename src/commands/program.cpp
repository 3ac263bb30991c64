#include "commands/program.h"

#include <QPainter>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "core/message_sink.h"
#include "core/operators.h"
#include "core/params.h"
#include "core/plane_partition.h"
#include "core/step_command.h"
#include "platform/dialog.h"
#include "platform/platform.h"
#include "render/color_config.h"
#include "render/pp_writer.h"
#include "render/qpainter_canvas.h"
#include "render/report_file.h"

namespace lozengia {

const char* const kHelpText =
    "Use the menu \"Commands\" to generate and draw random tilings\n"
    "\"Show tiling\" draws curent tiling\n"
    "\"New hexagon\" initializes new probability model\n"
    "\"S->S+-1 steps\" applies the corresponding Markov operator\n"
    "\"Interactive mode\" starts step-by-step mode, where you can use different operators\n"
    "\"Live\" starts the sequence of operators (real-time show)\n"
    "\"Export..\" saves the plane partition in simple text format\n"
    "\"Save..\" saves the bitmap image\n"
    "\n"
    "The sample sequence of commands is:\n"
    "\"New hexagon\" (set \"Hahn(uniform measure)\", N=50, T=100, S=0)\n"
    "\"S->S+1 steps\" (number of steps=50, number of samples=1)\n"
    "\"Show tiling\"";

const char* const kAboutText =
    "Lozengia (LZA)\n"
    "Last update: December 2026\n"
    "\n"
    "Generates and draws random lozenge tilings of hexagons (3d Young diagrams, "
    "boxed plane partitions) under various probability models.\n"
    "The algorithm and the models are described in published papers.\n"
    "\n"
    "Contact: questions and reports go to the maintainers of this program.";

namespace {

constexpr int kDialogNew = 101;
constexpr int kDialogStyle = 102;
constexpr int kDialogSPlus = 103;
constexpr int kDialogSMinus = 104;
constexpr int kDialogLive = 105;

// Control ids of the dialogs.
constexpr int kIdOk = 1;
constexpr int kIdModel = 1000;
constexpr int kIdN = 1002, kIdT = 1003, kIdS = 1004;
constexpr int kIdQ = 1005, kIdLogqOrK = 1007, kIdKappa = 1008, kIdBeta = 1009, kIdAlpha = 1011;
constexpr int kIdFirstStyle = 1013;  // radio of style k: 1012 + k
constexpr int kIdNewWindow = 1018;
constexpr int kIdSteps = 1022, kIdSamples = 1023;
constexpr int kIdTransition = 1000, kIdDelay = 1023;

// Core messages go to the text window; overflow reports to their own file.
class TextWindowSink final : public MessageSink {
 public:
  explicit TextWindowSink(Platform& p) : platform_(p) {}
  void line(const std::string& text) override { platform_.write_line(kTextUnit, text); }
  void overflow_report(const std::string& text) override { append_overflow_report(text); }

 private:
  Platform& platform_;
};

std::string rtrim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

}  // namespace

Program::Program(Platform& platform, ProgramOptions options)
    : platform_(platform), options_(std::move(options)), reader_(platform) {
  platform_.frame()->on_close = [this] { stop(); };
  // A key ends a live run's pause between steps at once.
  reader_.set_on_key([this] {
    { std::lock_guard<std::mutex> lock(wake_mutex_); }
    wake_.notify_all();
  });
}

Program::~Program() {
  stop();
  platform_.frame()->on_close = nullptr;
}

void Program::start() {
  if (thread_.joinable()) return;
  stop_ = false;
  thread_ = std::thread([this] { main_program(); });
}

void Program::stop() {
  stop_ = true;
  {
    std::lock_guard<std::mutex> lock(wake_mutex_);
  }
  wake_.notify_all();
  // Calls the program thread is waiting on will not be served any more.
  platform_.shutdown();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Program::line(const std::string& text) { platform_.write_line(kTextUnit, text); }

// ---------------------------------------------------------------- start-up

void Program::main_program() {
  rng_.seed(options_.seed != 0 ? options_.seed : clock_seed());

  platform_.open_text_window("Information and help");
  platform_.focus(kTextUnit);
  platform_.clear_window(kTextUnit);

  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    hex_ = default_hexagon();  // defaults, the four arrays, INIT_PATHS
  }

  platform_.build_menus(
      {
          {"Show tiling", [this] { MENU_DRAW(); }},
          {"New hexagon", [this] { MENU_NEW(); }},
          {"S->S+1 steps", [this] { MENU_S_PLUS(); }},
          {"S->S-1 steps", [this] { MENU_S_MINUS(); }},
          {"Interactive mode", [this] { MENU_STEPS(); }},
          {"Live", [this] { MENU_LIVE(); }},
          {"Export plane partition as.. ", [this] { MENU_EXPORT(); }},
      },
      {
          {"How to start?", [this] { MENU_START(); }},
          {"About LZA", [this] { MENU_ABOUT(); }},
      });

  line("Lozengia. Beta version.");
  line("Use the menu to generate and draw tilings.");
  line("");

  const ColorConfig cfg = load_color_config(options_.config_path);
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    colors_ = cfg.colors;
    style_ = cfg.style;
  }
  for (const std::string& l : cfg.message) line(l);

  WRITEINFO();

  platform_.open_picture_window("Lozengia");
  platform_.open_scratch_window(
      "Work window. It is used for redrawing. You do not have to look at it", 1);
  DRAWTILING(kPictureUnit);

  started_ = true;
  command_loop();
}

// ------------------------------------------------------------ command loop

void Program::command_loop() {
  while (!stop_) {
    const int32_t cmd = pending_command.load();
    if (cmd == kCommandSPlus || cmd == kCommandSMinus) run_steps(cmd);
    if (cmd >= kCommandLivePlusMinus && cmd <= kCommandLiveMinus) run_live(cmd);
    // Any other value is not a command this loop runs.
    std::unique_lock<std::mutex> lock(wake_mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_.load(); });
  }
}

void Program::DISABLEMENU() { platform_.set_commands_enabled(false); }
void Program::ENABLEMENU() { platform_.set_commands_enabled(true); }

void Program::run_steps(int32_t code) {
  DISABLEMENU();
  platform_.focus(kTextUnit);
  TextWindowSink sink(platform_);  // queued lines: never waits on the GUI thread
  {
    // The GUI thread does not touch the state while the menu is greyed, so
    // holding the lock for the whole run keeps nothing waiting.
    std::lock_guard<std::mutex> lock(state_mutex_);
    run_step_command(hex_, code == kCommandSPlus, step_count.load(), sample_count.load(), rng_,
                     sink, &stop_);
  }
  ENABLEMENU();
  WRITEINFO();
  pending_command = kCommandIdle;
}

// ------------------------------------------------------------------ report

void Program::WRITEINFO() {
  const HexagonParams p = params();
  line(lozengia::WRITEINFO(p));
}

HexagonParams Program::params() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return hex_.params();
}

PathArray Program::paths() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return hex_.paths;
}

int32_t Program::style() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return style_;
}

LozengeColors Program::colors() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return colors_;
}

// ----------------------------------------------------------------- picture

void Program::DRAWTILING(int unit) {
  PathArray snapshot;
  int32_t N, T, S, style;
  LozengeColors colors;
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    snapshot = hex_.paths;
    N = hex_.N;
    T = hex_.T;
    S = hex_.S;
    style = style_;
    colors = colors_;
  }
  const QSize size = platform_.picture_size(unit);
  platform_.draw_in_scratch(size, [&](QPainter& painter, QSize s) {
    QPainterCanvas canvas(painter, QSizeF(s));
    draw_tiling(canvas, snapshot, N, T, S, style, colors);
  });
  platform_.copy_scratch_to(unit);
}

void Program::MENU_DRAW() {
  Dialog d(kDialogStyle, platform_.frame());
  if (!d.loaded()) return;
  const int32_t current = style();
  d.set_checked(kIdFirstStyle + current - 1, true);
  d.set_checked(kIdNewWindow, false);
  d.run();  // however it was closed, the choice applies
  int32_t chosen = current;
  for (int32_t k = 1; k <= 5; ++k)
    if (d.checked(kIdFirstStyle + k - 1)) chosen = k;
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    style_ = chosen;
  }
  if (d.checked(kIdNewWindow)) platform_.open_picture_window("Lozengia");
  platform_.focus(kPictureUnit);
  DRAWTILING(kPictureUnit);
}

// ------------------------------------------------------------- new hexagon

void Program::SETENB_MODE(Dialog& d, int32_t kind) {
  const EnabledFields f = lozengia::SETENB_MODE(kind);
  d.set_enabled(kIdQ, f.q);
  d.set_enabled(kIdKappa, f.kappa);
  d.set_enabled(kIdLogqOrK, f.logq_or_K);
  d.set_enabled(kIdAlpha, f.alpha);
  d.set_enabled(kIdBeta, f.beta);
}

void Program::UPDATE_NG_MODE(Dialog& d) { SETENB_MODE(d, d.selection(kIdModel)); }

void Program::FUNCTION_NEW(Dialog& d) {
  NewHexagonInput in;
  in.kind = d.selection(kIdModel);
  in.N = d.text(kIdN);
  in.T = d.text(kIdT);
  in.S = d.text(kIdS);
  in.q = d.text(kIdQ);
  in.kappa = d.text(kIdKappa);
  in.logq_or_K = d.text(kIdLogqOrK);
  in.alpha = d.text(kIdAlpha);
  in.beta = d.text(kIdBeta);
  const NewHexagonResult r = lozengia::FUNCTION_NEW(in);
  if (!r.ok) {
    platform_.message_box(rtrim(r.message), "Error!");
    return;
  }
  std::string err;
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    err = set_hexagon(hex_, r.params);  // all at once, or not at all
  }
  if (!err.empty()) {
    platform_.message_box(rtrim(err), "Error!");
    return;
  }
  d.close(kIdOk);
}

void Program::MENU_NEW() {
  Dialog d(kDialogNew, platform_.frame());
  if (!d.loaded()) return;
  const HexagonParams cur = params();
  std::vector<std::string> names(kModelNames + 1, kModelNames + 7);
  d.set_items(kIdModel, names);
  d.set_selection(kIdModel, cur.model.kind);
  const NewHexagonInput pre = new_dialog_prefill(cur);
  d.set_text(kIdN, pre.N);
  d.set_text(kIdT, pre.T);
  d.set_text(kIdS, pre.S);
  d.set_text(kIdQ, pre.q);
  d.set_text(kIdKappa, pre.kappa);
  d.set_text(kIdLogqOrK, pre.logq_or_K);
  d.set_text(kIdAlpha, pre.alpha);
  d.set_text(kIdBeta, pre.beta);
  d.set_callback(kIdModel, [this](Dialog& dd, int) { UPDATE_NG_MODE(dd); });
  d.set_callback(kIdOk, [this](Dialog& dd, int) { FUNCTION_NEW(dd); });
  SETENB_MODE(d, cur.model.kind);
  d.run();
  WRITEINFO();
}

// ------------------------------------------------------------ step dialogs

void Program::step_ok(Dialog& d, bool plus) {
  const HexagonParams p = params();
  int32_t steps = 0, samples = 0;
  const bool ok = check_step_fields(d.text(kIdSteps), d.text(kIdSamples), p.S, p.T, plus, steps,
                                    samples);
  if (!ok) {
    platform_.message_box("Bad input", "Error!");
    return;
  }
  d.close(kIdOk);
  sample_count = samples;
  step_count = steps;
  // Greyed at once, not only when the loop picks the command up, so no second
  // command can be started in between.
  DISABLEMENU();
  pending_command = plus ? kCommandSPlus : kCommandSMinus;
  wake_.notify_all();
}

void Program::FUNCTION_SPL(Dialog& d) { step_ok(d, true); }
void Program::FUNCTION_SMIN(Dialog& d) { step_ok(d, false); }

void Program::step_dialog(int resource_id, bool plus) {
  if (pending_command.load() != kCommandIdle) return;  // a command is still running
  Dialog d(resource_id, platform_.frame());
  if (!d.loaded()) return;
  const HexagonParams p = params();
  d.set_text(kIdN, std::to_string(p.N));
  d.set_text(kIdT, std::to_string(p.T));
  d.set_text(kIdS, std::to_string(p.S));
  d.set_text(kIdSteps, "0");
  d.set_text(kIdSamples, "1");
  d.set_callback(kIdOk, [this, plus](Dialog& dd, int) {
    if (plus)
      FUNCTION_SPL(dd);
    else
      FUNCTION_SMIN(dd);
  });
  d.run();
}

void Program::MENU_S_PLUS() { step_dialog(kDialogSPlus, true); }
void Program::MENU_S_MINUS() { step_dialog(kDialogSMinus, false); }

// -------------------------------------------------------- interactive mode

bool Program::interactive_key(char key) {
  TextWindowSink sink(platform_);
  std::lock_guard<std::mutex> lock(state_mutex_);
  Hexagon& h = hex_;
  auto up = [&] {
    SOPERATOR(h.N, h.T, h.S, h.kind, h.q, h.K, h.alpha, h.beta, h.paths, h.newpaths, rng_, sink);
    h.paths.swap(h.newpaths);
    ++h.S;
  };
  auto down = [&] {
    SMINUSOPERATOR(h.N, h.T, h.S, h.kind, h.q, h.K, h.alpha, h.beta, h.paths, h.newpaths, rng_,
                   sink);
    h.paths.swap(h.newpaths);
    --h.S;
  };
  switch (key) {
    case 'a':
      if (h.S >= h.T) return false;
      up();
      return true;
    case 'z':
      if (h.S <= 0) return false;
      down();
      return true;
    case 's':
      if (h.S >= h.T) return false;
      up();
      down();
      return true;
    case 'x':
      if (h.S <= 0) return false;
      down();
      up();
      return true;
    default:
      return false;
  }
}

void Program::MENU_STEPS() {
  if (pending_command.load() != kCommandIdle) return;  // a command is still running
  DISABLEMENU();
  line("Interactive mode. Type a letter in the window with a tiling");
  line("press \"a\" to do S->S+1 step,");
  line("\"z\" to do S->S-1 step,");
  line("\"s\" to do S->S+1->S step,");
  line("\"x\" to do S->S-1->S step,");
  line(" \"q\" exits this mode.");
  platform_.focus(kPictureUnit);
  DRAWTILING(kPictureUnit);
  platform_.set_key_capture(kPictureUnit, true);
  // The read runs a nested event loop: the windows repaint and the frame can
  // be closed while the mode waits for a key.
  for (;;) {
    const std::optional<char> key = platform_.read_key(kPictureUnit);
    if (!key) break;  // the program is closing
    if (*key == 'q') {
      ++keys_handled;
      break;
    }
    if (interactive_key(*key)) {
      platform_.focus(kPictureUnit);
      DRAWTILING(kPictureUnit);
    }
    ++keys_handled;
  }
  platform_.set_key_capture(kPictureUnit, false);
  if (platform_.shutting_down()) return;
  platform_.focus(kTextUnit);
  if (params().S == params().T) DRAWTILING(kPictureUnit);
  ENABLEMENU();
  WRITEINFO();
  platform_.focus(kPictureUnit);
}

// --------------------------------------------------------------- live mode

void Program::MENU_LIVE() {
  if (pending_command.load() != kCommandIdle) return;  // a command is still running
  Dialog d(kDialogLive, platform_.frame());
  if (!d.loaded()) return;
  d.set_items(kIdTransition, {"S->S+1->S", "S->S-1->S", "S->S+1", "S->S-1"});
  d.set_selection(kIdTransition, 1);
  // Cancel, Escape or the close box start nothing.
  if (d.run() != kIdOk) return;
  const int32_t entry = d.selection(kIdTransition);
  if (entry < 1 || entry > 4) return;
  const HexagonParams p = params();
  if ((entry == 1 || entry == 3) && p.S == p.T) {
    platform_.message_box("It is impossible now! (S=T)", "Error.");
    return;
  }
  if ((entry == 2 || entry == 4) && p.S == 0) {
    platform_.message_box("It is impossible now! (S=0)", "Error.");
    return;
  }
  int32_t delay = 0;
  if (!parse_int32(d.text(kIdDelay), delay) || delay < 0) {
    platform_.message_box("Incorrect input!", "Error.");
    return;
  }
  step_count = delay;
  // Greyed at once, as for the step commands.
  DISABLEMENU();
  pending_command = 100 + entry;
  wake_.notify_all();
}

void Program::run_live(int32_t code) {
  DISABLEMENU();
  platform_.focus(kPictureUnit);
  DRAWTILING(kPictureUnit);
  live_steps = 0;
  reader_.PEEKSTART(kPictureUnit);
  TextWindowSink sink(platform_);
  const auto delay = std::chrono::milliseconds(step_count.load());
  // Stops on a key, at the bound of a one-way run, and when the frame is
  // closed (after the current step; the pause is cut short).
  while (!stop_ && !reader_.USERPEEKCHAR()) {
    {
      std::lock_guard<std::mutex> lock(state_mutex_);
      Hexagon& h = hex_;
      const bool up_first = code == kCommandLivePlusMinus || code == kCommandLivePlus;
      const bool round_trip = code == kCommandLivePlusMinus || code == kCommandLiveMinusPlus;
      // The bound also guards the round trips: the state cannot change under
      // a greyed menu, but a step past a bound would corrupt the arrays.
      if (up_first ? h.S >= h.T : h.S <= 0) break;
      for (int k = 0; k < (round_trip ? 2 : 1); ++k) {
        if (up_first == (k == 0)) {
          SOPERATOR(h.N, h.T, h.S, h.kind, h.q, h.K, h.alpha, h.beta, h.paths, h.newpaths, rng_,
                    sink);
          h.paths.swap(h.newpaths);
          ++h.S;
        } else {
          SMINUSOPERATOR(h.N, h.T, h.S, h.kind, h.q, h.K, h.alpha, h.beta, h.paths, h.newpaths,
                         rng_, sink);
          h.paths.swap(h.newpaths);
          --h.S;
        }
      }
    }
    ++live_steps;
    platform_.focus(kPictureUnit);
    DRAWTILING(kPictureUnit);
    if (delay.count() > 0) {
      std::unique_lock<std::mutex> lock(wake_mutex_);
      wake_.wait_for(lock, delay, [this] { return stop_.load() || reader_.USERPEEKCHAR(); });
    }
  }
  reader_.PEEKSTOP();
  ENABLEMENU();
  WRITEINFO();
  platform_.focus(kPictureUnit);
  pending_command = kCommandIdle;
}

// ------------------------------------------------------------------ export

void Program::MENU_EXPORT() {
  const std::optional<std::string> name = platform_.ask_save_file_name();
  if (!name || name->empty()) return;
  PlanePartition pp;
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    pp = to_plane_partition(hex_.paths, hex_.N, hex_.T, hex_.S);
  }
  const WriteStatus st = export_plane_partition(*name, pp);
  if (st != WriteStatus::kOk) line(write_status_message(st));
}

// -------------------------------------------------------------------- help

void Program::MENU_START() { platform_.message_box(kHelpText, "How to start:"); }
void Program::MENU_ABOUT() { platform_.message_box(kAboutText, "About LZA"); }

}  // namespace lozengia
