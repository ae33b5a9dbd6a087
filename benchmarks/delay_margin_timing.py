"""What one delay_margin call costs, by system; prints a Markdown table.

    .venv/bin/python benchmarks/delay_margin_timing.py [--repeat 7]

Each row: the margin found, the median wall time of --repeat calls and the
median CPU time of the calling process (less sensitive to other work on a
shared machine). Small systems (n <= 4, with two delays where the system has
them) and order 20: a ring of coupled units x_i' = -x_i + 0.3 (x_{i-1} + x_{i+1})
- 0.8 x_i(t - 1) + 0.2 x_{i+1}(t - 2), and a random system, stable for every
delay, for which the search must exclude the whole frequency range.
"""
import argparse
import os
import statistics
import time

import numpy as np

import pyhalvex
from pyhalvex import quorv


def scalar(a, b, tau0):
    return quorv([np.array([[a]]), np.array([[b]])], [0.0, tau0])


def pd_loop(kp, kd):
    return quorv([np.array([[0.0, 1.0], [0.0, 0.0]]), np.array([[0.0, 0.0], [-kp, -kd]])], [0.0, 0.0])


def ring(units):
    up = np.roll(np.eye(units), 1, axis=1)
    return quorv([-np.eye(units) + 0.3 * (up + up.T), -0.8 * np.eye(units), 0.2 * up], [0.0, 1.0, 2.0])


def similar_pair():
    s = np.array([[2.0, 1.0], [1.0, 1.0]])
    similar = lambda *d: s @ np.diag(d) @ np.linalg.inv(s)
    return quorv([similar(-1.0, -2.0), similar(-0.6, -0.5), similar(0.3, -3.0)], [0.0, 0.4, 1.0])


def classic():
    return quorv([np.diag([-2.0, -0.9]), np.array([[-1.0, 0.0], [-1.0, -1.0]])], [0.0, 0.0])


def random_stable(n, seed=1):
    rng = np.random.default_rng(seed)
    a = [rng.standard_normal((n, n)) / np.sqrt(n) for _ in range(3)]
    return quorv([a[0] - 2 * np.eye(n), 0.8 * a[1], 0.8 * a[2]], [0.0, 0.5, 1.0])


CASES = [
    ("x' = -x - 2 x(t - 0.3 - d)", 1, lambda: scalar(-1.0, -2.0, 0.3), 1),
    ("PD loop kp = 1, kd = 1.5", 2, lambda: pd_loop(1.0, 1.5), 1),
    ("2 x 2 classic, A1 delayed from 0", 2, classic, 1),
    ("S diag S^-1, delays 0.4 and 1, the second growing", 2, similar_pair, 2),
    ("S diag S^-1, both delays growing", 2, similar_pair, [1, 2]),
    ("ring, delays 1 and 2, the first growing", 4, lambda: ring(4), 1),
    ("ring, delays 1 and 2, both growing", 4, lambda: ring(4), [1, 2]),
    ("ring, delays 1 and 2, the first growing", 20, lambda: ring(20), 1),
    ("ring, delays 1 and 2, both growing", 20, lambda: ring(20), [1, 2]),
    ("random, delays 0.5 and 1, the first growing", 20, lambda: random_stable(20), 1),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeat", type=int, default=7)
    args = parser.parse_args()
    print("| system | n | terms growing | margin | wall ms | CPU ms |")
    print("| --- | --- | --- | --- | --- | --- |")
    for label, n, build, k in CASES:
        system = build()
        walls, cpus = [], []
        for _ in range(args.repeat):
            wall, cpu = time.perf_counter(), time.process_time()
            margin = pyhalvex.delay_margin(system, k)
            walls.append(time.perf_counter() - wall)
            cpus.append(time.process_time() - cpu)
        print(f"| {label} | {n} | {k} | {margin:.10g} | {1e3 * statistics.median(walls):.2f} | "
              f"{1e3 * statistics.median(cpus):.2f} |")
    print(f"\nMedian of {args.repeat} calls on {os.cpu_count()} cores, load average "
          f"{os.getloadavg()[0]:.1f} at the end.")


if __name__ == "__main__":
    main()
