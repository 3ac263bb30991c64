"""Mean lozenge densities over many uniform samples of the n x n x n hexagon.

Outside the inscribed circle (the arctic circle) the tiling is frozen: one
lozenge type only. Inside, all three mix. The picture shows, for each type,
its frequency at every place of the hexagon, with the circle drawn over it.

    python3 examples/arctic_circle.py --n 100 --samples 400 --out arctic_circle.png
"""

import argparse
import math

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import lozengia  # noqa: E402


def mean_densities(n, samples, seed):
    """Frequencies of each lozenge type at every place (height h, slice t)."""
    counts = np.zeros((3, 2 * n, 2 * n))
    for pp in lozengia.sample(n, 2 * n, n, seed=seed, count=samples):
        types = lozengia.lozenges(pp, N=n)
        for k, kind in enumerate((lozengia.FLAT, lozengia.RISING, lozengia.TOP)):
            counts[k] += types == kind
    inside = lozengia.lozenges(np.zeros((n, n), dtype=np.int32), N=n) != lozengia.OUTSIDE
    return counts / samples, inside


def sheared(h, t):
    """Lattice (slice t, height h) to the plane, where the hexagon is regular."""
    return t * math.sqrt(3) / 2, h - t / 2


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--n", type=int, default=100)
    ap.add_argument("--samples", type=int, default=400)
    ap.add_argument("--seed", type=int, default=2026)
    ap.add_argument("--out", default="arctic_circle.png")
    args = ap.parse_args()
    n = args.n

    density, inside = mean_densities(n, args.samples, args.seed)
    # Each place of the (h, t) grid drawn as the parallelogram around it.
    t, h = np.meshgrid(np.arange(2 * n + 1) - 0.5, np.arange(2 * n + 1), indexing="xy")
    X, Y = sheared(h, t)
    centre = sheared(n, n)  # the middle of the hexagon
    circle = np.linspace(0, 2 * math.pi, 400)
    radius = n * math.sqrt(3) / 2

    fig, axes = plt.subplots(1, 4, figsize=(16, 4.4))
    one = lozengia.sample(n, 2 * n, n, seed=args.seed)
    axes[0].imshow(lozengia.draw(one, N=n, size=600))  # outlines fade where lozenges are small
    axes[0].set_title(f"one uniform sample, n = {n}")
    names = ("flat", "rising", "top")
    for ax, d, name in zip(axes[1:], density, names):
        mesh = ax.pcolormesh(X, Y, np.where(inside, d, np.nan), cmap="viridis", vmin=0, vmax=1,
                             shading="flat")
        ax.plot(centre[0] + radius * np.cos(circle), centre[1] + radius * np.sin(circle),
                color="white", lw=0.8, ls="--")
        ax.set_title(f"density of {name} lozenges")
    for ax in axes:
        ax.set_aspect("equal")
        ax.axis("off")
    fig.colorbar(mesh, ax=axes[1:], shrink=0.8, label=f"mean over {args.samples} samples")
    fig.savefig(args.out, dpi=80, bbox_inches="tight")
    frozen = [float(np.nanmax(np.where(inside, d, np.nan))) for d in density]
    print(f"{args.out}: n = {n}, {args.samples} samples; largest densities {frozen}")


if __name__ == "__main__":
    main()
