"""Bad input gives a clear Python exception, never a crash: the "New hexagon"
check's own messages, arguments of the wrong type or range, arrays of the
wrong shape, dtype or content, and random arguments of every kind."""

import errno
import math
import os
import pathlib
import random
import subprocess
import sys
import tempfile

import numpy as np
import pytest

import lozengia

# Values refused by the check, as the command line types them and as
# keyword arguments; the message must be the command-line tool's.
REFUSED = [
    ("hahn", 0, 10, 5, [], {}),
    ("hahn", 10, 10, 11, [], {}),
    ("hahn", 10, -3, 0, [], {}),
    ("q-hahn", 10, 20, 10, ["--q", "1"], {"q": 1}),
    ("q-hahn", 10, 20, 10, ["--q", "-0.5"], {"q": -0.5}),
    ("q-hahn", 10, 20, 10, ["--q", "nan"], {"q": math.nan}),
    ("q-hahn", 10, 20, 10, ["--q", "inf"], {"q": math.inf}),
    ("racah", 20, 40, 20, ["--K", "10"], {"K": 10}),
    ("racah", 20, 40, 20, ["--K", "-7.5"], {"K": -7.5}),
    ("trigonometric", 20, 40, 20, ["--alpha", "1", "--beta", "0"], {"alpha": 1, "beta": 0}),
    ("trigonometric", 20, 40, 20, ["--alpha", "0", "--beta", "1"], {"alpha": 0.0, "beta": 1}),
    ("real-q-racah", 20, 40, 20, ["--q", "1.05", "--log-q-kappa", "5"],
     {"q": 1.05, "log_q_kappa": 5}),
    ("imaginary-q-racah", 20, 40, 20, ["--q", "0.9", "--kappa", "0"], {"q": 0.9, "kappa": 0}),
    ("imaginary-q-racah", 20, 40, 20, ["--q", "0.9", "--kappa", "nan"],
     {"q": 0.9, "kappa": float("nan")}),
    ("hahn", 100000, 100000, 5, [], {}),
    ("hahn", 2 ** 31, 10, 5, [], {}),
]


@pytest.mark.parametrize("name,N,T,S,cli_args,params", REFUSED)
def test_refused_values_raise_the_checks_own_message(cli, name, N, T, S, cli_args, params):
    r = cli("--model", name, *cli_args, "-N", N, "-T", T, "-S", S, check=False)
    assert r.returncode == 2
    # The check's message (its field and rule on a line of their own), then
    # the command line's hint.
    message = "\n".join(r.stderr.splitlines()[:-1])
    assert "\n" in message or "too large" in message
    with pytest.raises(ValueError) as e:
        lozengia.sample(N, T, S, model=name, seed=1, **params)
    assert str(e.value) == message
    with pytest.raises(ValueError) as e:
        lozengia.Sampler(N, T, S, model=name, **params)
    assert str(e.value) == message


def test_the_check_reads_typed_text_as_the_command_line_does():
    with pytest.raises(ValueError, match="^Bad Input\nq: a positive number other than 1$"):
        lozengia.sample(5, 10, 5, model="q-hahn", q="0x1p-1")
    with pytest.raises(ValueError, match="^Bad Input\nq: a positive number other than 1$"):
        lozengia.sample(5, 10, 5, model="q-hahn", q=10 ** 400)
    assert lozengia.sample(5, 10, 5, model="q-hahn", q=" 0.5 ", seed=1).shape == (5, 5)
    assert lozengia.sample(5, 10, 5, model="q-hahn", q=np.float32(0.5), seed=1).shape == (5, 5)


