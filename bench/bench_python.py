"""lozengia.sample against lozengia-cli, and small samples per second.

    /usr/bin/python3 bench/bench_python.py --build build-release

1. One exact uniform sample of n = 500 (N = 500, T = 1000, S = 500) from
   Python and from lozengia-cli (the whole run: start, sample, export file),
   alternated, the same seed and threads; medians and their ratio.
2. Samples of the 10 x 10 x 10 hexagon per second from Python with count=M
   (the loop over samples runs in C++).
"""

import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=str(ROOT / "build"), help="the CMake build folder")
    ap.add_argument("--n", type=int, default=500)
    ap.add_argument("--reps", type=int, default=7)
    ap.add_argument("--threads", type=int, default=os.cpu_count())
    ap.add_argument("--small-count", type=int, default=200000)
    args = ap.parse_args()
    build = pathlib.Path(args.build).resolve()
    sys.path.insert(0, str(build / "python"))
    import numpy as np
    import lozengia

    cli = build / "lozengia-cli"
    n, threads = args.n, args.threads
    py_times, cli_times = [], []
    with tempfile.TemporaryDirectory() as tmp:
        export = pathlib.Path(tmp) / "pp.txt"
        for rep in range(args.reps):
            seed = 1000 + rep
            start = time.perf_counter()
            subprocess.run([str(cli), "-N", str(n), "-T", str(2 * n), "-S", str(n), "--seed",
                            str(seed), "--threads", str(threads), "--export", str(export)],
                           check=True)
            cli_times.append(time.perf_counter() - start)
            start = time.perf_counter()
            pp = lozengia.sample(n, 2 * n, n, seed=seed, threads=threads)
            py_times.append(time.perf_counter() - start)
            if rep == 0:
                expected = np.loadtxt(export, dtype=np.int32).reshape(n, n)
                assert (pp == expected).all(), "Python and lozengia-cli samples differ"
    py, cl = statistics.median(py_times), statistics.median(cli_times)
    print(f"n = {n}, {threads} thread(s), {args.reps} alternated runs each (the same samples):")
    print(f"  lozengia.sample  median {py:.3f} s  (min {min(py_times):.3f}, max {max(py_times):.3f})")
    print(f"  lozengia-cli     median {cl:.3f} s  (min {min(cli_times):.3f}, max {max(cli_times):.3f})")
    print(f"  Python / CLI     {py / cl:.3f}")

    m = args.small_count
    lozengia.sample(10, 20, 10, seed=1, count=1000, threads=threads)  # warm up
    rates = []
    for rep in range(3):
        start = time.perf_counter()
        out = lozengia.sample(10, 20, 10, seed=rep, count=m, threads=threads)
        rates.append(m / (time.perf_counter() - start))
    assert out.shape == (m, 10, 10)
    print(f"10 x 10 x 10: {statistics.median(rates):,.0f} samples/s (median of 3 runs of "
          f"count={m}, {threads} thread(s)); one at a time from a Python loop: ", end="")
    start = time.perf_counter()
    for k in range(2000):
        lozengia.sample(10, 20, 10, seed=k, threads=1)
    print(f"{2000 / (time.perf_counter() - start):,.0f} samples/s")


if __name__ == "__main__":
    main()
