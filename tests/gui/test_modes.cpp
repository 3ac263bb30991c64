// Interactive mode, live mode and the picture window's key read, driven as a
// user would: keys are typed into the picture window while the program waits
// for them.
#include <QMdiSubWindow>
#include <QtTest>
#include <thread>

#include "commands/interactive_mode.h"
#include "commands/live_mode.h"
#include "commands/mode_sweeps.h"
#include "core/fast_sweep.h"
#include "gui_test_support.h"

using namespace lozengia;
using namespace lozengia::test;

namespace {

QWidget* picture_view(DesktopRun& s) {
  return s.platform->frame()->registry().picture_windows().last()->widget();
}

// Changes whenever the picture window is given a tiling to show.
qint64 picture_key(DesktopRun& s) {
  const PictureWindow* p = s.platform->windows().current_picture();
  return p ? static_cast<qint64>(p->tilings_given()) : -1;
}

// Opens "Live mode", picks `entry` (1..4), types the delay and presses OK
// (or Cancel); message boxes that answer are recorded.
void live(DesktopRun& s, int entry, const QString& delay, std::vector<Box>* boxes,
          bool cancel = false) {
  when_modal(titled("Live mode"), [=](QWidget* d) {
    CloseOnExit guard{d};
    auto* combo = qobject_cast<QComboBox*>(control(d, ids::kTransition));
    QVERIFY(combo != nullptr);
    QCOMPARE(combo->count(), 4);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->itemText(0), QString("S->S+1->S"));
    QCOMPARE(combo->itemText(1), QString("S->S-1->S"));
    QCOMPARE(combo->itemText(2), QString("S->S+1"));
    QCOMPARE(combo->itemText(3), QString("S->S-1"));
    combo->setCurrentIndex(entry - 1);
    type_into(d, ids::kDelay, delay);
    press(d, cancel ? ids::kCancel : ids::kOk);
  });
  auto waiting = expect_box(boxes);
  s.trigger("Live");
  *waiting = false;
}

void expect_valid(DesktopRun& s) {
  const HexagonParams p = s.program->params();
  QCOMPARE(QString::fromStdString(check_invariants(s.program->paths(), p.N, p.T, p.S)), QString());
}

struct Key {
  char key;
  int S_after;
  bool draws;
};

// The program's generator as it stands between commands.
ParkMiller generator_of(DesktopRun& s) {
  ParkMiller copy;
  s.program->rng().with_lock([&](ParkMiller& g) { copy = g; });
  return copy;
}

// `count` sweeps made one after another from `paths` at S: sweep k on stream
// first + k of `seed`, up when up(first + k). Messages to `sink`; returns the
// S reached.
int reference_sweeps(PathArray& paths, int N, int T, int S, const ModelParams& m, int64_t seed,
                     int64_t first, int64_t count, const std::function<bool(int64_t)>& up,
                     MessageSink& sink) {
  const ModelTables tables(N, T, m);
  PathArray next_paths(N, T);
  for (int64_t k = 0; k < count; ++k) {
    ParkMiller rng(stream_seed(seed, static_cast<uint64_t>(first + k)));
    if (up(first + k)) {
      fast_sweep_plus(tables, N, T, S++, paths, next_paths, rng, sink);
    } else {
      fast_sweep_minus(tables, N, T, S--, paths, next_paths, rng, sink);
    }
    paths.swap(next_paths);
  }
  return S;
}

}  // namespace

class ModesTest : public QObject {
  Q_OBJECT

 private slots:
  // ----------------------------------------------------- the picture's keys