@pytest.mark.parametrize("call,error,message", [
    (lambda: lozengia.sample(5, 10, 5, model="uniform"), ValueError, "Unknown model 'uniform'"),
    (lambda: lozengia.sample(5, 10, 5, model=7), ValueError, "kind numbers are 1..6"),
    (lambda: lozengia.sample(5, 10, 5, model=None), TypeError, "model must be"),
    (lambda: lozengia.sample(5, 10, 5, q=0.9), ValueError,
     "q does not apply to the model Hahn"),
    (lambda: lozengia.sample(5, 10, 5, model="racah"), ValueError, "racah needs K"),
    (lambda: lozengia.sample(5, 10, 5, model="trigonometric", alpha=0.1), ValueError,
     "needs beta"),
    (lambda: lozengia.Model("q-hahn", qq=1), TypeError, "unknown parameter 'qq'"),
    (lambda: lozengia.sample(5, 10, 5, model=lozengia.Model("q-hahn", q=0.5), q=0.5), TypeError,
     "either in the Model or as keywords"),
    (lambda: lozengia.sample(5.0, 10, 5), TypeError, "N must be an integer"),
    (lambda: lozengia.sample(True, 10, 5), TypeError, "N must be an integer, not bool"),
    (lambda: lozengia.sample(5, 10, 5, model="q-hahn", q=[0.5]), TypeError, "q must be a number"),
    (lambda: lozengia.sample(5, 10, 5, count=0), ValueError, r"count must be an integer in 1\.\.2\^40, not 0"),
    (lambda: lozengia.sample(5, 10, 5, count=-3), ValueError, "count must be"),
    (lambda: lozengia.sample(5, 10, 5, count=2 ** 41), ValueError, "count must be"),
    (lambda: lozengia.sample(5, 10, 5, count=2.0), TypeError, "count must be an integer"),
    (lambda: lozengia.sample(50, 100, 50, count=2 ** 40), MemoryError,
     "^Not enough memory for this run: needs .* available$"),
    (lambda: lozengia.sample(50, 100, 50, count=10, max_memory="100k"), MemoryError,
     "^Not enough memory for this run: needs .* allowed$"),
    (lambda: lozengia.sample(5, 10, 5, max_memory="12 apples"), ValueError,
     "max_memory: '12 apples' is not a size such as 800M, 16G or 4GiB"),
    (lambda: lozengia.sample(5, 10, 5, max_memory=0), ValueError, "max_memory must be"),
    (lambda: lozengia.sample(5, 10, 5, max_memory=1.5), TypeError, "max_memory must be"),
    (lambda: lozengia.Sampler(50, 100, max_memory=1000), MemoryError, "needs .* allowed"),
    (lambda: lozengia.Sampler(50, 100, max_memory="50k").exact(50), MemoryError, "allowed"),
    (lambda: lozengia.sample(5, 10, 5, seed=2 ** 63), ValueError, "seed must be"),
    (lambda: lozengia.sample(5, 10, 5, seed="1"), TypeError, "seed must be an integer"),
    (lambda: lozengia.sample(5, 10, 5, threads=0), ValueError, "threads must be"),
    (lambda: lozengia.sample(5, 10, 5, threads=1025), ValueError, "threads must be"),
    (lambda: lozengia.Sampler(5, 10).exact(11), ValueError, "S must be an integer in 0..T"),
    (lambda: lozengia.Sampler(5, 10).exact(-1), ValueError, "S must be"),
])
def test_arguments_of_the_wrong_type_or_range(call, error, message):
    with pytest.raises(error, match=message):
        call()


GOOD = np.array([[3, 2, 0], [1, 1, 0]], dtype=np.int32)


@pytest.mark.parametrize("array,N,error,message", [
    (GOOD.astype(float), 3, TypeError, "array of integers, not of float64"),
    (GOOD.astype(bool), 3, TypeError, "not of bool"),
    (GOOD.astype(object), 3, TypeError, "not of object"),
    (GOOD.ravel(), 3, ValueError, "2-D array"),
    (GOOD[None], 3, ValueError, "2-D array"),
    ([[1, 2], [3]], 3, ValueError, "rectangular"),
    (GOOD, 2, ValueError, r"entry \[0, 0\] is 3, outside 0..2"),
    (GOOD * -1, 3, ValueError, "outside 0..3"),
    (np.array([[0, 1]]), 3, ValueError, "rows must decrease weakly"),
    (np.array([[0], [1]]), 3, ValueError, "columns must decrease weakly"),
    (np.array([[2 ** 40]]), None, ValueError, "beyond 32 bits"),
    (GOOD, 0, ValueError, "N must be an integer in 1.."),
    (GOOD, 1.5, TypeError, "N must be an integer"),
    (np.zeros((0, 0), dtype=np.int32), 3, ValueError, "S \\+ \\(T-S\\) >= 1"),
    (np.zeros((5000, 5000), dtype=np.int32), 2 ** 30, ValueError, "too large"),
])
def test_plane_partitions_given_back(array, N, error, message):
    for call in (lambda: lozengia.heights(array, N), lambda: lozengia.lozenges(array, N=N),
                 lambda: lozengia.draw(array, N=N, size=16)):
        with pytest.raises(error, match=message):
            call()


