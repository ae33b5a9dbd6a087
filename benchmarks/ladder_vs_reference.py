"""pyhalvex.roots against the same method written in plain NumPy/SciPy, on the ladder.

The ladder is that of bench_roots: random systems of order n = 1, 2, 5, 10, 20 with
2 .. 6 matrices (A_0 = G_0/sqrt(n) - I, A_k = G_k/sqrt(n), delays k/(m-1), G_k standard
normal), and for each an abscissa r at which the degree N comes out at 10, 50 and 100.
For every rung it prints the median wall time of pyhalvex.roots(sys, r) and of
reference_method.reference_roots(A, h, r), both on one thread, their ratio, and whether
they agree: every root the reference accepts is among pyhalvex's (to 1e-6 relative) and
both use the same degree. Then the geometric mean of the ratios.

    .venv/bin/python benchmarks/ladder_vs_reference.py [--quick] [--repeat K] [--standard-form]

The reference takes the pencil's eigenvalues by QZ (scipy.linalg.eigvals(M1, M2)), the
direct reading of the method; --standard-form has it use numpy.linalg.eigvals of
M2^{-1} M1 instead, which is several times faster on the large pencils.
"""
import os

# One thread for every BLAS/LAPACK either side uses; set before NumPy loads its library.
for _var in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ[_var] = "1"

import argparse
import math
import pathlib
import sys
import time
import warnings

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import pyhalvex  # noqa: E402
from reference_method import reference_degree, reference_roots  # noqa: E402

LADDER = [(1, 2), (2, 3), (5, 4), (10, 5), (20, 6)]
TARGETS = [10, 50, 100]
SLOW = 20.0          # seconds: a reference call this slow is not repeated
TOL = 1e-6


def random_system(n, m):
    rng = np.random.default_rng(1000 * n + m)
    G = rng.standard_normal((m, n, n))
    A = [G[k] / math.sqrt(n) - (np.eye(n) if k == 0 else 0.0) for k in range(m)]
    h = [0.0 if k == 0 else k / (m - 1) for k in range(m)]
    return A, h


def abscissa_for_degree(A, h, target):
    """The largest r (to 2^-20) whose degree reaches target: the degree grows as r moves left."""
    hi = 2.0
    while reference_degree(A, h, hi - 1.0) < target and hi > -100.0:
        hi -= 1.0
    lo = hi - 1.0
    for _ in range(20):
        mid = 0.5 * (lo + hi)
        if reference_degree(A, h, mid) >= target:
            lo = mid
        else:
            hi = mid
    return lo


def timed(call, repeat):
    """Median wall time of up to `repeat` calls (one only when a call takes over SLOW s)."""
    times, result = [], None
    for _ in range(repeat):
        start = time.perf_counter()
        result = call()
        times.append(time.perf_counter() - start)
        if times[-1] > SLOW:
            break
    return float(np.median(times)), len(times), result


def distinct(zs):
    kept = []
    for z in zs:
        if all(abs(z - w) > TOL * max(1.0, abs(z)) for w in kept):
            kept.append(z)
    return kept


def compare(ref_roots, ref_N, hal_roots, hal_N):
    ref = distinct(ref_roots)
    hal = np.asarray(hal_roots, dtype=complex)
    unmatched = [z for z in ref
                 if hal.size == 0 or np.min(np.abs(hal - z)) > TOL * max(1.0, abs(z))]
    problems = []
    if unmatched:
        worst = max(unmatched, key=lambda z: np.min(np.abs(hal - z)) if hal.size else np.inf)
        problems.append(f"{len(unmatched)} of {len(ref)} reference roots unmatched, e.g. {worst:.6g}")
    if hal_N != ref_N:
        problems.append(f"degree {hal_N} vs reference {ref_N}")
    return ("yes" if not problems else "no"), len(ref), problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="only the N = 10 rungs")
    parser.add_argument("--repeat", type=int, default=3, metavar="K", help="calls per timing (median)")
    parser.add_argument("--standard-form", action="store_true",
                        help="reference eigenvalues from numpy.linalg.eigvals(M2^-1 M1) instead of QZ")
    args = parser.parse_args()
    targets = [10] if args.quick else TARGETS
    eigen = ("of the standard form, numpy.linalg.eigvals(solve(M2, M1))" if args.standard_form
             else "by QZ, scipy.linalg.eigvals(M1, M2)")

    print(f"single-threaded: OPENBLAS_NUM_THREADS=OMP_NUM_THREADS=MKL_NUM_THREADS=1; "
          f"median of {args.repeat} calls (1 for reference calls over {SLOW:.0f} s); "
          f"reference eigenvalues {eigen}; "
          f"load average {os.getloadavg()[0]:.2f} at start\n")
    print("| n | matrices | r | N | D | pyhalvex (ms) | reference (ms) | speedup | agree |")
    print("|---|---|---|---|---|---|---|---|---|")
    speedups, notes = [], []
    for n, m in LADDER:
        A, h = random_system(n, m)
        system = pyhalvex.quorv(A, h)
        for target in targets:
            r = abscissa_for_degree(A, h, target)
            with warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                t_hal, _, hal_roots = timed(lambda: pyhalvex.roots(system, r), args.repeat)
                hal_N = pyhalvex.spectrum(system, r).degree
            t_ref, calls, (ref_roots, ref_N) = timed(
                lambda: reference_roots(A, h, r, args.standard_form), args.repeat)
            agree, count, problems = compare(ref_roots, ref_N, hal_roots, hal_N)
            speedup = t_ref / t_hal
            speedups.append(speedup)
            ref_cell = f"{1e3 * t_ref:.3f}" + (f" ({calls} call{'s' if calls > 1 else ''})"
                                               if calls < args.repeat else "")
            print(f"| {n} | {m} | {r:.3f} | {ref_N} | {n * (ref_N + 1)} | {1e3 * t_hal:.3f} | "
                  f"{ref_cell} | {speedup:.1f} | {agree} ({count} roots) |", flush=True)
            rung = f"n = {n}, {m} matrices, N = {target}"
            notes += [f"{rung}: {p}" for p in problems]
            notes += [f"{rung}: pyhalvex warned: {w.message}" for w in caught]
    print(f"\ngeometric mean of the speedups: {math.exp(np.mean(np.log(speedups))):.2f} "
          f"(load average {os.getloadavg()[0]:.2f} at the end)")
    for note in notes:
        print(f"- {note}")


if __name__ == "__main__":
    main()