  void key_read_on_another_thread_gets_typed_keys_and_wakes_on_shutdown() {
    DesktopRun s;
    s.platform->keys().set_key_capture(kPictureUnit, true);
    std::vector<char> got;
    std::atomic<int> count{0};
    std::atomic<bool> done{false};
    std::thread reader([&] {
      while (auto k = s.platform->keys().read_key(kPictureUnit)) {
        got.push_back(*k);
        ++count;
      }
      done = true;
    });
    QTest::keyClick(picture_view(s), 'w');
    QTest::keyClick(picture_view(s), Qt::Key_Left);   // types nothing, still a key
    QTest::keyClick(picture_view(s), Qt::Key_Shift);  // a modifier alone is none
    QTest::keyClick(picture_view(s), 'e');
    wait_until([&] { return count.load() == 3; });
    QVERIFY(!done.load());  // blocked again, waiting for the next key
    s.program->stop();      // shuts the windowing layer: the blocked read returns
    reader.join();
    QVERIFY(done.load());
    QCOMPARE(got.size(), std::size_t{3});
    QCOMPARE(got[0], 'w');
    QCOMPARE(got[1], '\0');
    QCOMPARE(got[2], 'e');
  }

  void keys_typed_without_a_capture_are_dropped() {
    DesktopRun s;
    QTest::keyClick(picture_view(s), 'a');
    s.platform->keys().set_key_capture(kPictureUnit, true);
    QTest::keyClick(picture_view(s), 'b');
    // The read on the GUI thread returns at once with the kept key.
    QCOMPARE(s.platform->keys().read_key(kPictureUnit), std::optional<char>('b'));
  }

  // ------------------------------------------------------ interactive mode

  void interactive_mode_applies_keys_as_typed() {
    DesktopRun s;
    new_hexagon(s, hahn("3", "4", "0"));
    const std::vector<Key> keys = {
        {'z', 0, false}, {'x', 0, false}, {'a', 1, true},  {'a', 2, true},
        {'s', 2, true},  {'x', 2, true},  {'k', 2, false}, {'A', 3, true},
        {'Z', 2, true},  {'a', 3, true},  {'a', 4, true},  {'a', 4, false},
        {'S', 4, false}, {'x', 4, true},  {'X', 4, true},  {'q', 4, false}};
    const qint64 handled0 = s.program->keys_handled.load();
    std::size_t sent = 0;
    qint64 before = 0;
    bool greyed_throughout = true;
    QStringList failures;
    QTimer typist;
    // Each key is typed once the mode has dealt with the one before, so the
    // state seen after it is that key's doing.
    QObject::connect(&typist, &QTimer::timeout, [&] {
      if (s.program->keys_handled.load() - handled0 != static_cast<qint64>(sent)) return;
      greyed_throughout = greyed_throughout && !s.platform->frame()->commands_enabled();
      if (sent > 0) {
        const Key& k = keys[sent - 1];
        const int S = s.program->params().S;
        const bool drew = picture_key(s) != before;
        if (S != k.S_after || drew != k.draws)
          failures << QString("after '%1': S=%2 drew=%3").arg(k.key).arg(S).arg(drew);
        expect_valid(s);
      }
      if (sent == keys.size()) {
        typist.stop();
        return;
      }
      before = picture_key(s);
      QTest::keyClick(picture_view(s), keys[sent++].key);
    });
    typist.start(2);
    s.trigger("Interactive mode");  // returns when "q" is typed
    QCOMPARE(sent, keys.size());
    QCOMPARE(failures, QStringList());
    QVERIFY(greyed_throughout);
    QVERIFY(s.platform->frame()->commands_enabled());
    const QStringList lines = s.text()->lines();
    const int first = lines.indexOf("Interactive mode. Type a letter in the window with a tiling");
    QVERIFY(first > 0);
    QCOMPARE(lines.mid(first, 6),
             QStringList({"Interactive mode. Type a letter in the window with a tiling",
                          "press \"a\" to do S->S+1 step,", "\"z\" to do S->S-1 step,",
                          "\"s\" to do S->S+1->S step,", "\"x\" to do S->S-1->S step,",
                          " \"q\" exits this mode."}));
    wait_until([&] { return s.last_line() == "Hahn case. N,T,S = 3 4 4"; });
    // At S = T there is one tiling.
    PathArray top(3, 4);
    minimal_paths(3, 4, 4, top);
    QVERIFY(s.program->paths() == top);
  }

