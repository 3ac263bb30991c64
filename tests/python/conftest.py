"""Shared helpers of the Python module's tests: the command-line tool of the
same build, and the checks every sample must pass."""

import os
import pathlib
import shutil
import subprocess
import tempfile

import numpy as np
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def cli_path():
    path = os.environ.get("LOZENGIA_CLI") or str(ROOT / "build" / "lozengia-cli")
    return path if os.access(path, os.X_OK) else None


@pytest.fixture
def cli():
    path = cli_path()
    if path is None:
        pytest.fail("lozengia-cli not found: set LOZENGIA_CLI to the built binary")

    def run(*args, check=True, cwd=None):
        r = subprocess.run([path, *map(str, args)], capture_output=True, text=True, timeout=300,
                           cwd=cwd)
        if check and r.returncode != 0:
            raise AssertionError(f"lozengia-cli {' '.join(map(str, args))}: {r.stderr}")
        return r
    return run


def read_export(text, S, cols):
    """The samples of a --export file: S lines of T-S numbers each, samples
    separated by one empty line."""
    samples = [b for b in text.split("\n\n") if b.strip()]
    out = []
    for block in samples:
        rows = [list(map(int, line.split())) for line in block.strip("\n").split("\n")]
        out.append(np.array(rows, dtype=np.int32).reshape(S, cols))
    return np.array(out, dtype=np.int32).reshape(len(out), S, cols)


def assert_boxed_plane_partition(pp, N, S, cols):
    assert pp.dtype == np.int32
    assert pp.shape == (S, cols)
    if pp.size == 0:
        return
    assert pp.min() >= 0 and pp.max() <= N
    assert (np.diff(pp, axis=0) <= 0).all(), "columns must decrease weakly"
    assert (np.diff(pp, axis=1) <= 0).all(), "rows must decrease weakly"


@pytest.fixture
def env_for_nobody():
    """The environment of a child that drops to an unprivileged user: it
    imports a copy of the module in a folder that user can reach (the build
    or install folder may lie under one only its owner may enter)."""
    import lozengia
    with tempfile.TemporaryDirectory() as d:
        copy = pathlib.Path(d) / "lozengia"
        shutil.copytree(pathlib.Path(lozengia.__file__).parent, copy,
                        ignore=shutil.ignore_patterns("__pycache__"))
        for p in (pathlib.Path(d), copy, *copy.iterdir()):
            p.chmod(0o755)
        yield dict(os.environ, PYTHONPATH=d)
