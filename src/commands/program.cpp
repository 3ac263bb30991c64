#include "commands/program.h"

#include <chrono>
#include <new>

#include "commands/help_texts.h"
#include "commands/interactive_mode.h"
#include "commands/live_mode.h"
#include "commands/model_guide.h"
#include "commands/new_hexagon_command.h"
#include "commands/open_partition_command.h"
#include "commands/picture_commands.h"
#include "commands/step_commands.h"
#include "core/params.h"
#include "core/worker_threads.h"
#include "platform/picture_window.h"
#include "platform/platform.h"
#include "platform/settings.h"
#include "render/color_config.h"

namespace lozengia {

namespace {

// The status bar's line: the model and its parameters as the user typed them.
std::string status_line(const HexagonParams& p) {
  const ModelKind kind = p.model.kind;
  std::string s = (kind >= 1 && kind <= 6 ? kModelNames[kind] : "?");
  s += "   N=" + std::to_string(p.N) + "  T=" + std::to_string(p.T) + "  S=" + std::to_string(p.S);
  const std::string values = model_values_text(p);
  if (!values.empty()) s += "  " + values;
  return s;
}

}  // namespace

Program::Program(Platform& platform, ProgramOptions options)
    : platform_(platform), options_(std::move(options)), reader_(platform.keys()) {
  new_hexagon_ = std::make_unique<NewHexagonCommand>(*this);
  steps_ = std::make_unique<StepCommands>(*this);
  interactive_ = std::make_unique<InteractiveMode>(*this);
  live_ = std::make_unique<LiveMode>(*this);
  pictures_ = std::make_unique<PictureCommands>(*this);
  open_partition_ = std::make_unique<OpenPartitionCommand>(*this);
  open_partition_->install();
  MainWindow* frame = platform_.frame();
  // Direct connections: the frame's signals come on the GUI thread, and the
  // program thread must be joined before the frame goes (closing).
  connections_ = {
      QObject::connect(frame, &MainWindow::closing, frame, [this] { stop(); }),
      QObject::connect(frame, &MainWindow::stopRequested, frame,
                       [this] {
                         stop_command = true;
                         { std::lock_guard<std::mutex> lock(wake_mutex_); }
                         wake_.notify_all();
                       }),
      // A style chosen in a picture's right-click menu is the style of the
      // pictures to come, as one chosen in "Show tiling" (offered only while
      // no command runs, so the state is free).
      QObject::connect(frame, &MainWindow::styleChosen, frame,
                       [this](StyleNumber style) {
                         {
                           std::lock_guard<std::mutex> lock(state_.mutex);
                           state_.style = style;
                         }
                         platform_.settings().set(setting::kStyle, style);
                       }),
  };
  // A key ends a live run's pause between steps at once.
  reader_.set_on_key([this] {
    { std::lock_guard<std::mutex> lock(wake_mutex_); }
    wake_.notify_all();
  });
}

Program::~Program() {
  stop();
  for (const QMetaObject::Connection& c : connections_) QObject::disconnect(c);
}

bool Program::start() {
  if (thread_.joinable()) return true;
  stop_ = false;
  thread_ = try_start_thread([this] { main_program(); });
  return thread_.joinable();
}

void Program::stop() {
  stop_ = true;
  stop_command = true;
  { std::lock_guard<std::mutex> lock(wake_mutex_); }
  wake_.notify_all();
  commands_.wake();
  // Calls the program thread is waiting on will not be served any more.
  platform_.shutdown();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Program::line(const std::string& text) { platform_.windows().write_line(kTextUnit, text); }

void Program::report_failure(const std::exception_ptr& failure, const std::string& kept) noexcept {
  try {
    std::string text = "The command failed";
    try {
      std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
      text = "Not enough memory for this run";
    } catch (const std::exception& e) {
      text += std::string(" (") + e.what() + ")";
    } catch (...) {
    }
    text += ": " + kept;
    line(text);
    platform_.dialogs().post_message_box(text, "Error!");
  } catch (...) {
    // Not even the message could be made; the command's end is still told
    // by the menu coming back.
  }
}

void Program::pause(int32_t ms, const std::function<bool()>& done) {
  std::unique_lock<std::mutex> lock(wake_mutex_);
  wake_.wait_for(lock, std::chrono::milliseconds(ms),
                 [&] { return stop_.load() || stop_command.load() || done(); });
}

// ---------------------------------------------------------------- start-up

void Program::main_program() {
  rng_.seed(options_.seed != 0 ? options_.seed : clock_seed());

  UnitWindows& windows = platform_.windows();
  windows.open_text_window("Information and help");
  windows.focus(kTextUnit);
  windows.clear_window(kTextUnit);

  {
    std::lock_guard<std::mutex> lock(state_.mutex);
    state_.hex = default_hexagon();  // defaults, the four arrays, minimal_paths
  }

  platform_.controls().build_menus(
      {
          {"&Show tiling", [this] { menu_show_tiling(); }, "Ctrl+T"},
          {"&New hexagon", [this] { menu_new_hexagon(); }, "Ctrl+N"},
          {"S->S&+1 steps", [this] { menu_s_plus(); }, "Ctrl+U"},
          {"S->S&-1 steps", [this] { menu_s_minus(); }, "Ctrl+D"},
          {"&Interactive mode", [this] { menu_interactive(); }, "Ctrl+I"},
          {"&Live", [this] { menu_live(); }, "Ctrl+L"},
          {"&Export plane partition as.. ", [this] { menu_export(); }, "Ctrl+E"},
      },
      {
          {"&How to start?", [this] { menu_how_to_start(); }, ""},
          {"&Models", [this] { menu_models(); }, "F1"},
          {"&About LZA", [this] { menu_about(); }, ""},
      });

  line("Lozengia. Beta version.");
  line("Use the menu to generate and draw tilings.");
  line("");

  const ColorConfig cfg = load_color_config(options_.config_path);
  // A style chosen in an earlier run wins over the file's.
  std::optional<int> remembered;
  std::string settings_problem;
  platform_.gui().call([&] {
    remembered = platform_.settings().integer(setting::kStyle, 1, 5);
    settings_problem = platform_.settings().problem();
  });
  {
    std::lock_guard<std::mutex> lock(state_.mutex);
    state_.colors = cfg.colors;
    state_.style = static_cast<StyleNumber>(remembered.value_or(cfg.style));
  }
  if (!settings_problem.empty()) line(settings_problem);
  for (const std::string& l : cfg.message) line(l);

  write_report();

  windows.open_picture_window("Lozengia");
  windows.open_scratch_window(
      "Work window. It is used for redrawing. You do not have to look at it");
  draw_picture(kPictureUnit);
  publish_state();

  started_ = true;
  command_loop();
}

// ------------------------------------------------------------ command loop

void Program::command_loop() {
  while (!stop_) {
    const std::optional<PendingCommand> command = commands_.take(std::chrono::milliseconds(100));
    if (!command) continue;
    if (!stop_) {
      try {
        if (const auto* steps = std::get_if<StepRun>(&*command)) steps_->run(*steps);
        if (const auto* live = std::get_if<LiveRun>(&*command)) live_->run(*live);
      } catch (...) {
        // The commands keep their tiling whole themselves; what fails after
        // that (telling the windows) must not end the program either.
        report_failure(std::current_exception(), "the tiling is kept as it is.");
        try {
          platform_.controls().set_stop_available(false);
          platform_.controls().end_progress();
          enable_commands();
        } catch (...) {
        }
      }
    }
    stop_command = false;
    commands_.done();
  }
}

void Program::hand_over(PendingCommand command) {
  // Greyed at once, not only when the loop picks the command up, so no second
  // command can be started in between.
  disable_commands();
  stop_command = false;
  commands_.hand_over(std::move(command));
}

void Program::disable_commands() { platform_.controls().set_commands_enabled(false); }
void Program::enable_commands() { platform_.controls().set_commands_enabled(true); }

// ------------------------------------------------------------------ report

void Program::write_report() {
  const HexagonParams p = params();
  line(parameter_report(p));
}

void Program::publish_state() {
  HexagonParams p;
  uint64_t version;
  int32_t averaged;
  {
    std::lock_guard<std::mutex> lock(state_.mutex);
    p = state_.hex.params;
    version = state_.version;
    averaged = state_.averaged;
  }
  platform_.windows().set_present_tiling(version, p, averaged);
  platform_.controls().set_status(status_line(p));
}

HexagonParams Program::params() const {
  std::lock_guard<std::mutex> lock(state_.mutex);
  return state_.hex.params;
}

PathArray Program::paths() const {
  std::lock_guard<std::mutex> lock(state_.mutex);
  return state_.hex.paths;
}

StyleNumber Program::style() const {
  std::lock_guard<std::mutex> lock(state_.mutex);
  return state_.style;
}

LozengeColors Program::colors() const {
  std::lock_guard<std::mutex> lock(state_.mutex);
  return state_.colors;
}

std::shared_ptr<const TilingSnapshot> Program::snapshot() const {
  auto t = std::make_shared<TilingSnapshot>();
  std::lock_guard<std::mutex> lock(state_.mutex);
  t->paths = state_.hex.paths;
  t->N = state_.hex.params.N;
  t->T = state_.hex.params.T;
  t->S = state_.hex.params.S;
  t->style = state_.style;
  t->colors = state_.colors;
  t->version = state_.version;
  t->model = state_.hex.params.model;
  t->averaged = state_.averaged;
  return t;
}

// ------------------------------------------------------------ menu entries

void Program::draw_picture(int unit) { pictures_->draw(unit); }
void Program::menu_show_tiling() { pictures_->show_tiling(); }
void Program::menu_export() { pictures_->export_to_file(); }
void Program::menu_new_hexagon() { new_hexagon_->open(); }
void Program::menu_s_plus() { steps_->open(true); }
void Program::menu_s_minus() { steps_->open(false); }
void Program::menu_interactive() { interactive_->run(); }
void Program::menu_live() { live_->open(); }
void Program::menu_how_to_start() { platform_.dialogs().message_box(kHelpText, "How to start:"); }
void Program::menu_about() { platform_.dialogs().message_box(about_text(), "About LZA"); }

void Program::menu_models() {
  platform_.dialogs().show_help_page("Models", [this] {
    // Drawn once, when the page is first opened, and kept with it.
    HelpContent page;
    page.html = QString::fromStdString(models_page_html());
    const LozengeColors c = colors();
    for (const ModelKind kind : kAllModelKinds)
      page.images.emplace_back(QString("sample:%1").arg(kind), guide_picture(kind, c, 180));
    return page;
  });
}

}  // namespace lozengia
