"""lozengia.Sampler: the two operators, exact samples on lozengia.sample's
runs, Ctrl-C in the middle of long work, threads side by side, threads that
cannot be started, and daemon threads at the interpreter's exit."""

import hashlib
import os
import resource
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import lozengia
from conftest import assert_boxed_plane_partition


def minimal_paths(N, T, S):
    t = np.arange(T + 1)
    return np.arange(N)[:, None] + np.clip(t - (T - S), 0, None)[None, :]


def test_starts_minimal_and_steps_keep_the_shapes():
    s = lozengia.Sampler(8, 20, S=5, model="q-hahn", q=0.9, seed=4)
    assert (s.N, s.T, s.S) == (8, 20, 5)
    np.testing.assert_array_equal(s.paths, minimal_paths(8, 20, 5))
    # The lowest paths are the full box.
    assert (s.plane_partition() == 8).all()
    for k, plus in [(3, True), (1, False), (13, True), (20, False), (4, True)]:
        S = s.S
        (s.step_plus if plus else s.step_minus)(k)
        assert s.S == S + (k if plus else -k)
        assert s.paths.shape == (8, 21)
        assert_boxed_plane_partition(s.plane_partition(), 8, s.S, 20 - s.S)
        # The paths read back as the same tiling.
        np.testing.assert_array_equal(lozengia.plane_partition(s.paths), s.plane_partition())
    assert s.S == 4


def test_steps_refused_beyond_the_hexagon_leave_it_as_it_was():
    s = lozengia.Sampler(5, 10, S=2, seed=1)
    before = s.paths
    with pytest.raises(ValueError, match="S \\+ k must not exceed T"):
        s.step_plus(9)
    with pytest.raises(ValueError, match="S - k must not be negative"):
        s.step_minus(3)
    for bad in (0, -1):
        with pytest.raises(ValueError):
            s.step_plus(bad)
    with pytest.raises(TypeError):
        s.step_plus(1.0)
    assert s.S == 2
    np.testing.assert_array_equal(s.paths, before)


def test_paths_are_a_read_only_copy():
    s = lozengia.Sampler(4, 8, seed=2)
    p = s.paths
    with pytest.raises(ValueError):
        p[0, 0] = 7
    s.step_plus(4)
    assert p[0, -1] == 0 and s.paths[0, -1] == 4


def test_exact_samples_are_the_runs_of_sample():
    runs = lozengia.sample(12, 30, 14, model="imaginary-q-racah", q=0.95, kappa=3, seed=99,
                           count=4)
    s = lozengia.Sampler(12, 30, model="imaginary-q-racah", q=0.95, kappa=3, seed=99)
    s.exact(14)
    np.testing.assert_array_equal(s.plane_partition(), runs[0])
    s.exact(14, threads=2)
    np.testing.assert_array_equal(s.plane_partition(), runs[1])
    s.step_minus(14)
    s.exact()  # the current S, now 0
    assert s.S == 0
    s.exact(14)
    np.testing.assert_array_equal(s.plane_partition(), runs[3])


def test_the_step_stream_depends_on_the_seed_only():
    a = lozengia.Sampler(10, 20, seed=8)
    b = lozengia.Sampler(10, 20, seed=8)
    a.step_plus(10)
    b.step_plus(4)
    b.step_plus(6)
    np.testing.assert_array_equal(a.paths, b.paths)
    c = lozengia.Sampler(10, 20, seed=9)
    c.step_plus(10)
    assert not np.array_equal(a.paths, c.paths)


class interrupt_after:
    """Sends Ctrl-C (SIGINT) to this process after `seconds`, unless the
    block has ended by then (so that a call quicker than expected fails its
    test instead of interrupting the next one)."""

    def __init__(self, seconds):
        self.timer = threading.Timer(seconds, os.kill, (os.getpid(), signal.SIGINT))

    def __enter__(self):
        self.timer.start()
        return self

    def __exit__(self, *exc):
        self.timer.cancel()
        self.timer.join()
        return False


# Each long call below would take from several seconds to a minute; Ctrl-C
# after 0.3 s must end it well before.
@pytest.mark.parametrize("how", ["step_plus", "exact"])
def test_ctrl_c_stops_a_sampler_and_leaves_it_as_it_was(how):
    s = lozengia.Sampler(1400, 2800, S=3, seed=5)
    s.step_plus(2)
    before, S = s.paths, s.S
    start = time.monotonic()
    with pytest.raises(KeyboardInterrupt), interrupt_after(0.3):
        if how == "step_plus":
            s.step_plus(1390)
        else:
            s.exact(1400, threads=1)
    elapsed = time.monotonic() - start
    assert elapsed < 5, elapsed
    assert s.S == S
    np.testing.assert_array_equal(s.paths, before)
    # Still usable, and its streams are where they were.
    twin = lozengia.Sampler(1400, 2800, S=3, seed=5)
    twin.step_plus(2)
    s.step_plus(1)
    twin.step_plus(1)
    np.testing.assert_array_equal(s.paths, twin.paths)


def test_ctrl_c_stops_sample_with_count():
    start = time.monotonic()
    with pytest.raises(KeyboardInterrupt), interrupt_after(0.3):
        lozengia.sample(300, 600, 300, count=400, threads=2, seed=1)
    assert time.monotonic() - start < 5


