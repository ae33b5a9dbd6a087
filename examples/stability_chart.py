"""Stability chart of x'(t) = a x(t) + b x(t - 1) over a grid of (a, b).

Each grid point gets its spectral abscissa, the largest real part of its
characteristic roots; the zero contour is the stability boundary. The grid is
cut into chunks, one task each, and the tasks run on a pool of processes on
this machine or, given a scheduler address, on a Dask cluster:

    .venv/bin/python examples/stability_chart.py --grid 100 --output chart.png
    .venv/bin/python examples/stability_chart.py --scheduler tcp://127.0.0.1:8786 --output chart.png

A pool of threads would do as well on one machine, since `roots` releases the
interpreter lock while it computes; processes carry over to a cluster unchanged.
"""
import argparse
import os
import time
from concurrent.futures import ProcessPoolExecutor, as_completed
from contextlib import contextmanager

import matplotlib

matplotlib.use("Agg")  # files only, no screen
import matplotlib.pyplot as plt
import numpy as np
from matplotlib.colors import TwoSlopeNorm
from tqdm import tqdm

import pyhalvex

EXTENT = (-3.0, 3.0)  # both a and b range over it


def spectral_abscissa(a, b):
    """The largest real part of the roots of lambda = a + b e^{-lambda}."""
    return pyhalvex.spectral_abscissa(pyhalvex.quorv([np.array([[a]]), np.array([[b]])], [0.0, 1.0]))


def abscissae(points):
    """One task: the spectral abscissa of each (a, b) row of points."""
    return np.array([spectral_abscissa(a, b) for a, b in points])


@contextmanager
def executor(scheduler, workers):
    """A concurrent.futures executor: the Dask cluster at scheduler, else a local process pool."""
    if scheduler is None:
        with ProcessPoolExecutor(max_workers=workers) as pool:
            yield pool
    else:
        from dask.distributed import Client

        with Client(scheduler) as client:
            yield client.get_executor()


def in_chunks(pool, task, values, chunk, *args, progress=None):
    """task(values[start:start + chunk], *args) for every chunk, run on pool; the
    results joined in the order of values."""
    tasks = {pool.submit(task, values[start:start + chunk], *args): start
             for start in range(0, len(values), chunk)}
    joined = np.empty(len(values))
    for done in as_completed(tasks):
        result = done.result()
        joined[tasks[done]:tasks[done] + len(result)] = result
        if progress is not None:
            progress.update(len(result))
    return joined


def add_pool_arguments(parser, chunk, what):
    """The options that place the tasks: a Dask scheduler or a local pool's size, and the
    number of values (what) per task."""
    parser.add_argument("--scheduler", help="address of a Dask scheduler, e.g. tcp://127.0.0.1:8786; "
                                            "without it the tasks run on a local process pool")
    parser.add_argument("--workers", type=int, default=os.cpu_count(),
                        help="processes of the local pool (default: the cores, %(default)s)")
    parser.add_argument("--chunk", type=int, default=chunk, help=f"{what} per task (default: %(default)s)")


def sweep(a_values, b_values, pool, chunk):
    """The abscissa at every (a, b), as an array indexed [b, a], computed in tasks of chunk points."""
    points = np.stack(np.meshgrid(a_values, b_values), axis=-1).reshape(-1, 2)
    with tqdm(total=len(points), unit="point", desc="grid") as progress:
        values = in_chunks(pool, abscissae, points, chunk, progress=progress)
    return values.reshape(len(b_values), len(a_values))


def save_figure(fig, path):
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def draw(a_values, b_values, abscissa, path):
    fig, ax = plt.subplots(figsize=(6.4, 5.2), dpi=100)
    norm = TwoSlopeNorm(vcenter=0.0, vmin=min(abscissa.min(), -1e-3), vmax=max(abscissa.max(), 1e-3))
    filled = ax.contourf(a_values, b_values, abscissa, levels=40, cmap="RdBu_r", norm=norm)
    fig.colorbar(filled, ax=ax, label="spectral abscissa (largest Re λ)")
    ax.contour(a_values, b_values, abscissa, levels=[0.0], colors="black", linewidths=1.5)
    ax.text(-1.0, 0.0, "stable", ha="center", va="center", fontsize=12)
    ax.set_xlabel("a")
    ax.set_ylabel("b")
    ax.set_title("x'(t) = a x(t) + b x(t − 1): stable where the abscissa < 0")
    save_figure(fig, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--grid", type=int, default=100, help="points per axis (default: %(default)s)")
    add_pool_arguments(parser, chunk=1000, what="grid points")
    parser.add_argument("--output", required=True, help="PNG file to write")
    args = parser.parse_args()

    a_values = np.linspace(*EXTENT, args.grid)
    b_values = np.linspace(*EXTENT, args.grid)
    where = f"the Dask cluster at {args.scheduler}" if args.scheduler else f"a local pool of {args.workers} process(es)"
    started = time.perf_counter()
    with executor(args.scheduler, args.workers) as pool:
        abscissa = sweep(a_values, b_values, pool, args.chunk)
    elapsed = time.perf_counter() - started

    print(f"{abscissa.size} points in {elapsed:.2f} s on {where}")
    draw(a_values, b_values, abscissa, args.output)
    print(f"wrote {args.output}")


if __name__ == "__main__":
    main()
