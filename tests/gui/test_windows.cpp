// The desktop program's windows as a user meets them: the Window menu and the
// text window that comes back with its messages, picture windows that redraw
// at their size, centred and undistorted, zoom and pan redrawn from the
// tiling, the title of a picture that is out of date, progress and Stop, the
// keyboard.
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMdiArea>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QtTest>
#include <cmath>

#include "commands/dialog_ids.h"
#include "commands/interactive_mode.h"
#include "core/hexagon.h"
#include "gui_test_support.h"
#include "platform/window_registry.h"
#include "render/qpainter_canvas.h"

using namespace lozengia;
using namespace lozengia::test;
namespace {

QMdiSubWindow* picture_sub(DesktopRun& s) {
  return s.platform->frame()->registry().current_picture_window();
}

// Makes the picture window's client `w` x `h` and waits for its new picture.
void resize_picture(DesktopRun& s, int w, int h) {
  QMdiSubWindow* sub = picture_sub(s);
  const QSize extra = sub->size() - sub->widget()->size();
  sub->resize(QSize(w, h) + extra);
  wait_until([&] { return s.platform->windows().current_picture()->size() == QSize(w, h); }, 10000,
             "resize");
  s.wait_picture();
}

// The box of the pixels that are not white.
QRect drawn_box(const QImage& img) {
  int x1 = img.width(), y1 = img.height(), x2 = -1, y2 = -1;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
        x1 = std::min(x1, x);
        x2 = std::max(x2, x);
        y1 = std::min(y1, y);
        y2 = std::max(y2, y);
      }
  return QRect(QPoint(x1, y1), QPoint(x2, y2));
}

// The Window menu as it shows when opened (its entries are made afresh then,
// so entries found before are gone).
void open_window_menu(DesktopRun& s) { emit s.platform->frame()->window_menu()->aboutToShow(); }

QAction* window_entry(DesktopRun& s, const QString& starts) {
  QMenu* m = s.platform->frame()->window_menu();
  for (QAction* a : m->actions())
    if (plain(a->text()).mid(2).startsWith(starts)) return a;
  return nullptr;
}

}  // namespace

class WindowsTest : public QObject {
  Q_OBJECT

 private slots:
  // ------------------------------------------------------------- windows

  void closed_text_window_comes_back_with_every_message() {
    DesktopRun s;
    QPointer<QMdiSubWindow> text = s.platform->frame()->registry().text_window();
    text->close();
    QVERIFY(!text->isVisible());
    QVERIFY(text);  // hidden, not destroyed
    // A message while it is closed: kept, and counted as unseen.
    s.platform->dialogs().set_save_file_name_source(
        [] { return std::string("/no-such-folder/pp.txt"); });
    s.trigger("Export plane partition as.. ");
    const QString said = "Error while opening file /no-such-folder/pp.txt: No such file or directory";
    wait_until([&] { return s.has_line(said); }, 10000, "message");
    QVERIFY(s.text()->unseen_lines() > 0);
    open_window_menu(s);
    QAction* entry = window_entry(s, "Information and help (closed)");
    QVERIFY(entry != nullptr);
    entry->trigger();
    QVERIFY(text->isVisible());
    QVERIFY(text->widget()->isVisible());  // the page with the messages, not an empty frame
    QCOMPARE(s.platform->frame()->mdi()->activeSubWindow(), text.data());
    QVERIFY(s.has_line("Lozengia. Beta version."));
    QVERIFY(s.has_line(said));
    QCOMPARE(s.text()->unseen_lines(), 0);
  }

