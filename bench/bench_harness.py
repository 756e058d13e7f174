"""Harness run benchmark.

Prints the median wall time of quick_run(task, "claude-code", 4) and of
PyHarness.run_with(task, "claude-code", 255) over repeated calls, and the
per-event cost (feed plus cycles) derived from the 255-turn run.

Rerun:  python bench/bench_harness.py [--calls N]
"""

import argparse
import statistics
import time

import tavri_sdk as t


def median_seconds(fn, calls):
    samples = []
    for _ in range(calls):
        start = time.perf_counter()
        fn()
        samples.append(time.perf_counter() - start)
    return statistics.median(samples)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--calls", type=int, default=200)
    args = ap.parse_args()
    task = "Refactor the billing module and add tests"
    harness = t.create_harness("claude-code")

    small = median_seconds(lambda: t.quick_run(task, "claude-code", 4), args.calls)
    big_calls = max(5, args.calls // 20)
    big = median_seconds(lambda: harness.run_with(task, "claude-code", 255), big_calls)
    events = 2 + 4 * 255 + 1  # the agent's script plus the runner's own Started
    print(f"quick_run(task, 'claude-code', 4):        median {small * 1e3:.3f} ms over {args.calls} calls")
    print(f"run_with(task, 'claude-code', 255):       median {big * 1e3:.3f} ms over {big_calls} calls")
    print(f"per event (feed + cycles, 255-turn run):  {big / events * 1e6:.2f} us")
    print("rerun: python bench/bench_harness.py --calls N")


if __name__ == "__main__":
    main()
