// Helpers that drive the desktop program as a user would: pick menu entries,
// fill the fields of the modal dialog that opens, press its buttons, and read
// the message boxes that answer.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "commands/dialog_ids.h"
#include "commands/program.h"
#include "core/hexagon.h"
#include "platform/picture_window.h"
#include "platform/platform.h"
#include "platform/text_window.h"
#include "platform/window_registry.h"

namespace lozengia::test {

namespace ids = lozengia::dialog_ids;

// Processes events until `done` holds, for at most `timeout_ms`; a wait that
// runs out is recorded as a failure of the test (and false is returned), so a
// test never hangs on something that does not come.
inline bool wait_until(const std::function<bool()>& done, int timeout_ms = 60000,
                       const char* what = "wait_until") {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout_ms) {
      QTest::qFail(qPrintable(QString("timed out after %1 ms: %2").arg(timeout_ms).arg(what)),
                   __FILE__, __LINE__);
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

// The picture a picture window shows (also one that no longer receives
// pictures).
inline QImage picture_in(const QMdiSubWindow* window) {
  const PictureWindow* p = WindowRegistry::picture_in(window);
  return p ? p->image() : QImage();
}

// A menu entry's label without its mnemonic marker.
inline QString plain(QString label) {
  label.remove(QRegularExpression("&(?!&)"));
  return label;
}

// Acts on the next modal window for which `match` holds, as soon as it is up.
// Polling stops when `*alive` turns false (the window never came).
inline void when_modal(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> act,
                       std::shared_ptr<bool> alive = std::make_shared<bool>(true)) {
  QTimer::singleShot(5, qApp, [match, act, alive] {
    if (!*alive) return;
    QWidget* w = QApplication::activeModalWidget();
    if (w && w->isVisible() && match(w))
      act(w);
    else
      when_modal(match, act, alive);
  });
}

// Closes a dialog when the test's handler leaves it open (say after a failed
// check), so a failure never leaves the test waiting on a modal window.
struct CloseOnExit {
  QWidget* w;
  ~CloseOnExit() {
    if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->done(2);
  }
};

inline std::function<bool(QWidget*)> titled(const QString& title) {
  return [title](QWidget* w) { return w->windowTitle() == title; };
}

inline QWidget* control(QWidget* dialog, int id) {
  for (QWidget* w : dialog->findChildren<QWidget*>())
    if (w->property("controlId").isValid() && w->property("controlId").toInt() == id) return w;
  return nullptr;
}

inline void type_into(QWidget* dialog, int id, const QString& text) {
  auto* e = qobject_cast<QLineEdit*>(control(dialog, id));
  QVERIFY2(e != nullptr, qPrintable(QString("no edit %1").arg(id)));
  e->selectAll();
  e->del();
  QTest::keyClicks(e, text);
}

inline void press(QWidget* dialog, int id) {
  auto* b = qobject_cast<QAbstractButton*>(control(dialog, id));
  QVERIFY2(b != nullptr, qPrintable(QString("no button %1").arg(id)));
  QTest::mouseClick(b, Qt::LeftButton);
}

struct Box {
  QString title;
  QString text;
};

// Expects a message box on top of the current modal dialog; records it and
// dismisses it with its OK button. The returned flag, set to false, stops
// waiting for a box that did not come.
inline std::shared_ptr<bool> expect_box(std::vector<Box>* boxes) {
  auto alive = std::make_shared<bool>(true);
  when_modal([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
             [boxes](QWidget* w) {
               auto* box = qobject_cast<QMessageBox*>(w);
               boxes->push_back({box->windowTitle(), box->text()});
               box->button(QMessageBox::Ok)->click();
             },
             alive);
  return alive;
}

inline QAction* menu_entry(QMenu* menu, const QString& label) {
  for (QAction* a : menu->actions())
    if (plain(a->text()) == label) return a;
  return nullptr;
}

inline QStringList labels(QMenu* menu) {
  QStringList l;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) l << plain(a->text());
  return l;
}

// One run of the desktop program: its windows and program thread, in a
// temporary working folder with settings of its own.
struct DesktopRun {
  QTemporaryDir dir;
  std::unique_ptr<Platform> platform;
  std::unique_ptr<Program> program;

  // `settings_path` empty: settings of its own in the run's folder.
  explicit DesktopRun(const std::string& config = std::string(), bool write_config = false,
                   const QString& settings_path = QString()) {
    if (write_config) {
      QFile f(dir.filePath("config.cfg"));
      if (f.open(QIODevice::WriteOnly)) f.write(config.data(), static_cast<qint64>(config.size()));
    }
    // Settings of its own, so that no test reads or changes the user's.
    platform = std::make_unique<Platform>(
        PlatformOptions{settings_path.isEmpty() ? dir.filePath("settings.ini") : settings_path});
    ProgramOptions opt;
    opt.config_path = dir.filePath("config.cfg").toStdString();
    opt.seed = 20261208;
    program = std::make_unique<Program>(*platform, opt);
    platform->frame()->show();
    program->start();
    wait_until([this] { return program->started(); }, 60000, "start-up");
    // Lines are queued by the program thread; let them all arrive.
    wait_until([this] { return text()->lines().size() >= 6 && picture().width() > 0; }, 60000,
               "first picture");
  }
  ~DesktopRun() {
    program->stop();
    program.reset();
    platform.reset();
  }

  void trigger(const QString& label) {
    QAction* a = menu_entry(platform->frame()->commands_menu(), label);
    QVERIFY2(a != nullptr, qPrintable(label));
    a->trigger();
  }
  // Waits until the picture window has drawn what it was last given.
  void wait_picture() {
    wait_until(
        [this] {
          const PictureWindow* p = platform->windows().current_picture();
          return p && !p->drawing();
        },
        60000, "picture drawn");
  }
  // The windows as the tests inspect them: the text window, and the picture
  // of the window that receives pictures (null when there is none).
  TextWindow* text() const { return platform->frame()->text_window(); }
  QImage picture() const {
    const PictureWindow* p = platform->windows().current_picture();
    return p ? p->image() : QImage();
  }
  bool has_line(const QString& line) const { return text()->lines().contains(line); }
  QString last_line() const {
    QStringList l = text()->lines();
    while (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
    return l.isEmpty() ? QString() : l.last();
  }
};

// Waits until the command handed to the program thread has ended and the
// menu is back.
inline void wait_command_ended(DesktopRun& s) {
  wait_until(
      [&] { return !s.program->command_running() && s.platform->frame()->commands_enabled(); },
      120000, "command ended");
}

// Waits until the command has ended and its report line (queued just before
// the end) is shown.
inline void wait_idle(DesktopRun& s) {
  wait_command_ended(s);
  wait_until([&] { return s.last_line().contains("case."); }, 10000, "report line");
}

// Opens a step dialog and enters steps and samples; when refused, records
// the box (in `boxes`, if given) and cancels. `stayed_open` tells whether it
// was refused.
inline void step_dialog(DesktopRun& s, bool plus, const QString& steps, const QString& samples,
                        std::vector<Box>* boxes = nullptr, bool* stayed_open = nullptr) {
  const QString title = plus ? "S->S+1 Markov operator" : "S->S-1 operator";
  const int cancel = plus ? ids::kCancel : ids::kCancelSMinus;
  // Boxes nobody asked for are kept as long as the dialog can answer.
  auto kept = std::make_shared<std::vector<Box>>();
  when_modal(titled(title), [=](QWidget* d) {
    CloseOnExit guard{d};
    std::vector<Box>* out = boxes ? boxes : kept.get();
    type_into(d, ids::kSteps, steps);
    type_into(d, ids::kSamples, samples);
    auto waiting = expect_box(out);
    const std::size_t before = out->size();
    press(d, ids::kOk);
    *waiting = false;
    if (stayed_open) *stayed_open = d->isVisible();
    if (d->isVisible()) {
      QVERIFY(out->size() > before);
      press(d, cancel);
    }
  });
  s.trigger(plus ? "S->S+1 steps" : "S->S-1 steps");
}

// "Show tiling" with picture style `style` (1..5), in a new window or not.
inline void choose_style(DesktopRun& s, int style, bool new_window = false) {
  when_modal(titled("Choose style of a tiling picture"), [=](QWidget* d) {
    CloseOnExit guard{d};
    qobject_cast<QAbstractButton*>(control(d, ids::kFirstStyle + style - 1))->click();
    if (new_window) qobject_cast<QAbstractButton*>(control(d, ids::kNewWindow))->click();
    press(d, ids::kOk);
  });
  s.trigger("Show tiling");
  s.wait_picture();
}

struct NewFields {
  int kind = kHahn;             // list position
  std::map<int, QString> text;  // control id -> typed text
};

// Opens "New hexagon", types the fields, presses OK. When the entry is
// refused, records the message boxes and then cancels the dialog.
inline void new_hexagon(DesktopRun& s, const NewFields& f, std::vector<Box>* boxes = nullptr) {
  std::vector<Box> local;
  std::vector<Box>* out = boxes ? boxes : &local;
  when_modal(titled("New"), [f, out](QWidget* d) {
    CloseOnExit guard{d};
    auto* combo = qobject_cast<QComboBox*>(control(d, ids::kModel));
    combo->setCurrentIndex(f.kind - 1);
    for (const auto& [id, t] : f.text) type_into(d, id, t);
    auto waiting = expect_box(out);
    const std::size_t before = out->size();
    press(d, ids::kOk);
    *waiting = false;
    if (d->isVisible()) {
      // Refused: the dialog is still open with the user's entries.
      QVERIFY(out->size() > before);
      press(d, ids::kCancel);
    }
  });
  s.trigger("New hexagon");
}

inline NewFields hahn(const QString& N, const QString& T, const QString& S) {
  return {kHahn, {{ids::kN, N}, {ids::kT, T}, {ids::kS, S}}};
}

}  // namespace lozengia::test