# Work that would pass the memory the process may use is refused before it
# allocates anything: in a child whose address space is limited, the
# conversions and samples whose results alone are gigabytes raise
# MemoryError with what they would need, at once.
def test_results_larger_than_the_memory_are_refused_before_any_work():
    import subprocess
    import sys
    script = """
import resource, time, numpy as np, lozengia
resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
calls = [lambda: lozengia.lozenges(np.zeros((60000, 0), np.int32), 1),
         lambda: lozengia.Sampler(1, 60000, 30000).plane_partition(),
         lambda: lozengia.sample(1, 60000, 30000),
         lambda: lozengia.sample(3000000, 2, 1, model="racah", K=-4000000),
         lambda: lozengia.draw(np.zeros((3, 3), np.int32), N=1, size=20000)]
for call in calls:
    start = time.monotonic()
    try:
        call()
        print("ran")
    except MemoryError as e:
        print(f"{e} in {time.monotonic() - start:.1f} s")
"""
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    lines = r.stdout.splitlines()
    assert r.returncode == 0 and len(lines) == 5, r.stdout + r.stderr
    for line in lines:
        assert line.startswith("Not enough memory for this run: needs "), line
        assert line.endswith(" available in 0.0 s"), line


def test_paths_given_back():
    paths = lozengia.heights(GOOD, 3)
    np.testing.assert_array_equal(lozengia.plane_partition(paths.astype(np.int64)), GOOD)
    bad = paths.copy()
    bad[1, 2] += 5
    with pytest.raises(ValueError, match="paths are not a configuration of the hexagon"):
        lozengia.plane_partition(bad)
    with pytest.raises(ValueError, match="path 1 ends at -1, outside 0..T"):
        lozengia.plane_partition(paths - 3)
    with pytest.raises(ValueError, match="N >= 1 rows and T\\+1 >= 2 columns"):
        lozengia.plane_partition(np.zeros((3, 1), dtype=np.int32))
    with pytest.raises(TypeError):
        lozengia.plane_partition(paths.astype(np.float32))


@pytest.mark.parametrize("kwargs,error,message", [
    ({"style": 0}, ValueError, "style must be an integer in 1..5"),
    ({"style": 6}, ValueError, "style must be"),
    ({"size": 15}, ValueError, "size must be an integer in 16..20000"),
    ({"size": 20001}, ValueError, "size must be"),
    ({"colours": ["#fff", "#000000", "#000000"]}, ValueError, "colour 1: '#fff' is not #RRGGBB"),
    ({"colours": ["#ffffff", (0, 256, 0), "#000000"]}, ValueError, "colour 2 must be"),
    ({"colours": ["#ffffff", "#000000"]}, ValueError, "three colours"),
    ({"colours": "#ffffff"}, ValueError, "three colours"),
    ({"colours": ["#ffffff", None, "#000000"]}, TypeError, "colour 2 must be"),
])
def test_picture_arguments(kwargs, error, message):
    with pytest.raises(error, match=message):
        lozengia.draw(GOOD, N=3, **kwargs)
    with pytest.raises(error, match=message):
        lozengia.Sampler(3, 5).draw(**kwargs)


# File names as open() takes them (str, bytes, os.PathLike) and refuses them
# (TypeError for other types, ValueError for an embedded NUL), before any file
# is touched.
@pytest.mark.parametrize("name,error", [
    (None, TypeError), (3, TypeError), (["x.png"], TypeError),
    ("x.png\x00evil", ValueError), (b"x.png\x00", ValueError),
])
def test_file_names_refused_as_open_refuses_them(tmp_path, monkeypatch, name, error):
    monkeypatch.chdir(tmp_path)
    sampler = lozengia.Sampler(3, 5)
    for save in (lambda n: lozengia.save_png(GOOD, n, N=3),
                 lambda n: lozengia.save_svg(GOOD, n, N=3), sampler.save_png):
        with pytest.raises(error):
            save(name)
    assert list(tmp_path.iterdir()) == []


