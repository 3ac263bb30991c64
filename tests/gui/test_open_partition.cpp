// "Open plane partition..": a file exported by the program opened again
// through the File menu (its model chosen in the dialog, the export of the
// opened tiling byte-identical to the file, a step from it), and bad files,
// opened or dropped on the window, each told with line and column while the
// tiling stays as it was.
#include <sys/stat.h>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QtTest>

#include "commands/open_partition_command.h"
#include "core/fast_sweep.h"
#include "gui_test_support.h"
#include "platform/open_partition_hook.h"
#include "render/pp_writer.h"

using namespace lozengia;
using namespace lozengia::test;

namespace {

QByteArray file_bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Opens `path` through File > Open plane partition.., and in its dialog
// types `fields` and presses OK; a refusal is recorded and the dialog
// cancelled.
void open_through_menu(DesktopRun& s, const QString& path, const NewFields& f,
                       std::vector<Box>* boxes) {
  OpenPartitionHook* hook = s.program->open_partition().hook();
  hook->set_name_source([path] { return std::optional<std::string>(path.toStdString()); });
  when_modal(titled("Open plane partition"), [f, boxes](QWidget* d) {
    CloseOnExit guard{d};
    qobject_cast<QComboBox*>(control(d, ids::kModel))->setCurrentIndex(f.kind - 1);
    for (const auto& [id, t] : f.text) type_into(d, id, t);
    auto waiting = expect_box(boxes);
    const std::size_t before = boxes->size();
    press(d, ids::kOk);
    *waiting = false;
    if (d->isVisible()) {
      QVERIFY(boxes->size() > before);
      press(d, ids::kCancel);
    }
  });
  hook->action()->trigger();
}

}  // namespace

class OpenPartitionTest : public QObject {
  Q_OBJECT

 private slots:
  void an_exported_file_opens_as_the_tiling_and_exports_the_same_bytes() {
    DesktopRun s;
    // A q-Hahn sample written as the export writes it.
    const HexagonParams p{5, 12, 6, {kQHahn, 0.9, 0.0, 0.0, 0.0}};
    PathArray sample(p.N, p.T);
    NullSink sink;
    exact_sample_streams(p, sample, 11, 1, sink);
    const QString file = s.dir.filePath("sample.txt");
    QCOMPARE(export_plane_partition(file.toStdString(), sample, p.S), WriteStatus::kOk);

    QVERIFY(menu_entry(s.platform->frame()->file_menu(), "Open plane partition..") != nullptr);
    std::vector<Box> boxes;
    open_through_menu(s, file, {kQHahn, {{ids::kN, "5"}, {ids::kQ, "0.9"}}}, &boxes);
    QVERIFY(boxes.empty());
    const HexagonParams now = s.program->params();
    QCOMPARE(now.N, 5);
    QCOMPARE(now.T, 12);
    QCOMPARE(now.S, 6);
    QCOMPARE(now.model.kind, int(kQHahn));
    QVERIFY(s.program->paths() == sample);
    QVERIFY(s.has_line("Opened " + file + "."));
    s.wait_picture();
    QVERIFY(s.platform->windows().window_title(kPictureUnit).contains("S=6"));

    // Exported again: the same bytes.
    const QString again = s.dir.filePath("again.txt");
    s.platform->dialogs().set_save_file_name_source(
        [&] { return std::optional(again.toStdString()); });
    s.trigger("Export plane partition as.. ");
    QCOMPARE(file_bytes(again), file_bytes(file));
  }

  void bad_files_are_told_by_line_and_column_and_keep_the_tiling() {
    DesktopRun s;
    new_hexagon(s, hahn("3", "7", "3"));
    const PathArray before = s.program->paths();
    const HexagonParams params = s.program->params();
    const QString ragged = s.dir.filePath("ragged.txt");
    QFile f(ragged);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("       3       2\n       1\n");
    f.close();
    const QString fifo = s.dir.filePath("fifo");
    QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString good = s.dir.filePath("good.txt");
    QFile g(good);
    QVERIFY(g.open(QIODevice::WriteOnly));
    g.write("3 3\n3 2\n");
    g.close();

    struct Case {
      QString path;
      QString message;
    };
    const Case cases[] = {
        {ragged, ragged + ": line 2, column 9: this line has 1 entry, the line above it 2"},
        {fifo, fifo + ": not a regular file"},
    };
    for (const Case& c : cases) {
      // Dropped on the window: the drop as the frame's filter gets it from
      // the windowing system (the offscreen platform delivers no drops).
      std::vector<Box> boxes;
      auto waiting = expect_box(&boxes);
      QMimeData mime;
      mime.setUrls({QUrl::fromLocalFile(c.path)});
      QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QObject* filter = s.program->open_partition().hook();
      QVERIFY(filter->eventFilter(s.platform->frame(), &drop));
      QVERIFY(drop.isAccepted());
      wait_until([&] { return !boxes.empty(); }, 20000, "error box");
      *waiting = false;
      QVERIFY(!boxes.empty());
      QCOMPARE(boxes.front().title, QString("Error!"));
      QVERIFY2(boxes.front().text.startsWith(c.message), qPrintable(boxes.front().text));
      QVERIFY(s.program->paths() == before);
    }
    // N below the largest entry: refused in the dialog, which is then
    // cancelled; the tiling stays.
    std::vector<Box> boxes;
    open_through_menu(s, good, {kHahn, {{ids::kN, "2"}}}, &boxes);
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(boxes[0].text,
             good + ": line 1, column 1: entry 3 exceeds N = 2: entries lie in 0..N");
    QVERIFY(s.program->paths() == before);
    QCOMPARE(s.program->params().T, params.T);
    QCOMPARE(s.program->params().N, params.N);
  }
};

QTEST_MAIN(OpenPartitionTest)
#include "test_open_partition.moc"