def test_ctrl_c_stops_a_sample_shared_by_threads():
    # One sample on two threads: the sweeps under way finish, no other starts,
    # and the call comes back long before the sample would have been made.
    start = time.monotonic()
    with pytest.raises(KeyboardInterrupt), interrupt_after(0.3):
        lozengia.sample(900, 1800, 900, threads=2, seed=1)
    elapsed = time.monotonic() - start
    assert elapsed < 3, elapsed
    # The module is as usable as before, and gives the same sample for a seed.
    assert lozengia.sample(5, 10, 5, seed=1, threads=2).shape == (5, 5)
    np.testing.assert_array_equal(lozengia.sample(40, 80, 40, seed=2, threads=2),
                                  lozengia.sample(40, 80, 40, seed=2, threads=1))


def test_other_python_threads_run_while_it_samples():
    done = threading.Event()
    started = threading.Event()

    def work():
        started.set()
        lozengia.sample(500, 1000, 500, threads=1, seed=3)
        done.set()

    t = threading.Thread(target=work)
    t.start()
    started.wait()
    time.sleep(0.05)
    # Holding the interpreter's lock, the sampler would keep this thread
    # waiting until it had finished.
    total = sum(range(200000))
    still_sampling = not done.is_set()
    t.join()
    assert total > 0 and still_sampling


def test_threads_sampling_side_by_side_get_their_own_samples():
    results = {}

    def work(seed):
        results[seed] = lozengia.sample(30, 60, 30, seed=seed, count=20, threads=1)

    threads = [threading.Thread(target=work, args=(seed,)) for seed in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for seed in range(4):
        np.testing.assert_array_equal(results[seed],
                                      lozengia.sample(30, 60, 30, seed=seed, count=20))


def test_one_sampler_shared_by_threads_stays_consistent():
    s = lozengia.Sampler(60, 120, seed=12)
    errors = []

    def stepper():
        try:
            for _ in range(30):
                s.step_plus(2)
                s.step_minus(2)
        except Exception as e:  # noqa: BLE001 - reported below
            errors.append(e)

    def reader():
        try:
            for _ in range(200):
                pp = s.plane_partition()
                assert_boxed_plane_partition(pp, 60, pp.shape[0], 120 - pp.shape[0])
        except Exception as e:  # noqa: BLE001
            errors.append(e)

    threads = [threading.Thread(target=f) for f in (stepper, stepper, reader)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors
    assert s.S == 0


def test_the_interpreter_exits_soon_after_ctrl_c_in_a_shared_sample():
    script = """
import os, signal, threading, lozengia
threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
try:
    lozengia.sample(1500, 3000, 1500, threads=2, seed=1)
except KeyboardInterrupt:
    print("stopped")
"""
    start = time.monotonic()
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                       timeout=120)
    elapsed = time.monotonic() - start
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == "stopped"
    # The sample alone takes several times longer.
    assert elapsed < 5, elapsed


# A daemon thread inside any call of the module while the interpreter ends:
# the process must exit as with any other library, not abort.
@pytest.mark.parametrize("call", [
    "s.exact(30)", "s.exact(30, threads=2)", "s.paths", "s.S",
    "lozengia.sample(30, 60, 30, seed=1, count=4, threads=2)",
    "(s.step_minus(1), s.step_plus(1))", "s.draw(size=200)",
])
def test_the_interpreter_exits_while_daemon_threads_are_in_a_call(call):
    script = f"""
import threading, time, lozengia
s = lozengia.Sampler(30, 60, seed=1)
s.exact(30)
def loop():
    while True:
        {call}
for _ in range(2):
    threading.Thread(target=loop, daemon=True).start()
time.sleep(0.3)
"""
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                       timeout=120)
    assert r.returncode == 0, r.stderr
    assert r.stderr == ""


def _one_process_only():
    # Every thread start fails: the process may have no other. Root is not
    # held to the limit, so the child drops to nobody first.
    if os.geteuid() == 0:
        os.setgroups([])
        os.setgid(65534)
        os.setuid(65534)
    resource.setrlimit(resource.RLIMIT_NPROC, (1, 1))


def test_threads_that_cannot_be_started_leave_the_work_to_the_calling_thread(env_for_nobody):
    # A large picture too: Qt's own image conversion would wait for ever for
    # a thread of its pool.
    script = """
import hashlib, warnings, lozengia
warnings.simplefilter("always")
with warnings.catch_warnings(record=True) as told:
    a = lozengia.sample(40, 80, 40, seed=3, count=6, threads=4)
    s = lozengia.Sampler(40, 80, seed=4)
    s.exact(40, threads=4)
    b = s.plane_partition()
    c = s.draw(size=1500)
print(a.tobytes().hex(), b.tobytes().hex(), hashlib.sha256(c.tobytes()).hexdigest())
for w in told:
    print(w.category.__name__, w.message)
"""
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                       timeout=120, preexec_fn=_one_process_only, env=env_for_nobody)
    assert r.returncode == 0, r.stderr
    out = r.stdout.splitlines()
    a, b, c = out[0].split()
    assert a == lozengia.sample(40, 80, 40, seed=3, count=6, threads=4).tobytes().hex()
    s = lozengia.Sampler(40, 80, seed=4)
    s.exact(40, threads=1)
    assert b == s.plane_partition().tobytes().hex()
    assert c == hashlib.sha256(s.draw(size=1500).tobytes()).hexdigest()
    # One warning per call.
    assert out[1:] == [f"RuntimeWarning Only 1 of {n} threads could be started; the work runs on "
                       "one (the same results, only slower)." for n in (4, 4)]