def test_file_names_of_every_kind_open_accepts(tmp_path):
    for name in (str(tmp_path / "s.png"), os.fsencode(tmp_path / "b.png"),
                 pathlib.Path(tmp_path / "p.png")):
        lozengia.save_png(GOOD, name, N=3, size=16)
    assert sorted(p.name for p in tmp_path.iterdir()) == ["b.png", "p.png", "s.png"]


# A failure is an OSError with errno, the reason and the name as given, so
# Python picks its subclass.
@pytest.mark.parametrize("where,code,kind", [
    ("folder", errno.EISDIR, IsADirectoryError),
    ("no/such/x.png", errno.ENOENT, FileNotFoundError),
])
def test_a_file_that_cannot_be_written_says_why(tmp_path, where, code, kind):
    (tmp_path / "folder").mkdir()
    name = tmp_path / where
    for save in (lozengia.save_png, lozengia.save_svg):
        with pytest.raises(kind) as e:
            save(GOOD, name, N=3)
        assert e.value.errno == code
        assert e.value.filename == os.fspath(name)  # as open() gives it
        assert e.value.strerror == "Error while opening file: " + os.strerror(code)


# A file in a folder that may not be written can only be written in place:
# refused when no copy of its old content can be kept (here the file size
# limit stops the copy), unless in_place=True. Run as an unprivileged user.
@pytest.fixture
def reachable_path():
    """A folder an unprivileged user can reach (pytest's tmp_path is not)."""
    with tempfile.TemporaryDirectory() as d:
        os.chmod(d, 0o755)
        yield pathlib.Path(d)
        for p in pathlib.Path(d).iterdir():
            p.chmod(0o755)


def test_a_file_written_in_place_needs_a_copy_or_in_place(reachable_path, env_for_nobody):
    tmp_path = reachable_path
    drop = (65534, 65534) if os.geteuid() == 0 else None
    folder = tmp_path / "ro"
    folder.mkdir()
    (folder / "t.png").write_bytes(b"old line\n" * 20000)
    if drop:
        os.chown(folder, *drop)
        os.chown(folder / "t.png", *drop)
    folder.chmod(0o555)
    code = f"""
import os, resource, signal, lozengia
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
resource.setrlimit(resource.RLIMIT_FSIZE, (64 * 1024, resource.RLIM_INFINITY))
pp = lozengia.sample(3, 6, 3, seed=1)
try:
    lozengia.save_png(pp, {str(folder / "t.png")!r}, N=3, size=16)
    print("written")
except OSError as e:
    print(e.errno, e.strerror)
lozengia.Sampler(3, 6).save_png({str(folder / "t.png")!r}, size=16, in_place=True)
"""

    def as_user():
        if drop:
            os.setgroups([])
            os.setgid(drop[1])
            os.setuid(drop[0])

    r = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120,
                       preexec_fn=as_user, env=dict(env_for_nobody, TMPDIR=str(tmp_path)))
    assert r.returncode == 0, r.stderr
    assert r.stdout.startswith(f"{errno.EFBIG} Error while opening file: File too large")
    assert "in_place=True" in r.stdout
    assert (folder / "t.png").read_bytes()[:4] == b"\x89PNG"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["ro"]


# Random arguments of every kind: any call either works or raises one of
# these; anything else (a crash, SystemError, a hang) fails the suite.
ALLOWED = (ValueError, TypeError, MemoryError)  # MemoryError: a count of 2^31 samples
ODD = [None, True, False, -1, 0, 2 ** 31, 2 ** 63, -(2 ** 63) - 1, 10 ** 30, 1.5, math.nan,
       math.inf, -math.inf, "", "x", " 3 ", "1e3", [], [1], (), {}, object(), np.int64(4),
       np.float32(0.5), np.array(3), np.array([1, 2]), b"5", 1 + 2j]
REALS = [0.5, 0.98, 1.0, 1.02, 2.0, -1.0, 0.0, -0.0, 1e-320, 1e308, 40, -40, 1000, -1000,
         "0.9", "1.2e0", "1d0", "abc"]


