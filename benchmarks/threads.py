"""Two roots calls one after the other against the same two calls on two threads.

    .venv/bin/python benchmarks/threads.py [--order N] [--repeat K]

roots releases the interpreter lock while it computes, so on a machine with two
free cores the threaded pair should take about the time of one call. Prints the
median wall time of each way over --repeat rounds and their ratio.
"""
import argparse
import statistics
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

from pyhalvex import quorv, roots


def mid_size_system(order):
    rng = np.random.default_rng(7)
    matrices = [rng.standard_normal((order, order)) / np.sqrt(order) for _ in range(3)]
    return quorv(matrices, [0.0, 0.5, 1.0])


def timed(run):
    start = time.perf_counter()
    run()
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--order", type=int, default=12)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    model, r = mid_size_system(args.order), -1.0
    one_call = lambda: roots(model, r)
    with ThreadPoolExecutor(max_workers=2) as pool:
        # Concurrent calls on the same model compute the same roots as one alone.
        assert list(pool.map(lambda _: one_call(), range(2))) == [one_call()] * 2
        sequential = [timed(lambda: (one_call(), one_call())) for _ in range(args.repeat)]
        threaded = [timed(lambda: list(pool.map(lambda _: one_call(), range(2))))
                    for _ in range(args.repeat)]
    s, t = statistics.median(sequential), statistics.median(threaded)
    print(f"n = {args.order}, 3 matrices, r = {r}, median of {args.repeat}")
    print(f"2 calls sequentially: {s:.3f} s")
    print(f"2 calls on 2 threads: {t:.3f} s")
    print(f"ratio threaded / sequential: {t / s:.2f}")


if __name__ == "__main__":
    main()