  void window_menu_lists_every_window_and_checks_the_active_one() {
    DesktopRun s;
    s.platform->windows().open_picture_window("Lozengia");  // a second picture window
    QCOMPARE(s.platform->frame()->registry().picture_windows().size(), 2);
    QMdiSubWindow* first = s.platform->frame()->registry().picture_windows().first();
    s.platform->frame()->registry().bring_back(first);
    open_window_menu(s);
    QAction* text = window_entry(s, "Information and help");
    QAction* one = window_entry(s, "Lozengia 1: Hahn N=50 T=100 S=0");
    QAction* two = window_entry(s, "Lozengia 2");
    QVERIFY(text && one && two);
    QVERIFY(one->isChecked());
    QVERIFY(!two->isChecked() && !text->isChecked());
    QVERIFY(plain(one->text()).contains("(kept)"));  // no longer receives pictures
    two->trigger();
    QCOMPARE(s.platform->frame()->mdi()->activeSubWindow(),
             s.platform->frame()->registry().picture_windows().last());
    // A closed picture window leaves the list.
    s.platform->frame()->registry().picture_windows().first()->close();
    QTRY_COMPARE_WITH_TIMEOUT(s.platform->frame()->registry().picture_windows().size(), 1, 5000);
    open_window_menu(s);
    // The others keep their numbers, so a title still names the same window.
    QVERIFY(window_entry(s, "Lozengia 1") == nullptr);
    QVERIFY(window_entry(s, "Lozengia 2") != nullptr);
  }

  void frame_opens_at_a_size_that_suits_the_screen() {
    DesktopRun s;
    const QRect avail = s.platform->frame()->screen()->availableGeometry();
    const QSize size = s.platform->frame()->size();
    QVERIFY(size.width() <= avail.width() && size.height() <= avail.height());
    QVERIFY(size.width() >= avail.width() / 2);
    // The first picture window is square.
    const QSize client = s.platform->windows().current_picture()->size();
    QCOMPARE(client.width(), client.height());
  }

  // ----------------------------------------------------- pictures that fit

  void resize_redraws_centred_with_the_true_aspect_ratio() {
    DesktopRun s;
    new_hexagon(s, hahn("4", "8", "4"));
    choose_style(s, 1);
    // Hexagon N x (T-S) x S: width T*sqrt(3)/2, height N + T/2.
    const double aspect = 8 * std::sqrt(3.0) / 2 / (4 + 8 / 2.0);
    for (const QSize size : {QSize(500, 250), QSize(250, 500), QSize(400, 400)}) {
      resize_picture(s, size.width(), size.height());
      const QImage img = s.picture();
      QCOMPARE(img.size(), size);  // drawn at the window's size, not scaled
      const QRect box = drawn_box(img);
      QVERIFY2(std::abs(box.left() - (size.width() - 1 - box.right())) <= 2,
               qPrintable(QString("not centred across: %1..%2 of %3")
                              .arg(box.left())
                              .arg(box.right())
                              .arg(size.width())));
      QVERIFY2(std::abs(box.top() - (size.height() - 1 - box.bottom())) <= 2,
               qPrintable(QString("not centred down: %1..%2 of %3")
                              .arg(box.top())
                              .arg(box.bottom())
                              .arg(size.height())));
      const double seen = double(box.width()) / box.height();
      QVERIFY2(std::abs(seen / aspect - 1.0) < 0.03,
               qPrintable(QString("aspect %1, hexagon %2").arg(seen).arg(aspect)));
    }
  }

  // --------------------------------------------------------- zoom and pan