def pick(rng, typical):
    """Mostly a typical value, sometimes an odd one."""
    return rng.choice(typical) if rng.random() < 0.92 else rng.choice(ODD)


# Parameters each model reads, with values around and across the checks'
# limits for the hexagons drawn below.
OWN = {"hahn": [], "q-hahn": ["q"], "racah": ["K"], "trigonometric": ["alpha", "beta"],
       "real-q-racah": ["q", "log_q_kappa"], "imaginary-q-racah": ["q", "kappa"]}


def own_parameters(model):
    try:
        return OWN[lozengia.Model._name(model)]
    except (TypeError, ValueError):
        return []


def test_random_sampling_arguments():
    rng = random.Random(20261208)
    outcomes = {"ok": 0, "refused": 0}
    for _ in range(1500):
        model = pick(rng, list(lozengia.MODELS) * 3 + [1, 2, 3, 4, 5, 6, "HAHN", 0, 7])
        names = own_parameters(model) if rng.random() < 0.8 else \
            rng.sample(list(lozengia._PARAMETERS), rng.randrange(0, 3))
        kwargs = {k: pick(rng, REALS) for k in names}
        N, T = pick(rng, list(range(0, 9))), pick(rng, list(range(0, 12)))
        S = pick(rng, list(range(0, T + 2)) if isinstance(T, int) and 0 <= T < 20 else [0, 1])
        extra = {"seed": pick(rng, [None, 0, -1, 2 ** 63 - 1, -(2 ** 63)]),
                 "threads": pick(rng, [None, 1, 2, 3]),
                 "count": pick(rng, [None, 1, 2, 5])}
        try:
            if rng.random() < 0.6:
                out = lozengia.sample(N, T, S, model=model, **kwargs, **extra)
                assert out.dtype == np.int32
            else:
                s = lozengia.Sampler(N, T, S, model=model, seed=extra["seed"], **kwargs)
                for _ in range(3):
                    op = rng.choice([s.step_plus, s.step_minus, s.exact])
                    try:
                        op(pick(rng, [1, 2, 3]))
                    except ALLOWED:
                        pass
                s.draw(size=16)
            outcomes["ok"] += 1
        except ALLOWED:
            outcomes["refused"] += 1
    # Both kinds happened: the random arguments reached the samplers.
    assert outcomes["ok"] > 100 and outcomes["refused"] > 100, outcomes


def random_array(rng):
    dtype = rng.choice([np.int8, np.int16, np.int32, np.int64, np.uint8, np.uint64, np.float64,
                        np.bool_, object, np.complex64])
    shape = tuple(rng.randrange(0, 6) for _ in range(rng.choice([0, 1, 2, 2, 2, 2, 3])))
    if rng.random() < 0.5 and len(shape) == 2:
        # Mostly a plane partition, sometimes with one entry changed.
        a = np.sort(np.sort(np.array([rng.randrange(0, 6) for _ in range(int(np.prod(shape)))])
                            .reshape(shape), axis=0)[::-1], axis=1)[:, ::-1]
        if a.size and rng.random() < 0.5:
            a.flat[rng.randrange(a.size)] = rng.choice([-1, 0, 3, 7, 2 ** 31 - 1])
    else:
        a = np.array([rng.randrange(-3, 9) for _ in range(int(np.prod(shape)))]).reshape(shape)
    return a.astype(dtype)


def test_random_arrays_given_back():
    rng = random.Random(14)
    outcomes = {"ok": 0, "refused": 0}
    for _ in range(1500):
        a = random_array(rng) if rng.random() < 0.9 else rng.choice(ODD)
        N = pick(rng, [None, 1, 3, 5, 6, 8])
        call = rng.choice([
            lambda: lozengia.heights(a, N), lambda: lozengia.lozenges(a, N=N),
            lambda: lozengia.draw(a, N=N, size=16, style=rng.randrange(1, 6)),
            lambda: lozengia.plane_partition(a)])
        try:
            call()
            outcomes["ok"] += 1
        except ALLOWED:
            outcomes["refused"] += 1
    assert outcomes["ok"] > 50 and outcomes["refused"] > 50, outcomes
