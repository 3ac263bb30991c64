// What the desktop program remembers between runs, and what it ignores when
// the remembered settings are unreadable; saved images by the chosen type,
// and files that could not be written named with the reason; config.cfg's
// style line with a comment and lines that fall back alone.
#include <sys/stat.h>

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

#include "../support/config_text.h"
#include "../support/files.h"
#include "../support/picture_margins.h"
#include "commands/dialog_ids.h"
#include "commands/live_mode.h"
#include "gui_test_support.h"
#include "platform/image_saving.h"
#include "platform/settings.h"
#include "render/color_config.h"
#include "render/svg_tiling.h"

using namespace lozengia;
using namespace lozengia::test;
namespace {

// Opens `entry` of the Commands menu and records what its dialog offers.
std::map<int, QString> offered(DesktopRun& s, const QString& entry, const QString& title) {
  auto fields = std::make_shared<std::map<int, QString>>();
  when_modal(titled(title), [fields](QWidget* d) {
    CloseOnExit guard{d};
    for (QWidget* w : d->findChildren<QWidget*>()) {
      if (!w->property("controlId").isValid()) continue;
      const int id = w->property("controlId").toInt();
      if (auto* e = qobject_cast<QLineEdit*>(w)) (*fields)[id] = e->text();
      if (auto* c = qobject_cast<QComboBox*>(w))
        (*fields)[id] = QString::number(c->currentIndex() + 1);
    }
    press(d, ids::kCancel);
  });
  s.trigger(entry);
  return *fields;
}

// "Show tiling" in the present style, and the picture drawn.
void show_tiling(DesktopRun& s) {
  when_modal(titled("Choose style of a tiling picture"), [](QWidget* d) {
    CloseOnExit guard{d};
    press(d, ids::kOk);
  });
  s.trigger("Show tiling");
  s.wait_picture();
}

using testing::config_text;

const std::string kBad =
    "Configuration file config.cfg not found or in bad format. Default values are loaded.";

}  // namespace

class SettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void settings_round_trip_between_runs() {
    QTemporaryDir dir;
    const QString ini = dir.filePath("lozengia.ini");
    {
      DesktopRun s({}, false, ini);
      new_hexagon(s, {kQHahn, {{ids::kN, "7"}, {ids::kT, "9"}, {ids::kS, "3"}, {ids::kQ, "0.5"}}});
      when_modal(titled("S->S+1 Markov operator"), [](QWidget* d) {
        CloseOnExit guard{d};
        type_into(d, ids::kSteps, "2");
        type_into(d, ids::kSamples, "3");
        press(d, ids::kOk);
      });
      s.trigger("S->S+1 steps");
      wait_command_ended(s);
      when_modal(titled("Live mode"), [](QWidget* d) {
        CloseOnExit guard{d};
        qobject_cast<QComboBox*>(control(d, ids::kTransition))->setCurrentIndex(2);  // S->S+1
        type_into(d, ids::kDelay, "0");
        press(d, ids::kOk);
      });
      s.trigger("Live");  // runs up to S = T by itself
      wait_command_ended(s);
      when_modal(titled("Choose style of a tiling picture"), [](QWidget* d) {
        CloseOnExit guard{d};
        qobject_cast<QAbstractButton*>(control(d, ids::kFirstStyle + 2))->click();
        press(d, ids::kOk);
      });
      s.trigger("Show tiling");
      s.platform->frame()->redraw_action()->trigger();
      s.platform->frame()->resize(700, 500);
      QCoreApplication::processEvents();
      s.platform->frame()->registry().text_window()->setGeometry(10, 20, 300, 200);
      s.platform->frame()->registry().picture_windows().first()->setGeometry(320, 30, 250, 240);
      s.platform->frame()->close();
    }
    {
      DesktopRun s({}, false, ini);
      QCOMPARE(s.program->style(), 3);
      QVERIFY(s.platform->frame()->redraw_action()->isChecked());
      QVERIFY(s.platform->frame()->redraw_after_each_command());
      QCOMPARE(s.platform->frame()->size(), QSize(700, 500));
      // The windows come back where they were left.
      QCOMPARE(s.platform->frame()->registry().text_window()->geometry(), QRect(10, 20, 300, 200));
      when_modal(titled("Choose style of a tiling picture"), [](QWidget* d) {
        CloseOnExit guard{d};
        press(d, ids::kOk);
      });
      s.trigger("Show tiling");
      wait_until([&] { return !s.platform->frame()->registry().picture_windows().isEmpty(); });
      QCOMPARE(s.platform->frame()->registry().picture_windows().first()->geometry(),
               QRect(320, 30, 250, 240));
      const auto fresh = offered(s, "New hexagon", "New");
      QCOMPARE(fresh.at(ids::kModel), QString::number(kQHahn));
      QCOMPARE(fresh.at(ids::kN), QString("7"));
      QCOMPARE(fresh.at(ids::kQ), QString("0.5"));
      const auto steps = offered(s, "S->S+1 steps", "S->S+1 Markov operator");
      QCOMPARE(steps.at(ids::kSteps), QString("2"));
      QCOMPARE(steps.at(ids::kSamples), QString("3"));
      const auto live = offered(s, "Live", "Live mode");
      QCOMPARE(live.at(ids::kTransition), QString("3"));
      QCOMPARE(live.at(ids::kDelay), QString("0"));
      // Restore defaults forgets all of it.
      s.platform->frame()->restore_defaults_action()->trigger();
      QVERIFY(!s.platform->frame()->redraw_action()->isChecked());
      s.platform->frame()->close();
    }
    {
      DesktopRun s({}, false, ini);
      QCOMPARE(s.program->style(), 2);
      QVERIFY(!s.platform->frame()->redraw_after_each_command());
      QCOMPARE(offered(s, "New hexagon", "New").at(ids::kN), QString("50"));
      QCOMPARE(offered(s, "S->S+1 steps", "S->S+1 Markov operator").at(ids::kSteps), QString("0"));
      const auto live = offered(s, "Live", "Live mode");
      QCOMPARE(live.at(ids::kDelay), QString::number(LiveMode::kDefaultDelayMs));
      QCOMPARE(live.at(ids::kTransition), QString("1"));
    }
  }

  // A picture left maximised comes back maximised, over the place it goes
  // back to beside the text window; while it is maximised a step command
  // leaves it in front, otherwise the text window comes forward.
  void a_maximised_picture_comes_back_maximised() {
    QTemporaryDir dir;
    const QString ini = dir.filePath("lozengia.ini");
    const QRect text_place(0, 0, 300, 400), picture_place(310, 0, 350, 350);
    {
      DesktopRun s({}, false, ini);
      s.platform->frame()->resize(800, 600);
      QCoreApplication::processEvents();
      s.platform->frame()->registry().text_window()->setGeometry(text_place);
      s.platform->frame()->registry().picture_windows().first()->setGeometry(picture_place);
      s.platform->frame()->registry().picture_windows().first()->showMaximized();
      s.platform->frame()->close();
    }
    DesktopRun s({}, false, ini);
    QMdiSubWindow* picture = s.platform->frame()->registry().picture_windows().first();
    QMdiSubWindow* text = s.platform->frame()->registry().text_window();
    QVERIFY(picture->isMaximized());
    auto steps = [&](const QString& count) {
      when_modal(titled("S->S+1 Markov operator"), [count](QWidget* d) {
        CloseOnExit guard{d};
        type_into(d, ids::kSteps, count);
        type_into(d, ids::kSamples, "1");
        press(d, ids::kOk);
      });
      s.trigger("S->S+1 steps");
      wait_command_ended(s);
      QTest::qWait(50);  // the window calls queued by the command
    };
    steps("5");
    QVERIFY(picture->isMaximized());
    QCOMPARE(s.platform->frame()->mdi()->activeSubWindow(), picture);
    picture->showNormal();
    QCOMPARE(picture->geometry(), picture_place);
    QCOMPARE(text->geometry(), text_place);
    QVERIFY(text->isVisible() && !text->isMaximized());
    steps("5");
    QCOMPARE(s.platform->frame()->mdi()->activeSubWindow(), text);
  }

  void hostile_settings_are_ignored_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::newRow("out of range") << QByteArray(
        "[picture]\nstyle=99\nredraw_after_each_command=maybe\n[steps]\nsteps=-5\nsamples=abc\n"
        "[live]\ntransition=0\ndelay=-1\n[new]\nkind=7\n1002=12\n[window]\ngeometry=@ByteArray("
        "junk)\ntext=-5,0,300,200\npicture=1,2,3\n"
        "[folders]\nsave=/no/such/folder\n");
    QTest::newRow("wrong types") << QByteArray(
        "[picture]\nstyle=1, 2\n[steps]\nsteps=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x12)\n"
        "[live]\ndelay=99999999999999999999\n[new]\nkind=@ByteArray(\\x1)\n");
    QTest::newRow("long text") << QByteArray("[new]\nkind=6\n1002=") + QByteArray(100000, '9') +
                                      QByteArray("\n");
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i) garbage[i] = char((i * 7919) % 251);
    QTest::newRow("binary") << garbage;
  }
  void hostile_settings_are_ignored() {
    QFETCH(QByteArray, ini);
    QTemporaryDir dir;
    const QString path = dir.filePath("lozengia.ini");
    {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(ini);
    }
    DesktopRun s({}, false, path);
    QCOMPARE(s.program->style(), 2);
    QVERIFY(!s.platform->frame()->redraw_after_each_command());
    const auto fresh = offered(s, "New hexagon", "New");
    QCOMPARE(fresh.at(ids::kModel), QString::number(kHahn));
    QVERIFY(fresh.at(ids::kN).size() <= 80);
    QCOMPARE(offered(s, "S->S+1 steps", "S->S+1 Markov operator").at(ids::kSteps), QString("0"));
    const auto live = offered(s, "Live", "Live mode");
    QCOMPARE(live.at(ids::kDelay), QString::number(LiveMode::kDefaultDelayMs));
    QCOMPARE(live.at(ids::kTransition), QString("1"));
    QVERIFY(s.platform->frame()->isVisible());
    QCOMPARE(s.platform->frame()->registry().text_window()->pos(),
             QPoint(0, 0));  // a place outside is not taken
  }

  // A settings file that is a pipe or a folder is never opened (a pipe would
  // hang the program before its first window): one line says so, the run
  // keeps its settings in memory, and the special file is left as it was.
  void settings_that_are_not_a_file_are_ignored_data() {
    QTest::addColumn<bool>("pipe");
    QTest::newRow("pipe") << true;
    QTest::newRow("folder") << false;
  }
  void settings_that_are_not_a_file_are_ignored() {
    QFETCH(bool, pipe);
    QTemporaryDir dir;
    const QString path = dir.filePath("lozengia.ini");
    QVERIFY(pipe ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 : QDir().mkdir(path));
    {
      DesktopRun s({}, false, path);
      QVERIFY(s.has_line("The settings file " + path +
                         " is not a regular file: it is ignored, and this run's settings are not "
                         "kept."));
      QCOMPARE(s.program->style(), 2);
      // Settings still work for the run.
      s.platform->settings().set(setting::kSteps, 7);
      QCOMPARE(s.platform->settings().integer(setting::kSteps, 0, 100), std::optional<int>(7));
      s.platform->frame()->close();
    }
    const QFileInfo after(path);
    QVERIFY(pipe ? !after.isFile() && after.exists() && !after.isDir() : after.isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System),
             QStringList{"lozengia.ini"});
  }

  void settings_reader_checks_every_value() {
    QTemporaryDir dir;
    Settings w(dir.filePath("s.ini"));
    w.set("a", 5);
    w.set("b", QString(" 7 "));
    w.set("c", QString("7x"));
    w.set("t", QString("hello"));
    w.set("ctl", QString("a\x01"
                         "b"));
    w.set_flag("f", true);
    w.sync();
    Settings r(dir.filePath("s.ini"));
    QCOMPARE(r.integer("a", 1, 10), std::optional<int>(5));
    QCOMPARE(r.integer("b", 1, 10), std::optional<int>(7));
    QCOMPARE(r.integer("a", 6, 10), std::nullopt);
    QCOMPARE(r.integer("c", 1, 10), std::nullopt);
    QCOMPARE(r.integer("missing", 1, 10), std::nullopt);
    QCOMPARE(r.text("t"), std::optional<QString>("hello"));
    QCOMPARE(r.text("t", 3), std::nullopt);
    QCOMPARE(r.text("ctl"), std::nullopt);
    QCOMPARE(r.flag("f"), std::optional<bool>(true));
    QCOMPARE(r.flag("t"), std::nullopt);
    QCOMPARE(r.folder("t"), std::nullopt);
  }

  // ------------------------------------------------------------ saving

  void image_type_comes_from_the_chosen_filter_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("filter");  // index in image_filters()
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("type");
    QTest::newRow("png added") << "pic" << 0 << "pic.png" << int(PictureFormat::kPng);
    QTest::newRow("bmp added") << "pic" << 1 << "pic.bmp" << int(PictureFormat::kBmp);
    QTest::newRow("svg added") << "pic" << 2 << "pic.svg" << int(PictureFormat::kSvg);
    QTest::newRow("pdf added") << "pic" << 3 << "pic.pdf" << int(PictureFormat::kPdf);
    QTest::newRow("dot kept, suffix added") << "a.b" << 1 << "a.b.bmp" << int(PictureFormat::kBmp);
    QTest::newRow("own suffix wins") << "pic.SVG" << 0 << "pic.SVG" << int(PictureFormat::kSvg);
    QTest::newRow("own pdf") << "x.pdf" << 2 << "x.pdf" << int(PictureFormat::kPdf);
  }
  void image_type_comes_from_the_chosen_filter() {
    QFETCH(QString, name);
    QFETCH(int, filter);
    QFETCH(QString, path);
    QFETCH(int, type);
    const ImageTarget t = image_target(name, image_filters().at(filter));
    QCOMPARE(t.path, path);
    QCOMPARE(int(t.format), type);
  }

  void save_image_writes_each_type() {
#if defined(__SANITIZE_THREAD__)
    QSKIP("the PDF engine maps font files where ThreadSanitizer cannot follow; no thread here");
#endif
    DesktopRun s;
    new_hexagon(s, hahn("3", "5", "2"));
    show_tiling(s);
    QTemporaryDir dir;
    const struct {
      int filter;
      const char* file;
      QByteArray magic;
    } cases[] = {
        {0, "a.png", "\x89PNG"}, {1, "b.bmp", "BM"}, {2, "c.svg", "<?xml"}, {3, "d.pdf", "%PDF"}};
    for (const auto& c : cases) {
      const QString base = dir.filePath(QString(c.file).section('.', 0, 0));
      const QString filter = image_filters().at(c.filter);
      s.platform->frame()->set_image_name_source(
          [=] { return std::make_optional(std::make_pair(base, filter)); });
      s.platform->frame()->save_action()->trigger();
      QFile f(dir.filePath(c.file));
      QVERIFY2(f.open(QIODevice::ReadOnly), c.file);
      const QByteArray head = f.read(c.magic.size());
      QCOMPARE(head, c.magic);
    }
    // A vector file: the SVG holds polygons, not one embedded image.
    QFile svg(dir.filePath("c.svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    QVERIFY(text.contains("<polygon") || text.contains("<path"));
    QVERIFY(!text.contains("<image"));
    // The hexagon centred with an even margin, the window's size (at least
    // 600 pixels) on the long side, in the image and on the PDF's page.
    for (const QImage& img :
         {QImage(dir.filePath("a.png")), lozengia::testing::pdf_page(dir.filePath("d.pdf"))}) {
      QVERIFY2(!img.isNull(), "no picture (is pdftoppm, poppler-utils, there?)");
      QVERIFY(std::max(img.width(), img.height()) >= 600);
      const lozengia::testing::Margins m = lozengia::testing::ink_margins(img);
      QVERIFY2(m.centred() && std::abs(m.left - m.top) <= 2,
               qPrintable(lozengia::testing::describe(m)));
    }
    // A folder that does not exist: an error box, nothing written.
    std::vector<Box> boxes;
    s.platform->frame()->set_image_name_source([&] {
      return std::make_optional(std::make_pair(dir.filePath("no/such"), image_filters().at(0)));
    });
    expect_box(&boxes);
    s.platform->frame()->save_action()->trigger();
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(boxes[0].title, QString("Error!"));
    // An SVG that could pass its bound is refused with the message the
    // command-line tool and the Python module give, and not begun.
    new_hexagon(s, hahn("2000", "4000", "2000"));
    show_tiling(s);
    s.platform->frame()->set_image_name_source([&] {
      return std::make_optional(std::make_pair(dir.filePath("big.svg"), image_filters().at(0)));
    });
    expect_box(&boxes);
    s.platform->frame()->save_action()->trigger();
    QCOMPARE(boxes.size(), std::size_t{2});
    QCOMPARE(boxes[1].text.toStdString(), svg_size_check(2000, 4000, 2000, kStyleBorders));
    QVERIFY(boxes[1].text.startsWith("SVG picture refused"));
    QVERIFY(!QFileInfo::exists(dir.filePath("big.svg")));
  }

  // "Save image as.." sets the picture's long side: each file gets the side
  // typed in its dialog (points for PDF), and the next dialog offers it
  // again. A remembered side out of range is not taken: the window's size
  // (at least 600) is offered, as before any was typed.
  void saved_picture_has_the_long_side_typed() {
    DesktopRun s;
    s.platform->settings().set(setting::kSaveLongSide, 5);
    new_hexagon(s, hahn("3", "5", "2"));
    show_tiling(s);
    const PictureWindow* p = s.platform->windows().current_picture();
    int offered_before = std::max({600, p->width(), p->height()});
    QTemporaryDir dir;
    auto svg_side = [](const QString& file) {
      QFile f(file);
      if (!f.open(QIODevice::ReadOnly)) return 0;
      const auto m = QRegularExpression("width=\"(\\d+)\" height=\"(\\d+)\"").match(f.readAll());
      return m.hasMatch() ? std::max(m.captured(1).toInt(), m.captured(2).toInt()) : 0;
    };
    auto image_side = [](const QImage& i) { return std::max(i.width(), i.height()); };
    const struct {
      const char* file;
      int typed;
      std::function<int(const QString&)> long_side;
    } cases[] = {
        {"a.png", 1234, [&](const QString& f) { return image_side(QImage(f)); }},
        {"b.pdf", 500, [&](const QString& f) { return image_side(lozengia::testing::pdf_page(f)); }},
        {"c.svg", 777, svg_side},
    };
    for (const auto& c : cases) {
      const QString file = dir.filePath(c.file);
      auto offered = std::make_shared<int>(0);
      auto labelled = std::make_shared<bool>(false);
      when_modal(titled("Save image as.."), [=](QWidget* w) {
        CloseOnExit guard{w};
        auto* d = qobject_cast<QFileDialog*>(w);
        auto* field = w->findChild<QSpinBox*>("longSide");
        QVERIFY(d && field);
        *offered = field->value();
        for (const QLabel* l : w->findChildren<QLabel*>())
          *labelled = *labelled || (l->text() == "Long side (pixels):" && l->buddy() == field);
        field->selectAll();
        QTest::keyClicks(field, QString::number(c.typed));
        d->selectFile(file);
        static_cast<QDialog*>(d)->accept();  // as the Save button does
      });
      s.platform->frame()->save_action()->trigger();
      QVERIFY(*labelled);
      QCOMPARE(*offered, offered_before);
      QCOMPARE(c.long_side(file), c.typed);
      offered_before = c.typed;
    }
  }

  // Export, "Save image as.." and "Save view as.." name a file they could not
  // write after the program's own words, with the system's reason, as the
  // command-line tool does: the export in the text window, the others in
  // an error box.
  void file_failures_say_why() {
    DesktopRun s;
    new_hexagon(s, hahn("3", "5", "2"));
    show_tiling(s);
    QTemporaryDir dir;
    enum Via { kExport, kImage, kView };
    const struct {
      const char* what;
      Via via;
      const char* file;
      bool too_large;  // a file size limit stands in for a full disk
      const char* said;
    } cases[] = {
        {"export, no folder", kExport, "no/pp.txt", false,
         "Error while opening file %1: No such file or directory"},
        {"export, disk full", kExport, "pp.txt", true,
         "Error while writing to file %1: File too large"},
        {"image, no folder", kImage, "no/a.png", false,
         "Error while opening file %1: No such file or directory"},
        {"image, disk full", kImage, "a.bmp", true,
         "Error while writing to file %1: File too large"},
        {"view, no folder", kView, "no/v.png", false,
         "Error while opening file %1: No such file or directory"},
        {"view, disk full", kView, "v.png", true,
         "Error while writing to file %1: File too large"},
    };
    for (const auto& c : cases) {
      const QString path = dir.filePath(c.file);
      const QString want = QString(c.said).arg(path);
      s.platform->dialogs().set_save_file_name_source([&] { return path.toStdString(); });
      auto chosen = [&] { return std::make_optional(std::make_pair(path, QString())); };
      s.platform->frame()->set_image_name_source(chosen);
      s.platform->frame()->set_view_name_source(chosen);
      std::vector<Box> boxes;
      auto waiting = c.via == kExport ? std::make_shared<bool>(false) : expect_box(&boxes);
      {
        testing::FileSizeLimit limit(c.too_large ? 8 : RLIM_INFINITY);
        QVERIFY(limit.active());
        if (c.via == kExport) s.trigger("Export plane partition as.. ");
        if (c.via == kImage) s.platform->frame()->save_action()->trigger();
        if (c.via == kView) s.platform->frame()->save_view(s.platform->windows().current_picture());
      }
      *waiting = false;
      if (c.via == kExport) {
        wait_until([&] { return s.last_line() == want; }, 10000, c.what);
      } else {
        QCOMPARE(boxes.size(), std::size_t{1});
        QCOMPARE(boxes[0].title, QString("Error!"));
        QCOMPARE(boxes[0].text, want);
      }
      QVERIFY2(!QFileInfo::exists(path), c.what);
    }
    // A file that could only be written in place, with no room for a copy of
    // its old content: why, and what to do instead.
    const std::string refused =
        save_failure_text(WriteStatus::in_place_refused(ENOSPC), "/srv/ro/pp.txt");
    QVERIFY2(refused.rfind("Error while opening file /srv/ro/pp.txt: No space left on device "
                           "(nothing can be made in its folder",
                           0) == 0,
             refused.c_str());
    QVERIFY2(refused.find("save it in a folder you may write to") != std::string::npos,
             refused.c_str());
  }

  // ----------------------------------------------------------- config.cfg

  void config_style_line_may_carry_a_comment() {
    const ColorConfig c =
        parse_color_config(config_text("0000FF", "00FF00", "FF0000", "3  default style"));
    QVERIFY(c.loaded);
    QCOMPARE(c.style, 3);
    QCOMPARE(c.colors.flat, Rgb{0x0000FF});
    QCOMPARE(c.message.at(0), std::string("Colors loaded from config.cfg. Blue-Green-Red format:"));
    QCOMPARE(parse_color_config(config_text("0000FF", "00FF00", "FF0000", "4\tby hand")).style, 4);
    // Glued to the number, it is no comment.
    QVERIFY(!parse_color_config(config_text("0000FF", "00FF00", "FF0000", "3styles")).loaded);
  }

  void config_bad_lines_fall_back_alone_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("flat");
    QTest::addColumn<uint>("rising");
    QTest::addColumn<uint>("hexagon");
    QTest::addColumn<int>("style_number");
    QTest::addColumn<QStringList>("said");  // the lines between the message and the empty line
    QTest::newRow("bad style")
        << QString::fromStdString(config_text("0000FF", "00FF00", "FF0000", "two")) << 0x0000FFu
        << 0x00FF00u << 0xFF0000u << 2
        << QStringList{"Line 19 (style) does not start with a whole number; style 2 is used.",
                       "Read from config.cfg all the same: colour 1, colour 2, colour 3."};
    QTest::newRow("bad colour 2")
        << QString::fromStdString(config_text("0000FF", "zz", "FF0000", "4")) << 0x0000FFu
        << 0xD0D0FFu << 0xFF0000u << 4
        << QStringList{"Line 16 (colour 2) does not start with six hexadecimal digits BBGGRR; its "
                       "default is used.",
                       "Read from config.cfg all the same: colour 1, colour 3, style."};
    // A style out of range is read but not taken: it is not listed as read.
    QTest::newRow("bad colour 3, style 5")
        << QString::fromStdString(config_text("0000FF", "00FF00", "xyz", "5")) << 0x0000FFu
        << 0x00FF00u << 0xDDB0B0u << 2
        << QStringList{"Line 17 (colour 3) does not start with six hexadecimal digits BBGGRR; its "
                       "default is used.",
                       "Line 19 (style): 5 is not a style from 1 to 4; style 2 is used.",
                       "Read from config.cfg all the same: colour 1, colour 2."};
    QTest::newRow("cut short")
        << QString::fromStdString(config_text("0000FF", "00FF00", "FF0000", "3", "\n", 16))
        << 0x0000FFu << 0x00FF00u << 0xDDB0B0u << 2
        << QStringList{"Line 17 (colour 3) is missing (the file has 16 lines); its default is used.",
                       "Line 19 (style) is missing (the file has 16 lines); style 2 is used.",
                       "Read from config.cfg all the same: colour 1, colour 2."};
    QTest::newRow("last line missing")
        << QString::fromStdString(config_text("0000FF", "00FF00", "FF0000", "3", "\n", 20))
        << 0x0000FFu << 0x00FF00u << 0xFF0000u << 3
        << QStringList{"The file has 20 of its 21 lines.",
                       "Read from config.cfg all the same: colour 1, colour 2, colour 3, style."};
    QTest::newRow("empty") << "" << 0xD0FFD0u << 0xD0D0FFu << 0xDDB0B0u << 2 << QStringList{};
  }
  void config_bad_lines_fall_back_alone() {
    QFETCH(QString, text);
    QFETCH(uint, flat);
    QFETCH(uint, rising);
    QFETCH(uint, hexagon);
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    QFETCH(QStringList, said);
    const ColorConfig c = parse_color_config(text.toStdString());
    QVERIFY(!c.loaded);
    QCOMPARE(c.colors.flat, Rgb{flat});
    QCOMPARE(c.colors.rising, Rgb{rising});
    QCOMPARE(c.colors.hexagon, Rgb{hexagon});
    QCOMPARE(c.style, style);
    QCOMPARE(c.message.front(), kBad);
    QCOMPARE(c.message.back(), std::string());
    QStringList between;
    for (std::size_t i = 1; i + 1 < c.message.size(); ++i)
      between << QString::fromStdString(c.message[i]);
    QCOMPARE(between, said);
  }

  void program_starts_with_the_colours_of_a_file_whose_style_line_is_bad() {
    DesktopRun s(config_text("0000FF", "00FF00", "FF0000", "three"), true);
    QVERIFY(s.has_line(QString::fromStdString(kBad)));
    QCOMPARE(s.program->colors().flat, Rgb{0x0000FF});
    QCOMPARE(s.program->style(), 2);
  }
};

QTEST_MAIN(SettingsTest)
#include "test_settings.moc"
