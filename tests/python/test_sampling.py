"""lozengia.sample: the command-line tool's samples, boxed plane partitions,
the same arrays on any number of threads, and the uniform distribution."""

import collections
import importlib.metadata
import re

import numpy as np
import pytest

import lozengia
from conftest import ROOT, assert_boxed_plane_partition, read_export

# One accepted parameter set per model, in the command-line tool's spelling
# and as keyword arguments.
MODELS = [
    ("hahn", [], {}),
    ("q-hahn", ["--q", "0.98"], {"q": 0.98}),
    ("racah", ["--K", "80"], {"K": 80}),
    ("trigonometric", ["--alpha", "0.01", "--beta", "0.8"], {"alpha": 0.01, "beta": 0.8}),
    ("real-q-racah", ["--q", "1.05", "--log-q-kappa", "40"], {"q": 1.05, "log_q_kappa": 40}),
    ("imaginary-q-racah", ["--q", "0.97", "--kappa", "2.5"], {"q": 0.97, "kappa": 2.5}),
]


def test_version_is_the_projects_and_the_command_line_tools(cli):
    version = re.search(r"project\(\s*Lozengia\s+VERSION\s+([0-9.]+)",
                        (ROOT / "CMakeLists.txt").read_text()).group(1)
    assert lozengia.__version__ == version
    assert cli("--version").stdout == f"lozengia-cli {version}\n"
    # Installed by pip, its metadata says the same (a build tree has none).
    try:
        assert importlib.metadata.version("lozengia") == version
    except importlib.metadata.PackageNotFoundError:
        pass


@pytest.mark.parametrize("name,cli_args,params", MODELS, ids=[m[0] for m in MODELS])
def test_same_samples_as_the_command_line_tool(cli, tmp_path, name, cli_args, params):
    N, T, S, count, seed = 13, 31, 12, 5, 20261208
    out = tmp_path / "pp.txt"
    cli("--model", name, *cli_args, "-N", N, "-T", T, "-S", S, "--count", count,
        "--seed", seed, "--threads", 2, "--export", out)
    expected = read_export(out.read_text(), S, T - S)
    got = lozengia.sample(N, T, S, model=name, seed=seed, count=count, threads=1, **params)
    assert got.shape == (count, S, T - S)
    np.testing.assert_array_equal(got, expected)
    for pp in got:
        assert_boxed_plane_partition(pp, N, S, T - S)
    # Independent samples differ (a stream reused for every run would not).
    assert len({pp.tobytes() for pp in got}) == count


@pytest.mark.parametrize("N,T,S", [(40, 80, 40), (7, 100, 60), (60, 50, 3)])
def test_one_large_sample_as_the_command_line_tool_on_every_thread_count(cli, N, T, S):
    seed = -77
    expected = read_export(cli("-N", N, "-T", T, "-S", S, "--seed", seed).stdout, S, T - S)[0]
    for threads in (1, 2, 3):
        got = lozengia.sample(N, T, S, seed=seed, threads=threads)
        np.testing.assert_array_equal(got, expected, err_msg=f"threads={threads}")
        assert_boxed_plane_partition(got, N, S, T - S)


def test_count_spreads_runs_over_threads_without_changing_them():
    a = lozengia.sample(9, 20, 11, model="q-hahn", q=1.3, seed=5, count=7, threads=1)
    b = lozengia.sample(9, 20, 11, model="q-hahn", q=1.3, seed=5, count=7, threads=3)
    c = lozengia.sample(9, 20, 11, model="q-hahn", q=1.3, seed=5, count=3, threads=8)
    np.testing.assert_array_equal(a, b)
    np.testing.assert_array_equal(a[:3], c)
    np.testing.assert_array_equal(a[0], lozengia.sample(9, 20, 11, model="q-hahn", q=1.3, seed=5))


def test_kind_numbers_and_model_objects_name_the_same_models():
    ref = lozengia.sample(6, 12, 6, model="racah", K=-30, seed=3)
    np.testing.assert_array_equal(lozengia.sample(6, 12, 6, model=4, K=-30, seed=3), ref)
    np.testing.assert_array_equal(
        lozengia.sample(6, 12, 6, model=lozengia.Model("racah", K=-30), seed=3), ref)
    np.testing.assert_array_equal(lozengia.sample(6, 12, 6, model="4", K="-30", seed=3), ref)


def test_degenerate_hexagons_give_empty_or_full_shapes():
    assert lozengia.sample(4, 9, 0, seed=1).shape == (0, 9)
    assert lozengia.sample(4, 9, 9, seed=1).shape == (9, 0)
    assert lozengia.sample(4, 9, 0, seed=1, count=3).shape == (3, 0, 9)
    one = lozengia.sample(1, 1, 1, seed=1)
    assert one.shape == (1, 0)


def test_unseeded_samples_differ():
    a = lozengia.sample(20, 40, 20, count=2)
    b = lozengia.sample(20, 40, 20, count=2)
    assert not np.array_equal(a, b)


def test_uniform_measure_on_the_2x2x2_hexagon():
    # The 20 plane partitions in a 2 x 2 x 2 box, each with probability 1/20.
    samples = lozengia.sample(2, 4, 2, seed=11, count=20000)
    counts = collections.Counter(pp.tobytes() for pp in samples)
    assert len(counts) == 20
    # 5 standard deviations of a count with mean 1000.
    assert all(abs(c - 1000) < 5 * (20000 * 0.05 * 0.95) ** 0.5 for c in counts.values()), counts
    # The volume is symmetric about half the box.
    assert abs(samples.sum(axis=(1, 2)).mean() - 4.0) < 0.05


def test_q_hahn_favours_small_volumes_below_one():
    small = lozengia.sample(10, 20, 10, model="q-hahn", q=0.8, seed=2, count=50).sum(axis=(1, 2))
    large = lozengia.sample(10, 20, 10, model="q-hahn", q=1.25, seed=2, count=50).sum(axis=(1, 2))
    assert small.mean() < 250 < large.mean()
