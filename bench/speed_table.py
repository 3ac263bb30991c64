"""The speed table of docs/performance.md from one run of lozengia_bench_table.

    /usr/bin/python3 bench/speed_table.py --run build-release [--rounds 5]
    /usr/bin/python3 bench/speed_table.py table.json

With --run the benchmark is run (its JSON kept beside the build as
speed_table.json); otherwise the JSON a run wrote with
--benchmark_out=FILE --benchmark_out_format=json is read. Each output's time
is taken against the mean of the two samples measured on either side of it
in the same run, and the ratios of several rounds give their median, so a
drift of the machine's speed falls on both sides of every ratio alike.
"""

import argparse
import json
import pathlib
import statistics
import subprocess
import sys

# The benchmark's names, in the table's order, with what a user types.
ROWS = [
    ("Png/style:1", "PNG, style 1 (`--png FILE --style 1 --size 2000`)"),
    ("Png/style:2", "PNG, style 2 (`--style 2`)"),
    ("Png/style:3", "PNG, style 3 (`--style 3`)"),
    ("Png/style:4", "PNG, style 4 (`--style 4`)"),
    ("Png/style:5", "PNG, style 5 (`--style 5`)"),
    ("Svg/style:1", "SVG, style 1 (`--svg FILE --style 1 --size 2000`)"),
    ("DesktopSteps", "the desktop program: 1000 S->S+1 steps from S = 0 (`run_step_command`)"),
    ("CliExport", "the whole `lozengia-cli ... --export FILE` run (sample and export)"),
]
SAMPLE = "Sample"
TO_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def run(build, rounds):
    out = pathlib.Path(build) / "speed_table.json"
    cmd = [str(pathlib.Path(build) / "bench" / "lozengia_bench_table"), f"--rounds={rounds}",
           f"--benchmark_out={out}", "--benchmark_out_format=json"]
    subprocess.run(cmd, check=True, stdout=sys.stderr)
    return out


def measurements(doc):
    """(name without its round, seconds, counters) in the order they ran."""
    for b in doc["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration" or b.get("error_occurred"):
            continue
        name = b["name"].split("/round:")[0]
        yield name, b["real_time"] * TO_SECONDS[b["time_unit"]], b


def table(doc):
    runs = list(measurements(doc))
    samples = [s for name, s, _ in runs if name == SAMPLE]
    if not samples:
        sys.exit("no sample in the run")
    ratios, seconds, files = {}, {}, {}
    for i, (name, s, b) in enumerate(runs):
        if name == SAMPLE:
            continue
        before = [t for n, t, _ in reversed(runs[:i]) if n == SAMPLE][:1]
        after = [t for n, t, _ in runs[i + 1:] if n == SAMPLE][:1]
        around = before + after
        if not around:
            continue
        ratios.setdefault(name, []).append(s / statistics.mean(around))
        seconds.setdefault(name, []).append(s)
        if b.get("file_MB"):
            files[name] = b["file_MB"]
    ctx = doc.get("context", {})
    rounds = max((len(v) for v in ratios.values()), default=0)
    lines = [
        f"One run of `lozengia_bench_table` ({rounds} round{'s' if rounds != 1 else ''}, "
        f"{ctx.get('date', '?')}, "
        f"{ctx.get('num_cpus', '?')} cores, load average at the start "
        f"{', '.join(f'{x:.1f}' for x in ctx.get('load_avg', [])) or '?'}): "
        f"the exact sample took {statistics.median(samples):.2f} s "
        f"(median of {len(samples)}, from {min(samples):.2f} s to {max(samples):.2f} s "
        f"over the run).",
        "",
        "| output (n = 1000, pictures 2000 px) | x sample (median, range) | seconds | file |",
        "|---|---|---|---|",
        f"| the exact sample (`lozengia-cli -N 1000 -T 2000 -S 1000 --seed 1`, sampling alone) "
        f"| 1 | {statistics.median(samples):.2f} | |",
    ]
    for name, label in ROWS:
        if name not in ratios:
            continue
        r = ratios[name]
        spread = f" ({min(r):.2g}-{max(r):.2g})" if len(r) > 1 else ""
        size = f"{files[name]:.1f} MB" if name in files else ""
        lines.append(f"| {label} | {statistics.median(r):.2g}{spread} "
                     f"| {statistics.median(seconds[name]):.2f} | {size} |")
    return "\n".join(lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("json", nargs="?", help="the benchmark's JSON output")
    ap.add_argument("--run", metavar="BUILD", help="run the benchmark of this build folder first")
    ap.add_argument("--rounds", type=int, default=5)
    a = ap.parse_args()
    if (a.json is None) == (a.run is None):
        ap.error("give either a JSON file or --run BUILD")
    path = run(a.run, a.rounds) if a.run else a.json
    with open(path) as f:
        print(table(json.load(f)))


if __name__ == "__main__":
    main()
