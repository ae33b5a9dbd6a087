"""What one delay_margin call costs, by system; prints a Markdown table.

    .venv/bin/python benchmarks/delay_margin_timing.py [--repeat 7]
    .venv/bin/python benchmarks/delay_margin_timing.py --sparse [--sizes 1000 10000]

Each row: the margin found, the median wall time of --repeat calls and the
median CPU time of the calling process (less sensitive to other work on a
shared machine). Small systems (n <= 4, with two delays where the system has
them) and order 20: a ring of coupled units x_i' = -x_i + 0.3 (x_{i-1} + x_{i+1})
- 0.8 x_i(t - 1) + 0.2 x_{i+1}(t - 2), and a random system, stable for every
delay, for which the search must exclude the whole frequency range.

--sparse: sparse_quorv models of large.py's 1-D heat equation and ring (both
stable for every delay), and the same with delayed feedback strong enough to
lose stability (u_t = u_xx + 50 u - 60 u(t - d); x_i' = -x_i - 0.5 x_{i-1}
- 2 x_i(t - 0.1 - d)), whose margins are the least of their modes' scalar
margins in closed form; the feedback systems at n = 200 also densely. Each
row: the margin, its error against the closed form, CPU seconds of one call
and the sparse LU factorisations it made.
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


def scalar_modes_margin(mu, b, tau0):
    """The least added delay at which a mode x' = mu x + b x(t - tau0 - d)
    has a root on the axis (|jw - mu| = |b|, w (tau0 + d) = -arg((jw - mu) / b)
    mod 2 pi); each such crossing of these systems destabilises its mode."""
    best = float("inf")
    for m, c in zip(mu, b):
        if abs(c) <= abs(m.real):
            continue
        for w in m.imag + np.array([1, -1]) * np.sqrt(abs(c) ** 2 - m.real ** 2):
            period = 2 * np.pi / abs(w)
            tau = (-np.angle((1j * w - m) / c) / w) % period
            best = min(best, tau + period * np.ceil((tau0 - tau) / period) - tau0)
    return best


def sparse_cases(sizes):
    import scipy.sparse as sp
    from large import heat_1d, ring as large_ring

    def heat_feedback(n):
        h2 = (n + 1.0) ** 2
        lap = sp.diags_array([h2, -2 * h2 + 50, h2], offsets=[-1, 0, 1], shape=(n, n))
        e = 4 * h2 * np.sin(np.arange(1, n + 1) * np.pi / (2 * (n + 1))) ** 2
        return [lap.tocsc(), -60.0 * sp.eye_array(n, format="csc")], [0.0, 0.0], 50 - e, np.full(n, -60.0)

    def ring_feedback(n):
        shift = sp.diags_array([1.0, 1.0], offsets=[-1, n - 1], shape=(n, n))
        mu = -1 - 0.5 * np.exp(2j * np.pi * np.arange(n) / n)
        return ([(-sp.eye_array(n) - 0.5 * shift).tocsc(), -2.0 * sp.eye_array(n, format="csc")], [0.0, 0.1], mu,
                np.full(n, -2.0))

    def stable(build):
        return lambda n: (*build(n), [], [])

    systems = [("1-D heat, u_xx - 2u + 3u(t - 1 - d)", stable(heat_1d)),
               ("ring, -x_i + 0.9 x_{i-1}(t - 1 - d)", stable(large_ring)),
               ("1-D heat, u_xx + 50u - 60u(t - d)", heat_feedback),
               ("ring, -x_i - 0.5 x_{i-1} - 2 x_i(t - 0.1 - d)", ring_feedback)]
    for label, build in systems:
        for n in sizes:
            yield label, n, build, "sparse"
    for label, build in systems[2:]:
        if 200 not in sizes:
            yield label, 200, build, "sparse"
        yield label, 200, build, "dense"


def sparse_main(sizes):
    print("| system | n | route | margin | error | CPU s | LU |")
    print("| --- | --- | --- | --- | --- | --- | --- |")
    for label, n, build, route in sparse_cases(sizes):
        A, h, mu, b = build(n)
        system = (pyhalvex.sparse_quorv(A, h) if route == "sparse"
                  else quorv([a.toarray() for a in A], h))
        made, cpu = pyhalvex._core._factorisations(), time.process_time()
        margin = pyhalvex.delay_margin(system, 1)
        cpu, made = time.process_time() - cpu, pyhalvex._core._factorisations() - made
        truth = scalar_modes_margin(mu, b, h[1])
        error = "exact" if margin == truth else f"{abs(margin - truth) / truth:.1e}"
        print(f"| {label} | {n} | {route} | {margin:.10g} | {error} | {cpu:.2f} | "
              f"{made if route == 'sparse' else '-'} |", flush=True)
    print(f"\nOne call each on {os.cpu_count()} cores, load average {os.getloadavg()[0]:.1f} at the end.")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--sparse", action="store_true")
    parser.add_argument("--sizes", type=int, nargs="+", default=[1000, 10000])
    args = parser.parse_args()
    if args.sparse:
        return sparse_main(args.sizes)
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
