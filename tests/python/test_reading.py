"""Plane partition files read back: lozengia.read_plane_partitions on the
files lozengia-cli writes, for every model, Sampler.from_plane_partition to
continue the dynamics, and files refused with their line and column."""

import os

import numpy as np
import pytest

import lozengia
from conftest import assert_boxed_plane_partition

MODELS = [
    ("hahn", {}),
    ("q-hahn", {"q": 0.9}),
    ("racah", {"K": 20}),
    ("trigonometric", {"alpha": 0.1, "beta": 0.8}),
    ("real-q-racah", {"q": 1.1, "log_q_kappa": 12}),
    ("imaginary-q-racah", {"q": 0.9, "kappa": 2}),
]


def cli_model_args(model, params):
    names = {"q": "--q", "K": "--K", "alpha": "--alpha", "beta": "--beta",
             "log_q_kappa": "--log-q-kappa", "kappa": "--kappa"}
    args = ["--model", model]
    for k, v in params.items():
        args += [names[k], v]
    return args


@pytest.mark.parametrize("model,params", MODELS)
def test_files_of_the_cli_read_back_as_its_samples(cli, tmp_path, model, params):
    path = tmp_path / "pp.txt"
    cli(*cli_model_args(model, params), "-N", 6, "-T", 14, "-S", 6, "--seed", 9, "--count", 3,
        "--export", path)
    read = lozengia.read_plane_partitions(path)
    want = lozengia.sample(6, 14, 6, model, **params, seed=9, count=3)
    assert len(read) == 3
    for got, w in zip(read, want):
        assert_boxed_plane_partition(got, 6, 6, 8)
        np.testing.assert_array_equal(got, w)
    s = lozengia.Sampler.from_plane_partition(read[1], 6, model=model, **params, seed=1)
    assert (s.N, s.T, s.S) == (6, 14, 6)
    np.testing.assert_array_equal(s.plane_partition(), want[1])


def test_a_sampler_from_a_file_continues_the_dynamics(tmp_path):
    path = tmp_path / "pp.txt"
    path.write_text("3 2 2\n2 1 0\n")
    (pp,) = lozengia.read_plane_partitions(os.fsencode(path))
    s = lozengia.Sampler.from_plane_partition(pp, seed=5)
    assert (s.N, s.T, s.S) == (3, 5, 2)
    s.step_plus(2)
    assert s.S == 4
    assert_boxed_plane_partition(s.plane_partition(), 3, 4, 1)
    t = lozengia.Sampler.from_plane_partition(pp, N=7, seed=5)
    assert t.N == 7
    with pytest.raises(ValueError, match="T = 9, but the plane partition has 2 rows of 3"):
        lozengia.Sampler.from_plane_partition(pp, T=9)
    with pytest.raises(ValueError, match="outside 0..2"):
        lozengia.Sampler.from_plane_partition(pp, N=2)


@pytest.mark.parametrize("text,message", [
    ("3 2\n1 2\n", r"pp.txt: line 2, column 3: entry 2 is larger than the entry 1 left of it"),
    ("3 2\n1\n", r"line 2, column 2: this line has 1 entry, the line above it 2"),
    ("3 -2\n", r"line 1, column 3: entry '-2' is negative"),
    ("", r"line 1, column 1: no plane partition in the file"),
    ("\x00PNG", r"line 1, column 1: binary data \(byte 0x00\)"),
])
def test_bad_files_raise_value_error_naming_line_and_column(tmp_path, text, message):
    path = tmp_path / "pp.txt"
    path.write_bytes(text.encode("latin-1"))
    with pytest.raises(ValueError, match=message):
        lozengia.read_plane_partitions(str(path))


def test_a_fifo_is_refused_without_waiting(tmp_path):
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    with pytest.raises(ValueError, match="not a regular file"):
        lozengia.read_plane_partitions(fifo)
