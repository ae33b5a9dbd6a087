"""Large sparse systems: the time and peak memory of is_stable, spectral_abscissa
and roots(sys, r) on sparse_quorv models, against the time of one SciPy sparse LU
(splu) of the characteristic matrix near (0.1i above) the rightmost root, the unit the cost
of the sparse route is made of. Each case runs in a process of its own, so that
its peak memory (the process's maximum resident set) is its own.

    .venv/bin/python benchmarks/large.py            # the table, Markdown
    .venv/bin/python benchmarks/large.py --quick    # the smaller cases only
"""
import argparse
import json
import os
import resource
import subprocess
import sys
import time

import numpy as np
import scipy.sparse as sp
import scipy.sparse.linalg as spla

LIMIT = 600  # seconds per case


def heat_1d(n):
    """u_t = u_xx - 2 u + 3 u(t - 1) on (0, 1), Dirichlet ends, n interior points."""
    h2 = (n + 1.0) ** 2
    lap = sp.diags_array([h2, -2 * h2 - 2, h2], offsets=[-1, 0, 1], shape=(n, n))
    return [lap, 3.0 * sp.eye_array(n)], [0.0, 1.0]


def heat_2d(m):
    """The same on the unit square, m x m interior points."""
    h2 = (m + 1.0) ** 2
    one = sp.diags_array([h2, -2 * h2, h2], offsets=[-1, 0, 1], shape=(m, m))
    eye = sp.eye_array(m)
    lap = sp.kron(one, eye) + sp.kron(eye, one) - 2 * sp.eye_array(m * m)
    return [lap.tocsc(), 3.0 * sp.eye_array(m * m)], [0.0, 1.0]


def ring(n):
    """x_i' = -x_i + 0.9 x_{i-1}(t - 1) around a ring of n units."""
    shift = sp.diags_array([1.0, 1.0], offsets=[-1, n - 1], shape=(n, n))
    return [-sp.eye_array(n), 0.9 * shift], [0.0, 1.0]


def random_sparse(n):
    """-2.5 I plus 4 random entries per row, and a delayed term of 4 per row."""
    rng = np.random.default_rng(1)
    a0 = sp.random_array((n, n), density=4 / n, rng=rng) - 2.5 * sp.eye_array(n)
    a1 = sp.random_array((n, n), density=4 / n, rng=rng, data_sampler=rng.standard_normal)
    return [a0.tocsc(), a1.tocsc()], [0.0, 1.0]


CASES = {
    "1-D heat": (heat_1d, [1000, 16384, 100000]),
    "2-D heat": (heat_2d, [32, 64, 128]),
    "ring": (ring, [1024, 4096]),
    "random, 4 per row": (random_sparse, [1000, 10000]),
}
QUICK = {"1-D heat": [1000], "2-D heat": [32], "ring": [1024], "random, 4 per row": [1000]}


def splu_seconds(A, hA, lam):
    """One complex sparse LU of Delta(lam), SciPy's splu, best of three."""
    n = A[0].shape[0]
    delta = lam * sp.eye_array(n, format="csc") - sum(np.exp(-lam * h) * a for a, h in zip(A, hA))
    best = np.inf
    for _ in range(3):
        start = time.perf_counter()
        spla.splu(sp.csc_matrix(delta, dtype=complex))
        best = min(best, time.perf_counter() - start)
    return best


def run_case(name, size):
    """Runs in the child: times the three questions on one system."""
    import pyhalvex

    A, hA = CASES[name][0](size)
    sys_ = pyhalvex.sparse_quorv(A, hA)
    out = {"n": sys_.n}
    start = time.perf_counter()
    out["stable"] = pyhalvex.is_stable(sys_)
    out["is_stable"] = time.perf_counter() - start
    start = time.perf_counter()
    a = pyhalvex.spectral_abscissa(sys_)
    out["abscissa"] = time.perf_counter() - start
    out["a"] = a
    r = a - 0.01 * max(1.0, abs(a))
    start = time.perf_counter()
    found = pyhalvex.roots(sys_, r)
    out["roots"] = time.perf_counter() - start
    out["found"] = len(found)
    out["splu"] = splu_seconds(A, hA, complex(a, 0.1))  # near, not at, the rightmost root
    out["peak_mib"] = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(json.dumps(out))


def measured(name, size):
    try:
        done = subprocess.run([sys.executable, __file__, "--case", name, str(size)], capture_output=True,
                              text=True, timeout=LIMIT, env=dict(os.environ, OPENBLAS_NUM_THREADS="1"))
    except subprocess.TimeoutExpired:
        return None
    if done.returncode != 0:
        sys.exit(done.stderr)
    return json.loads(done.stdout.splitlines()[-1])


def table(cases):
    print("| system | n | `is_stable` | `spectral_abscissa` | `roots(sys, a - 0.01)` (roots) | one `splu` | "
          "slowest / `splu` | peak MiB |")
    print("|---|---|---|---|---|---|---|---|")
    for name, sizes in cases.items():
        for size in sizes:
            m = measured(name, size)
            if m is None:
                print(f"| {name} | {size} | > {LIMIT} s in all | | | | | |")
                continue
            slowest = max(m["is_stable"], m["abscissa"], m["roots"])
            print(f"| {name} | {m['n']} | {m['is_stable']:.2f} s | {m['abscissa']:.2f} s | {m['roots']:.2f} s "
                  f"({m['found']}) | {1e3 * m['splu']:.1f} ms | {slowest / m['splu']:.0f} | {m['peak_mib']:.0f} |")
    load = os.getloadavg()[0]
    print(f"\n(load average {load:.1f} on {os.cpu_count()} cores while measured; one BLAS thread)")


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="the smaller cases only")
    parser.add_argument("--case", nargs=2, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.case:
        run_case(args.case[0], int(args.case[1]))
    else:
        table({name: QUICK[name] for name in CASES} if args.quick else {n: c[1] for n, c in CASES.items()})
