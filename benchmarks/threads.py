"""roots calls on threads: two at once against one after the other, and one on
a worker thread while the main thread runs Python.

    .venv/bin/python benchmarks/threads.py [--order N] [--repeat K]

roots releases the interpreter lock while it computes, and on a thread other
than the main one it never takes it back before it ends, so
- two calls on two different systems of order N (seeds 7 and 8) on a pool of
  two threads should take about the time of the longer one on a machine with
  two free cores: the ratio threaded / sequential tends to 0.5;
- a call on a worker thread should take as long while the main thread runs a
  Python loop as while it waits: the ratio tends to 1.
Prints the median wall times over --repeat rounds and the ratios.
"""
import argparse
import statistics
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

from pyhalvex import quorv, roots


def mid_size_system(order, seed=7):
    rng = np.random.default_rng(seed)
    matrices = [rng.standard_normal((order, order)) / np.sqrt(order) for _ in range(3)]
    return quorv(matrices, [0.0, 0.5, 1.0])


def timed(run):
    start = time.perf_counter()
    run()
    return time.perf_counter() - start


def on_worker(call, busy_main):
    """The wall time of call on a worker thread, the main thread idle or busy."""
    elapsed = []
    worker = threading.Thread(target=lambda: elapsed.append(timed(call)))
    worker.start()
    while busy_main and worker.is_alive():
        sum(i * i for i in range(1000))
    worker.join()
    return elapsed[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--order", type=int, default=12)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    models, r = [mid_size_system(args.order, seed) for seed in (7, 8)], -1.0
    calls = [lambda m=m: roots(m, r) for m in models]
    with ThreadPoolExecutor(max_workers=2) as pool:
        # Concurrent calls compute the same roots as the calls alone.
        assert list(pool.map(lambda call: call(), calls)) == [call() for call in calls]
        sequential = [timed(lambda: [call() for call in calls]) for _ in range(args.repeat)]
        threaded = [timed(lambda: list(pool.map(lambda call: call(), calls))) for _ in range(args.repeat)]
    idle = [on_worker(calls[0], busy_main=False) for _ in range(args.repeat)]
    busy = [on_worker(calls[0], busy_main=True) for _ in range(args.repeat)]
    s, t = statistics.median(sequential), statistics.median(threaded)
    i, b = statistics.median(idle), statistics.median(busy)
    print(f"n = {args.order}, 3 matrices, r = {r}, two systems, median of {args.repeat}")
    print(f"2 calls sequentially: {s:.3f} s")
    print(f"2 calls on 2 threads: {t:.3f} s")
    print(f"ratio threaded / sequential: {t / s:.2f}")
    print(f"1 call on a worker, main thread idle: {i:.3f} s")
    print(f"1 call on a worker, main thread running Python: {b:.3f} s")
    print(f"ratio busy / idle: {b / i:.2f}")


if __name__ == "__main__":
    main()
