"""What the stability chart of examples/stability_chart.py costs; prints Markdown tables.

    .venv/bin/python benchmarks/chart_timing.py sweep [--grids 100,316] [--repeat 5]
    .venv/bin/python benchmarks/chart_timing.py point [--repeat 2000]

sweep: the wall time of the chart's sweep as the script measures it (pool or
client start-up and the sweep, no imports, no drawing), median of --repeat
runs, for each grid and each way of running the tasks: one process, a pool of
two, and a local Dask cluster of two worker processes or of one worker with
two threads in this process.
point: what one grid point costs, call by call: spectral_abscissa, and the
argument-principle counts and the spectrum that it is made of.
"""
import argparse
import os
import statistics
import sys
import time
import timeit
from contextlib import contextmanager, redirect_stderr
from pathlib import Path

import numpy as np

import pyhalvex

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "examples"))
import stability_chart as chart  # noqa: E402


@contextmanager
def dask_cluster(**options):
    from dask.distributed import LocalCluster

    with LocalCluster(dashboard_address=None, **options) as cluster:
        yield cluster.scheduler_address


@contextmanager
def no_cluster():
    yield None


# (column heading, cluster to start before timing, local pool size)
SETUPS = [
    ("one process (`--workers 1`)", no_cluster, 1),
    ("pool of 2 processes (default)", no_cluster, 2),
    ("Dask, 2 worker processes × 1 thread",
     lambda: dask_cluster(n_workers=2, threads_per_worker=1), None),
    ("Dask in-process, 1 worker × 2 threads",
     lambda: dask_cluster(processes=False, n_workers=1, threads_per_worker=2, protocol="tcp"), None),
]


def sweep_seconds(grid, scheduler, workers):
    """One run of the chart's sweep, timed as the script times it."""
    values = np.linspace(*chart.EXTENT, grid)
    started = time.perf_counter()
    with chart.executor(scheduler, workers) as pool:
        chart.sweep(values, values, pool, chunk=1000)
    return time.perf_counter() - started


def sweep_table(grids, repeat):
    print(f"| grid of (a, b) | {' | '.join(heading for heading, _, _ in SETUPS)} |")
    print(f"| --- |{' --- |' * len(SETUPS)}")
    medians = {}
    with open(os.devnull, "w") as quiet, redirect_stderr(quiet):  # the progress bars
        for heading, cluster, workers in SETUPS:
            with cluster() as scheduler:
                for grid in grids:
                    runs = [sweep_seconds(grid, scheduler, workers) for _ in range(repeat)]
                    medians[heading, grid] = statistics.median(runs)
    for grid in grids:
        cells = " | ".join(f"{medians[heading, grid]:.2f} s" for heading, _, _ in SETUPS)
        print(f"| {grid} × {grid} | {cells} |")
    print(f"\nMedian of {repeat} runs on {os.cpu_count()} cores, load average "
          f"{os.getloadavg()[0]:.1f} at the end.")


def point_table(repeat):
    """Per-call times at one point of the chart, (a, b) = (-1, -0.5)."""
    system = pyhalvex.quorv([np.array([[-1.0]]), np.array([[-0.5]])], [0.0, 1.0])
    left = pyhalvex.spectral_abscissa(system) - 0.5
    right_of_left = pyhalvex.count_roots(system, left)
    calls = [
        ("`spectral_abscissa(sys)`, the whole point", lambda: pyhalvex.spectral_abscissa(system)),
        ("`count_roots(sys, 0.0)`, no root right of the line", lambda: pyhalvex.count_roots(system, 0.0)),
        (f"`count_roots(sys, {left:.2f})`, {right_of_left} roots right of the line",
         lambda: pyhalvex.count_roots(system, left)),
        (f"`spectrum(sys, {left:.2f})`", lambda: pyhalvex.spectrum(system, left)),
    ]
    print("| call at (a, b) = (−1, −0.5) | time per call (µs) |")
    print("| --- | --- |")
    for label, call in calls:
        seconds = min(timeit.repeat(call, number=repeat // 10, repeat=10)) / (repeat // 10)
        print(f"| {label} | {seconds * 1e6:.1f} |")
    print(f"\nBest of 10 rounds of {repeat // 10} calls, load average {os.getloadavg()[0]:.1f}.")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("table", choices=["sweep", "point"])
    parser.add_argument("--grids", default="100,316", help="points per axis, comma-separated (default: %(default)s)")
    parser.add_argument("--repeat", type=int, help="runs per cell (default: 5 for sweep, 2000 calls for point)")
    args = parser.parse_args()
    if args.table == "sweep":
        sweep_table([int(g) for g in args.grids.split(",")], args.repeat or 5)
    else:
        point_table(args.repeat or 2000)


if __name__ == "__main__":
    main()
