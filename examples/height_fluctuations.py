"""Fluctuations of the height function along the middle line of the n x n x n
hexagon, for several n.

The height at (slice n, level y) counts the paths below y. Its standard
deviation over uniform samples grows only like the square root of log n (the
Gaussian free field); the right panel compares the variance at the centre
with the slope 1/(2 pi^2) per unit of log n.

    python3 examples/height_fluctuations.py --sizes 25 50 100 200 --samples 300
"""

import argparse
import math

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import lozengia  # noqa: E402


def middle_heights(n, samples, seed):
    """Heights along slice n (levels 0..2n) of `samples` uniform samples."""
    levels = np.arange(2 * n + 1)
    out = np.empty((samples, levels.size))
    for k, pp in enumerate(lozengia.sample(n, 2 * n, n, seed=seed, count=samples)):
        column = lozengia.heights(pp, n)[:, n]
        out[k] = np.searchsorted(column, levels)  # paths below each level
    return levels, out


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--sizes", type=int, nargs="+", default=[25, 50, 100, 200])
    ap.add_argument("--samples", type=int, default=300)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--out", default="height_fluctuations.png")
    args = ap.parse_args()

    fig, (left, right) = plt.subplots(1, 2, figsize=(12, 4.5))
    centre_var = []
    for n in args.sizes:
        levels, h = middle_heights(n, args.samples, args.seed + n)
        std = h.std(axis=0)
        left.plot(levels / n - 1, std, label=f"n = {n}")
        centre_var.append(h[:, n].var())
        print(f"n = {n}: standard deviation at the centre {std[n]:.3f}")
    left.set_xlabel("level along the middle line, (y - n) / n")
    left.set_ylabel("standard deviation of the height")
    left.set_title(f"height fluctuations on the middle line ({args.samples} samples each)")
    left.legend()

    logs = np.log(args.sizes)
    right.plot(logs, centre_var, "o-", label="variance at the centre")
    ref = centre_var[0] + (logs - logs[0]) / (2 * math.pi ** 2)
    right.plot(logs, ref, "--", label="slope 1/(2 pi^2)")
    right.set_xlabel("log n")
    right.set_ylabel("variance")
    right.set_title("growth with n")
    right.legend()
    fig.savefig(args.out, dpi=80, bbox_inches="tight")
    print(f"{args.out}: variance at the centre {[round(v, 3) for v in centre_var]}")


if __name__ == "__main__":
    main()