  // Each key is a run of sweeps on its own seed, the next draw of the
  // program's generator ('s' and 'x' one round trip of two sweeps, side by
  // side on a hexagon this size): the program's seed fixes the tiling. Keys
  // that do nothing draw nothing.
  void interactive_keys_are_runs_on_seeds_from_the_program() {
    DesktopRun s;
    new_hexagon(s, hahn("400", "600", "0"));
    wait_idle(s);
    const HexagonParams p0 = s.program->params();
    PathArray expected = s.program->paths();
    ParkMiller generator = generator_of(s);
    const std::string keys = "zaasxZSXa";
    int S = p0.S;
    NullSink quiet;
    for (char c : keys) {
      const char k = InteractiveMode::normalise(c);
      if ((k == 'a' || k == 's') ? S >= p0.T : S <= 0) continue;  // refused
      const int64_t seed = generator.next_raw();
      const int64_t sweeps = (k == 'a' || k == 'z') ? 1 : 2;
      const bool first_up = k == 'a' || k == 's';
      S = reference_sweeps(
          expected, p0.N, p0.T, S, p0.model, seed, 0, sweeps,
          [&](int64_t i) { return first_up == (i % 2 == 0); }, quiet);
    }
    QCOMPARE(S, 2);
    QTimer::singleShot(20, [&] {
      for (char c : keys) QTest::keyClick(picture_view(s), c);
      QTest::keyClick(picture_view(s), 'q');
    });
    s.trigger("Interactive mode");  // returns when "q" is read
    QCOMPARE(s.program->params().S, S);
    QVERIFY(s.program->paths() == expected);
    QCOMPARE(generator_of(s).state(), generator.state());
  }

  // The modes' sweeps side by side give the messages of sweeps made one
  // after another, in that order (parameters the dialog refuses, as the
  // state may still hold them, whose blocks report themselves).
  void mode_sweeps_give_messages_in_the_order_of_the_sweeps() {
    const int N = 300, T = 600, S0 = 300;
    Hexagon hex;
    QCOMPARE(QString::fromStdString(set_hexagon(hex, HexagonParams{N, T, S0, ModelParams{}})),
             QString());
    NullSink quiet;
    exact_sample_streams(hex.params, hex.paths, 31, 0, quiet);
    hex.params.model.kind = kRacah;
    hex.params.model.K = -20.25;
    for (int64_t first : {0, 1}) {
      Hexagon h = hex;
      PathArray expected = hex.paths;
      CollectSink want, got;
      const int S = reference_sweeps(
          expected, N, T, S0, h.params.model, 5, first, 6, [](int64_t i) { return i % 2 == 1; }, want);
      QVERIFY2(want.lines.size() > 20, "the parameters no longer make messages");
      StreamSweeps how;
      how.plus = false;
      how.alternate = true;
      how.steps = 6;
      how.seed = 5;
      how.first_sweep = first;
      how.threads = 2;
      QCOMPARE(sweep_hexagon(h, how, got), 6);
      QCOMPARE(h.params.S, S);
      QVERIFY(h.paths == expected);
      QVERIFY(got.lines == want.lines);
      QVERIFY(got.reports == want.reports);
    }
  }