  void zoom_redraws_the_visible_lozenges_from_the_tiling() {
    DesktopRun s;
    new_hexagon(s, hahn("30", "60", "30"));
    choose_style(s, 2);
    resize_picture(s, 400, 400);
    PictureWindow* p = s.platform->windows().current_picture();
    const QImage whole = p->image();
    const QPointF at(150, 220);
    const QPointF world_at = p->to_world(at);
    p->zoom_by(8.0, at);
    QCOMPARE(p->zoom(), 8.0);
    // The point under the cursor stays where it was.
    QVERIFY(std::abs(p->to_world(at).x() - world_at.x()) < 1e-9);
    QVERIFY(std::abs(p->to_world(at).y() - world_at.y()) < 1e-9);
    s.wait_picture();
    const QImage zoomed = p->image();
    QCOMPARE(zoomed.size(), QSize(400, 400));
    // Drawn afresh from the tiling at this view: exactly what drawing the
    // visible rectangle gives, with outlines as wide as lozenges of 50
    // pixels ask (2.5 pixels; a row crosses a slanted one in at most 6),
    // where a scaled bitmap would have them eight times as wide as before.
    QCOMPARE(zoomed, PictureWindow::draw(*p->tiling(), QSize(400, 400), p->visible_world()));
    int longest_black_run = 0;
    for (int y = 100; y < 300; y += 50) {
      int run = 0;
      for (int x = 0; x < 400; ++x) {
        run = (zoomed.pixel(x, y) & 0xFFFFFF) == 0 ? run + 1 : 0;
        longest_black_run = std::max(longest_black_run, run);
      }
    }
    QVERIFY2(longest_black_run <= 6, qPrintable(QString::number(longest_black_run)));
    // Drag to pan: the view moves by the drag, in world units.
    const WorldRect before = p->visible_world();
    QTest::mousePress(p, Qt::LeftButton, {}, QPoint(200, 200));
    QTest::mouseMove(p, QPoint(240, 200));
    QTest::mouseRelease(p, Qt::LeftButton, {}, QPoint(240, 200));
    const WorldRect after = p->visible_world();
    const double per_pixel = (before.x2 - before.x1) / 400;
    QVERIFY2(std::abs((before.x1 - after.x1) - 40 * per_pixel) < 1e-6,
             qPrintable(QString("%1 vs %2").arg(before.x1 - after.x1).arg(40 * per_pixel)));
    // The wheel zooms too, and Ctrl+0 (View, Fit) shows the whole hexagon.
    QWheelEvent wheel(QPointF(200, 200), p->mapToGlobal(QPointF(200, 200)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(p, &wheel);
    QVERIFY(p->zoom() < 8.0);
    s.platform->frame()->registry().bring_back(picture_sub(s));
    s.platform->frame()->fit_action()->trigger();
    QCOMPARE(p->zoom(), 1.0);
    s.wait_picture();
    QCOMPARE(p->image(), whole);
  }

  void a_large_drawing_leaves_the_previous_picture_until_it_is_done() {
    DesktopRun s;
    PictureWindow* p = s.platform->windows().current_picture();
    s.wait_picture();
    const QImage before = p->image();
    auto big = std::make_shared<TilingSnapshot>();
    big->N = 300;
    big->T = 600;
    big->S = 0;
    big->paths = PathArray(300, 600);
    minimal_paths(300, 600, 0, big->paths);
    big->version = 99;
    p->set_tiling(big, true);  // returns at once: the drawing runs elsewhere
    QVERIFY(p->drawing());
    QCOMPARE(p->image(), before);  // still shown meanwhile
    s.wait_picture();
    QVERIFY(p->image() != before);
    QCOMPARE(p->image(), PictureWindow::draw(*big, p->size(), p->visible_world()));
  }

  // --------------------------------------------------- out-of-date pictures

  // Each picture window is titled by what it shows; one older than the
  // program's tiling says what changed.
  void picture_titles_say_what_they_show_and_what_changed() {
    DesktopRun s;
    const QString dash = " \u2014 ", redraw = ": Show tiling to redraw";
    const struct {
      const char* what;
      std::function<void()> act;
      QString title;
    } rows[] = {
        {"start", [] {}, "Lozengia 1: Hahn N=50 T=100 S=0"},
        {"steps", [&] { step_dialog(s, true, "50", "1"); },
         "Lozengia 1: Hahn N=50 T=100 S=0" + dash + "now S=50" + redraw},
        {"shown", [&] { choose_style(s, 2); }, "Lozengia 1: Hahn N=50 T=100 S=50"},
        {"same hexagon made again", [&] { new_hexagon(s, hahn("50", "100", "50")); },
         "Lozengia 1: Hahn N=50 T=100 S=50" + dash + "the tiling changed" + redraw},
        {"another model",
         [&] { new_hexagon(s, {kRacah, {{ids::kN, "50"}, {ids::kT, "100"}, {ids::kS, "50"}, {ids::kLogqOrK, "80"}}}); },
         "Lozengia 1: Hahn N=50 T=100 S=50" + dash + "model changed" + redraw},
        {"shown", [&] { choose_style(s, 2); }, "Lozengia 1: Racah N=50 T=100 S=50 K=80"},
        {"averaged steps", [&] { step_dialog(s, true, "3", "4"); },
         "Lozengia 1: Racah N=50 T=100 S=50 K=80" + dash + "now S=53, average of 4 samples" +
             redraw},
        {"shown", [&] { choose_style(s, 2); },
         "Lozengia 1: Racah N=50 T=100 S=53 K=80, average of 4 samples"},
        {"another shape and model",
         [&] {
           new_hexagon(s, {kRealQRacah,
                           {{ids::kN, "5"}, {ids::kT, "6"}, {ids::kS, "2"}, {ids::kQ, "0.9"}, {ids::kLogqOrK, "80"}}});
         },
         "Lozengia 1: Racah N=50 T=100 S=53 K=80, average of 4 samples" + dash +
             "model changed, now N=5 T=6 S=2" + redraw},
        {"a second window", [&] { choose_style(s, 2, true); },
         "Lozengia 2: Real q-Racah N=5 T=6 S=2 q=0.9 log_q(kappa)=80"},
    };
    for (const auto& r : rows) {
      r.act();
      wait_idle(s);
      QTRY_COMPARE_WITH_TIMEOUT(s.platform->windows().window_title(kPictureUnit), r.title, 5000);
    }
    // The first window, kept, still says what it shows; the text window said
    // that the tiling was an average.
    QCOMPARE(s.platform->frame()->registry().picture_windows().first()->windowTitle(),
             QString("Lozengia 1: Racah N=50 T=100 S=53 K=80, average of 4 samples"));
    QVERIFY(s.has_line(
        "The tiling is now the average of 4 samples (each height rounded toward zero)."));
  }

  void redraw_after_each_command_keeps_the_picture_current() {
    DesktopRun s;
    QAction* option = s.platform->frame()->redraw_action();
    QVERIFY(option->isCheckable());
    QVERIFY(!option->isChecked());  // off by default
    option->trigger();
    QVERIFY(s.platform->frame()->redraw_after_each_command());
    step_dialog(s, true, "20", "1");
    wait_idle(s);
    s.wait_picture();
    QCOMPARE(s.platform->windows().current_picture()->tiling()->S, 20);
    QCOMPARE(s.platform->windows().window_title(kPictureUnit),
             QString("Lozengia 1: Hahn N=50 T=100 S=20"));
    new_hexagon(s, hahn("3", "4", "1"));
    s.wait_picture();
    QCOMPARE(s.platform->windows().current_picture()->tiling()->N, 3);
  }

  // --------------------------------------- copy, right-click menu, save view

  void ctrl_c_copies_the_picture_as_image_and_svg() {
    DesktopRun s;
    new_hexagon(s, hahn("10", "20", "10"));
    choose_style(s, 2);
    resize_picture(s, 300, 300);
    PictureWindow* p = s.platform->windows().current_picture();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    s.platform->frame()->registry().bring_back(picture_sub(s));
    s.platform->frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.platform->frame()));
    QCOMPARE(s.platform->frame()->copy_action()->shortcut(), QKeySequence(QKeySequence::Copy));
    QTest::keyClick(p, Qt::Key_C, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(clipboard->mimeData() && clipboard->mimeData()->hasImage(), 5000);
    const QImage copied = qvariant_cast<QImage>(clipboard->mimeData()->imageData());
    const QImage shown = p->image();
    QCOMPARE(copied.size(), shown.size() * p->devicePixelRatioF());
    QCOMPARE(copied.convertToFormat(QImage::Format_RGB32), shown.convertToFormat(QImage::Format_RGB32));
    // The whole hexagon shown: an SVG drawing too.
    QVERIFY(clipboard->mimeData()->data("image/svg+xml").contains("<svg"));
    // Zoomed in: the image of what is shown, and no SVG (it would show more).
    p->zoom_by(4.0, QPointF(150, 150));
    s.wait_picture();
    QCOMPARE(s.platform->frame()->zoom_text(), QString("Zoom 400%"));
    s.platform->frame()->copy_action()->trigger();
    QCOMPARE(qvariant_cast<QImage>(clipboard->mimeData()->imageData())
                 .convertToFormat(QImage::Format_RGB32),
             p->image().convertToFormat(QImage::Format_RGB32));
    QVERIFY(!clipboard->mimeData()->hasFormat("image/svg+xml"));
    // With text selected in the active text window, Copy copies the text.
    s.platform->frame()->registry().bring_back(s.platform->frame()->registry().text_window());
    auto* text =
        qobject_cast<QPlainTextEdit*>(s.platform->frame()->registry().text_window()->widget());
    text->selectAll();
    s.platform->frame()->copy_action()->trigger();
    QVERIFY(clipboard->text().contains("Lozengia. Beta version."));
  }

  void right_click_menu_saves_copies_zooms_and_restyles() {
    DesktopRun s;
    new_hexagon(s, hahn("10", "20", "10"));
    choose_style(s, 2);
    resize_picture(s, 320, 240);
    PictureWindow* p = s.platform->windows().current_picture();
    QTemporaryDir dir;
    s.platform->frame()->set_view_name_source(
        [&] { return std::make_optional(std::make_pair(dir.filePath("view"), QString())); });
    // Picks `entry` in the menu a right click opens, and records the labels.
    auto pick = [&](const QString& entry) {
      QStringList seen;
      auto alive = std::make_shared<bool>(true);
      std::function<void()> poll = [&, alive] {
        if (!*alive) return;
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
          QTimer::singleShot(5, poll);
          return;
        }
        seen = labels(menu);
        QAction* a = menu_entry(menu, entry);
        menu->close();
        if (a) a->trigger();
      };
      QTimer::singleShot(5, poll);
      QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(160, 120), p->mapToGlobal(QPoint(160, 120)));
      QApplication::sendEvent(p, &click);
      *alive = false;
      return seen;
    };
    QCOMPARE(pick("Zoom in"),
             QStringList({"Save view as..", "Copy", "Fit", "Zoom in", "Zoom out",
                          "Lozenge tiling without borders", "Lozenge tiling with borders",
                          "Nonintersecting paths on hexagonal lattice",
                          "Nonintersecting paths on hexagonal lattice with borders",
                          "Nonintersecting paths in Z^2"}));
    QCOMPARE(p->zoom(), 1.5);
    pick("Zoom in");
    QCOMPARE(p->zoom(), 2.25);
    pick("Zoom out");
    QCOMPARE(p->zoom(), 1.5);
    // Save view as..: the picture as the window shows it, at its zoom.
    s.wait_picture();
    pick("Save view as..");
    QImage saved(dir.filePath("view.png"));
    QVERIFY(!saved.isNull());
    QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), p->image().convertToFormat(QImage::Format_RGB32));
    // A style for this picture and the pictures to come; the zoom stays.
    pick("Lozenge tiling without borders");
    QCOMPARE(p->tiling()->style, 1);
    QCOMPARE(s.program->style(), 1);
    QCOMPARE(p->zoom(), 1.5);
    pick("Fit");
    QCOMPARE(p->zoom(), 1.0);
    QCOMPARE(s.platform->frame()->zoom_text(), QString("Zoom 100%"));
    pick("Copy");
    QVERIFY(QGuiApplication::clipboard()->mimeData()->hasImage());
  }

  // ----------------------------------------------------- progress and Stop

  void stop_keeps_the_tiling_reached_and_enables_the_menu() {
    DesktopRun s;
    new_hexagon(s, hahn("60", "100000", "0"));
    QVERIFY(!s.platform->frame()->stop_action()->isEnabled());
    step_dialog(s, true, "100000", "1");
    wait_until([&] { return s.has_line("Iteration 1 S=3"); }, 60000, "steps under way");
    QTRY_VERIFY_WITH_TIMEOUT(s.platform->frame()->stop_action()->isEnabled(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(s.platform->frame()->progress_text().contains("step"), 5000);
    QVERIFY(s.platform->frame()->status().contains("Hahn"));
    s.platform->frame()->stop_action()->trigger();  // as Esc does
    wait_idle(s);
    QVERIFY(!s.platform->frame()->stop_action()->isEnabled());
    QVERIFY(s.platform->frame()->commands_enabled());
    QVERIFY(s.platform->frame()->progress_text().isEmpty());
    const HexagonParams p = s.program->params();
    QVERIFY(p.S >= 3 && p.S < 100000);
    QCOMPARE(QString::fromStdString(check_invariants(s.program->paths(), p.N, p.T, p.S)),
             QString());
    const QString said =
        QString("Stopped after %1 of 100000 steps: the tiling reached at S=%1 is kept.").arg(p.S);
    QVERIFY2(s.has_line(said), qPrintable(said));
    QVERIFY(s.platform->frame()->status().contains(QString("S=%1").arg(p.S)));
  }

  void stop_of_an_averaged_command_keeps_the_start() {
    DesktopRun s;
    // Slices short enough that the first sweeps end soon also under
    // ThreadSanitizer on a loaded machine, and many of them, so that the
    // command is still under way when it is stopped.
    new_hexagon(s, hahn("20", "100000", "0"));
    step_dialog(s, true, "5", "1");
    wait_idle(s);
    const PathArray start = s.program->paths();
    step_dialog(s, true, "99000", "3");
    wait_until([&] { return s.has_line("Iteration 1 S=6"); }, 120000, "steps under way");
    s.platform->frame()->stop_action()->trigger();
    wait_idle(s);
    QCOMPARE(s.program->params().S, 5);
    QVERIFY(s.program->paths() == start);
    QVERIFY(
        s.has_line("Stopped: an average needs all its samples, so the tiling from before the "
                   "command (S=5) is kept."));
    QVERIFY(s.platform->frame()->commands_enabled());
  }

  void stop_ends_a_live_run() {
    DesktopRun s;
    new_hexagon(s, hahn("10", "20", "10"));
    when_modal(titled("Live mode"), [](QWidget* d) {
      CloseOnExit guard{d};
      type_into(d, ids::kDelay, "5");
      press(d, ids::kOk);  // S->S+1->S: runs until stopped
    });
    s.trigger("Live");
    wait_until([&] { return s.program->live_steps.load() >= 3; }, 60000, "live steps");
    QTRY_VERIFY_WITH_TIMEOUT(s.platform->frame()->progress_text().startsWith("Live S->S+1->S"),
                             5000);
    QTRY_VERIFY_WITH_TIMEOUT(s.platform->frame()->stop_action()->isEnabled(), 5000);
    s.platform->frame()->stop_action()->trigger();
    wait_idle(s);
    QCOMPARE(s.program->params().S, 10);
    QVERIFY(!s.platform->frame()->stop_action()->isEnabled());
    const HexagonParams p = s.program->params();
    QCOMPARE(QString::fromStdString(check_invariants(s.program->paths(), p.N, p.T, p.S)),
             QString());
  }

  // -------------------------------------------------------------- keyboard

  void menus_have_mnemonics_and_shortcuts() {
    DesktopRun s;
    QVERIFY(s.platform->frame()->commands_menu()->title().startsWith('&'));
    for (const char* label : {"Show tiling", "New hexagon", "S->S+1 steps", "S->S-1 steps",
                              "Export plane partition as.. "}) {
      QAction* a = menu_entry(s.platform->frame()->commands_menu(), label);
      QVERIFY2(a && a->text().contains('&') && !a->shortcut().isEmpty(), label);
    }
    MainWindow* f = s.platform->frame();
    for (QAction* a : {f->save_action(), f->print_action(), f->exit_action(), f->zoom_in_action(),
                       f->zoom_out_action(), f->fit_action(), f->stop_action()})
      QVERIFY2(!a->shortcut().isEmpty(), qPrintable(a->text()));
    QCOMPARE(f->fit_action()->shortcut(), QKeySequence("Ctrl+0"));
    QCOMPARE(f->stop_action()->shortcut(), QKeySequence(Qt::Key_Escape));
  }

  void interactive_mode_reads_upper_case_and_esc() {
    QCOMPARE(InteractiveMode::normalise('A'), 'a');
    QCOMPARE(InteractiveMode::normalise('Z'), 'z');
    QCOMPARE(InteractiveMode::normalise('\x1b'), 'q');
    QCOMPARE(InteractiveMode::normalise('q'), 'q');
    QCOMPARE(InteractiveMode::normalise('k'), 'k');
    DesktopRun s;
    new_hexagon(s, hahn("3", "4", "0"));
    QTimer::singleShot(20, [&] {
      QTest::keyClick(s.platform->windows().current_picture(), 'A');
      QTest::keyClick(s.platform->windows().current_picture(), Qt::Key_Escape);
    });
    s.trigger("Interactive mode");  // returns when Esc is read
    QCOMPARE(s.program->params().S, 1);
    QVERIFY(s.platform->frame()->commands_enabled());
  }

  void exit_closes_the_program() {
    DesktopRun s;
    s.platform->frame()->exit_action()->trigger();
    QVERIFY(s.platform->gui().shutting_down());
    QVERIFY(!s.platform->frame()->isVisible());
  }
};

QTEST_MAIN(WindowsTest)
#include "test_windows.moc"
