"""The exact uniform sample of n x n x n in headless chromium (the web page's
WebAssembly) against lozengia-cli --threads 1, alternated in one run; prints
the README's table (median of the repeats, ratio browser / native).
Usage: /usr/bin/python3 bench/web_speed.py WEB_FOLDER CLI [REPEATS]"""
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "web"))
from browser import chromium, served  # noqa: E402


def native_ms(cli, n, seed):
    args = [cli, "-N", str(n), "-T", str(2 * n), "-S", str(n), "--seed", str(seed),
            "--threads", "1", "--export", os.devnull]
    start = time.perf_counter()
    subprocess.run(args, check=True, timeout=600)
    return (time.perf_counter() - start) * 1000


def main():
    web, cli = sys.argv[1], sys.argv[2]
    repeats = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    with served(web) as url, chromium() as driver:
        driver.set_script_timeout(600)
        driver.get(url + "bench.html")
        end = time.monotonic() + 60
        while driver.execute_script("return document.body.dataset.ready") != "yes":
            if time.monotonic() > end:
                raise SystemExit("bench.html did not start")
            time.sleep(0.1)
        driver.execute_script("return benchSample(50, 1)")  # compiled and warm
        # The CLI's time includes its start (a process, the memory count):
        # a 1 x 1 x 1 sample measures it, and the last column leaves it out.
        start = statistics.median(native_ms(cli, 1, seed) for seed in range(1, repeats + 1))
        print(f"lozengia-cli start: {start:.0f} ms")
        print("| n | browser (ms) | lozengia-cli --threads 1 (ms) | ratio | ratio without the CLI's start |")
        print("|---|---|---|---|---|")
        for n in (100, 300, 500):
            browser, native = [], []
            for seed in range(1, repeats + 1):
                browser.append(driver.execute_script(f"return benchSample({n}, {seed})"))
                native.append(native_ms(cli, n, seed))
            b, c = statistics.median(browser), statistics.median(native)
            print(f"| {n} | {b:.0f} | {c:.0f} | {b / c:.2f} | {b / max(c - start, 1):.2f} |",
                  flush=True)


if __name__ == "__main__":
    main()