  void closing_the_frame_ends_interactive_mode_cleanly() {
    DesktopRun s;
    const qint64 handled0 = s.program->keys_handled.load();
    bool typed = false, closed = false;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
      if (!typed) {
        QTest::keyClick(picture_view(s), 'a');
        typed = true;
      } else if (!closed && s.program->keys_handled.load() == handled0 + 1) {
        s.platform->frame()->close();
        closed = true;
        typist.stop();
      }
    });
    typist.start(2);
    s.trigger("Interactive mode");  // returns once the frame is closed
    QVERIFY(closed);
    QVERIFY(s.platform->gui().shutting_down());
    QCOMPARE(s.program->params().S, 1);
    expect_valid(s);
  }

  void closing_the_picture_window_leaves_interactive_mode() {
    DesktopRun s;
    QTimer::singleShot(5,
                       [&] { s.platform->frame()->registry().picture_windows().last()->close(); });
    s.trigger("Interactive mode");
    QVERIFY(s.platform->frame()->commands_enabled());
    // The next picture opens a picture window again.
    s.program->draw_picture(kPictureUnit);
    QCOMPARE(s.platform->frame()->registry().picture_windows().size(), 1);
  }

  // ------------------------------------------------------------- live mode

  void live_round_trips_run_until_a_key_and_keep_S_data() {
    QTest::addColumn<int>("entry");
    QTest::newRow("S->S+1->S") << 1;
    QTest::newRow("S->S-1->S") << 2;
  }
  void live_round_trips_run_until_a_key_and_keep_S() {
    QFETCH(int, entry);
    DesktopRun s;
    new_hexagon(s, hahn("4", "8", "4"));
    std::vector<Box> boxes;
    live(s, entry, "0", &boxes);
    QVERIFY(boxes.empty());
    QVERIFY(!s.platform->frame()->commands_enabled());  // greyed at once
    const qint64 first = picture_key(s);
    wait_until([&] { return s.program->live_steps.load() >= 5 && picture_key(s) != first; });
    QVERIFY(!s.platform->frame()->commands_enabled());
    QTest::keyClick(picture_view(s), 'k');
    wait_idle(s);
    QCOMPARE(s.program->params().S, 4);
    expect_valid(s);
    // The key that stopped the run stays unread in the reader's ring.
    QCOMPARE(s.program->reader().waiting_keys(), 1);
    QVERIFY(!s.program->reader().running());
    QCOMPARE(s.last_line(), QString("Hahn case. N,T,S = 4 8 4"));
  }

  void live_one_way_stops_on_a_key_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("S0");
    QTest::newRow("S->S+1") << 3 << "0";
    QTest::newRow("S->S-1") << 4 << "2000";
  }
  void live_one_way_stops_on_a_key() {
    QFETCH(int, entry);
    QFETCH(QString, S0);
    DesktopRun s;
    new_hexagon(s, hahn("2", "2000", S0));
    std::vector<Box> boxes;
    live(s, entry, "1", &boxes);
    QVERIFY(boxes.empty());
    wait_until([&] { return s.program->live_steps.load() >= 3; });
    QTest::keyClick(picture_view(s), Qt::Key_Space);
    wait_idle(s);
    const int steps = static_cast<int>(s.program->live_steps.load());
    QVERIFY(steps >= 3 && steps < 2000);
    QCOMPARE(s.program->params().S, entry == 3 ? steps : 2000 - steps);
    expect_valid(s);
  }

  void live_one_way_stops_by_itself_at_the_bound_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("S0");
    QTest::addColumn<int>("S_end");
    QTest::newRow("S->S+1 up to T") << 3 << "2" << 7;
    QTest::newRow("S->S-1 down to 0") << 4 << "5" << 0;
  }
  void live_one_way_stops_by_itself_at_the_bound() {
    QFETCH(int, entry);
    QFETCH(QString, S0);
    QFETCH(int, S_end);
    DesktopRun s;
    new_hexagon(s, hahn("3", "7", S0));
    std::vector<Box> boxes;
    live(s, entry, "0", &boxes);
    QVERIFY(boxes.empty());
    wait_idle(s);
    QCOMPARE(s.program->params().S, S_end);
    QCOMPARE(s.program->live_steps.load(), qint64(std::abs(S_end - S0.toInt())));
    QCOMPARE(s.program->reader().waiting_keys(), 0);
    expect_valid(s);
  }

  // A live run is one seed, the next draw of the program's generator, and
  // sweeps on its streams numbered on from step to step: stopped anywhere,
  // the tiling is the one those sweeps make, at the S the counter says (a
  // round trip's start). With a delay every step is drawn.
  void live_runs_are_sweeps_on_one_seed_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("delay");
    QTest::newRow("S->S+1->S, no delay") << 1 << "0";
    QTest::newRow("S->S-1->S, no delay") << 2 << "0";
    QTest::newRow("S->S+1, no delay") << 3 << "0";
    QTest::newRow("S->S-1, no delay") << 4 << "0";
    QTest::newRow("S->S+1->S, delay") << 1 << "1";
    QTest::newRow("S->S-1, delay") << 4 << "1";
  }
  void live_runs_are_sweeps_on_one_seed() {
    QFETCH(int, entry);
    QFETCH(QString, delay);
    DesktopRun s;
    new_hexagon(s, hahn("200", "5000", "2500"));
    wait_idle(s);
    const HexagonParams p0 = s.program->params();
    const PathArray start = s.program->paths();
    ParkMiller generator = generator_of(s);
    std::vector<Box> boxes;
    const qint64 pictures0 = picture_key(s);
    live(s, entry, delay, &boxes);
    QVERIFY(boxes.empty());
    wait_until([&] { return s.program->live_steps.load() >= 30; }, 60000, "live steps");
    s.platform->frame()->stop_action()->trigger();
    wait_idle(s);
    const int64_t steps = s.program->live_steps.load();
    const bool round_trip = entry <= 2, up_first = entry == 1 || entry == 3;
    QVERIFY(steps >= 30 && steps < 2500);
    const int S = s.program->params().S;
    QCOMPARE(S, round_trip ? 2500
                : up_first ? 2500 + static_cast<int>(steps)
                           : 2500 - static_cast<int>(steps));
    PathArray expected = start;
    NullSink quiet;
    const int S_ref = reference_sweeps(
        expected, p0.N, p0.T, p0.S, p0.model, generator.next_raw(), 0, steps * (round_trip ? 2 : 1),
        [&](int64_t i) { return round_trip ? up_first == (i % 2 == 0) : up_first; }, quiet);
    QCOMPARE(S_ref, S);
    QVERIFY(s.program->paths() == expected);
    expect_valid(s);
    QCOMPARE(generator_of(s).state(), generator.state());  // one draw for the run
    if (delay != "0") {
      const qint64 pictures = picture_key(s) - pictures0;
      QVERIFY2(pictures >= steps,
               qPrintable(QString("%1 pictures, %2 steps").arg(pictures).arg(steps)));
    }
  }

  // Without a delay the steps run in batches of about a frame, each batch
  // drawn once: on a hexagon whose steps take far less than a frame (even
  // in an instrumented build) there are many more steps than pictures. The
  // batch after one that took `seconds` is a frame's worth, at least one
  // step, at most four times the last and never past the bound of a batch.
  void live_without_a_delay_draws_once_per_batch() {
    QCOMPARE(LiveMode::next_batch(10, 0.020, 0.0), 20);
    QCOMPARE(LiveMode::next_batch(10, 0.001, 0.0), 40);  // at most fourfold
    QCOMPARE(LiveMode::next_batch(10, 0.0, 0.0), 40);
    QCOMPARE(LiveMode::next_batch(10, 0.080, 0.0), 5);
    QCOMPARE(LiveMode::next_batch(10, 5.0, 0.0), 1);       // at least one
    QCOMPARE(LiveMode::next_batch(10, 0.100, 0.200), 20);  // a slow picture
    QCOMPARE(LiveMode::next_batch(LiveMode::kMaxBatchSteps, 1e-6, 0.0), LiveMode::kMaxBatchSteps);
    DesktopRun s;
    new_hexagon(s, hahn("2", "4", "2"));
    wait_idle(s);
    std::vector<Box> boxes;
    const qint64 pictures0 = picture_key(s);
    live(s, 1, "0", &boxes);
    QVERIFY(boxes.empty());
    wait_until([&] { return s.program->live_steps.load() >= 200; }, 60000, "live steps");
    QTest::keyClick(picture_view(s), 'k');
    wait_idle(s);
    const qint64 steps = s.program->live_steps.load(), pictures = picture_key(s) - pictures0;
    QVERIFY2(pictures * 4 < steps,
             qPrintable(QString("%1 pictures, %2 steps").arg(pictures).arg(steps)));
    QCOMPARE(s.program->params().S, 2);
    expect_valid(s);
  }

  void a_key_cuts_a_long_pause_short() {
    DesktopRun s;
    new_hexagon(s, hahn("3", "7", "3"));
    std::vector<Box> boxes;
    live(s, 1, "2000000000", &boxes);  // some 23 days between steps
    QVERIFY(boxes.empty());
    wait_until([&] { return s.program->live_steps.load() == 1; });
    QTest::keyClick(picture_view(s), 'k');
    wait_idle(s);  // only the ctest timeout would end a full pause
    QCOMPARE(s.program->live_steps.load(), qint64(1));
  }

  void live_refusals_data() {
    QTest::addColumn<QString>("S0");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<QString>("message");
    QTest::newRow("S+1->S at S=T") << "6" << 1 << "10"
                                   << "It is impossible now! (S=T)";
    QTest::newRow("S+1 at S=T") << "6" << 3 << "10"
                                << "It is impossible now! (S=T)";
    QTest::newRow("S-1->S at S=0") << "0" << 2 << "10"
                                   << "It is impossible now! (S=0)";
    QTest::newRow("S-1 at S=0") << "0" << 4 << "10"
                                << "It is impossible now! (S=0)";
    // The message and, on a line of its own, the field and its rule.
    const QString bad_delay =
        "Incorrect input!\nInput duration between steps in ms: an integer of 0 or more";
    QTest::newRow("negative delay") << "3" << 1 << "-1"
                                    << bad_delay;
    QTest::newRow("letters") << "3" << 2 << "abc"
                             << bad_delay;
    QTest::newRow("empty") << "3" << 3 << ""
                           << bad_delay;
    QTest::newRow("fraction") << "3" << 4 << "1.5"
                              << bad_delay;
    QTest::newRow("too large") << "3" << 1 << "99999999999"
                               << bad_delay;
  }
  void live_refusals() {
    QFETCH(QString, S0);
    QFETCH(int, entry);
    QFETCH(QString, delay);
    QFETCH(QString, message);
    DesktopRun s;
    new_hexagon(s, hahn("3", "6", S0));
    std::vector<Box> boxes;
    live(s, entry, delay, &boxes);
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(boxes[0].title, QString("Error."));
    QCOMPARE(boxes[0].text, message);
    QVERIFY(!s.program->command_running());
    QVERIFY(s.platform->frame()->commands_enabled());
    QCOMPARE(s.program->params().S, S0.toInt());
  }

  void live_cancelled_starts_nothing() {
    DesktopRun s;
    new_hexagon(s, hahn("3", "6", "3"));
    std::vector<Box> boxes;
    live(s, 1, "0", &boxes, /*cancel=*/true);
    QVERIFY(boxes.empty());
    QVERIFY(!s.program->command_running());
    QVERIFY(s.platform->frame()->commands_enabled());
  }

  void closing_the_frame_during_a_live_run_ends_cleanly_data() {
    QTest::addColumn<QString>("delay");
    QTest::newRow("no pause") << "0";
    QTest::newRow("in a long pause") << "2000000000";
  }
  void closing_the_frame_during_a_live_run_ends_cleanly() {
    QFETCH(QString, delay);
    DesktopRun s;
    new_hexagon(s, hahn("4", "8", "4"));
    std::vector<Box> boxes;
    live(s, 1, delay, &boxes);
    wait_until([&] { return s.program->live_steps.load() >= 1 && s.program->reader().running(); });
    s.platform->frame()->close();  // stops and joins the program thread
    QVERIFY(s.platform->gui().shutting_down());
    // The program thread stopped the reader on its way out.
    QVERIFY(!s.program->reader().running());
    QCOMPARE(s.program->params().S, 4);  // a round trip is never cut in half
    expect_valid(s);
  }
};

QTEST_MAIN(ModesTest)
#include "test_modes.moc"
