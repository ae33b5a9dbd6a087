"""Whole-call times of pyhalvex on families of growing order, against the
eigenvalues of the pencil of the same order alone.

    .venv/bin/python benchmarks/scaling.py [--family ring|heat|random|all]
                                           [--sizes 10,20,40] [--limit SECONDS]

Families:
- ring: n coupled units x_i' = -x_i + 0.3 (x_{i-1} + x_{i+1}) - 0.8 x_i(t - 1)
  + 0.2 x_{i+1}(t - 2), indices modulo n;
- heat: u_t = u_xx + 1.5 u - u(t - 1) on (0, pi), N interior grid points
  (second differences), so n = N;
- random: A_0 = G_0/sqrt(n) - I, A_1 = G_1/sqrt(n) at delay 1 (G_k standard
  normal, seed 7).

For each order: the time of roots(sys, -1), is_stable(sys) and
spectral_abscissa(sys), and the time of the eigenvalues of the pencil's
standard form of the degree spectrum(sys, -1) reports, built here in NumPy
and solved by scipy.linalg.eigvals on one thread. A call that took longer
than --limit seconds is not repeated at larger orders. Prints a markdown
table; `-` marks a call not made.
"""

import argparse
import os
import time

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402
import scipy.linalg  # noqa: E402

import pyhalvex  # noqa: E402


def ring(n):
    shift = np.roll(np.eye(n), 1, axis=1)
    a0 = -np.eye(n) + 0.3 * (shift + shift.T)
    return pyhalvex.quorv([a0, -0.8 * np.eye(n), 0.2 * shift], [0.0, 1.0, 2.0])


def heat(n, a=1.5, b=-1.0, delay=1.0):
    step = np.pi / (n + 1)
    laplace = (np.diag(-2.0 * np.ones(n)) + np.diag(np.ones(n - 1), 1) + np.diag(np.ones(n - 1), -1)) / step**2
    return pyhalvex.quorv([laplace + a * np.eye(n), b * np.eye(n)], [0.0, delay])


def random_system(n):
    gen = np.random.default_rng(7)
    a0 = gen.standard_normal((n, n)) / np.sqrt(n) - np.eye(n)
    a1 = gen.standard_normal((n, n)) / np.sqrt(n)
    return pyhalvex.quorv([a0, a1], [0.0, 1.0])


FAMILIES = {"ring": ring, "heat": heat, "random": random_system}


def standard_form(sys, degree):
    """C = (S^-1 (x) I_n) M1 of the Chebyshev discretization on [-h_max, 0]."""
    mats = [np.array(sys.A(k)) for k in range(len(sys.hA()))]
    delays = list(sys.hA())
    n, big_n, h_max = mats[0].shape[0], degree, max(delays)
    row = np.zeros((n, n * (big_n + 1)))
    for j in range(big_n + 1):
        for a, h in zip(mats, delays):
            row[:, j * n:(j + 1) * n] += np.cos(np.arccos(1 - 2 * h / h_max) * j) * a
    s = np.zeros((big_n + 1, big_n + 1))
    for i in range(1, big_n + 1):
        s[0, i - 1] = 4 / h_max
        s[i, i - 1] = 1 / i
        if i < big_n:
            s[i, i + 1] = -1 / i
    s[0, big_n] = 4 / h_max
    s[1, 0] = 2
    g = np.linalg.inv(s * h_max / 4)
    m1 = np.eye(n * (big_n + 1))
    m1[:n] = row
    return np.kron(g, np.eye(n)) @ m1


def timed(call):
    start = time.perf_counter()
    try:
        value = call()
    except Exception as error:  # a failed call is reported, not hidden
        return time.perf_counter() - start, f"{type(error).__name__}"
    return time.perf_counter() - start, value


def measure(family, n, skip):
    sys = FAMILIES[family](n)
    out = {"n": n}
    for name, call in [("roots", lambda: pyhalvex.roots(sys, -1.0)),
                       ("is_stable", lambda: pyhalvex.is_stable(sys)),
                       ("abscissa", lambda: pyhalvex.spectral_abscissa(sys))]:
        if name in skip:
            continue
        seconds, value = timed(call)
        out[name] = seconds
        out[name + "_value"] = value
    if "roots" not in skip:
        degree = pyhalvex.spectrum(sys, -1.0).degree
        c = standard_form(sys, degree)
        out["degree"], out["D"] = degree, c.shape[0]
        out["pencil"], _ = timed(lambda: scipy.linalg.eigvals(c, overwrite_a=True, check_finite=False))
    return out


def cell(row, key):
    return f"{row[key]:.3g}" if key in row else "-"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--family", default="all", choices=[*FAMILIES, "all"])
    parser.add_argument("--sizes", default="10,20,40,80,160,320")
    parser.add_argument("--limit", type=float, default=60.0)
    args = parser.parse_args()
    families = list(FAMILIES) if args.family == "all" else [args.family]
    sizes = [int(s) for s in args.sizes.split(",")]
    print(f"load average {os.getloadavg()[0]:.2f}; pyhalvex from {pyhalvex.__file__}")
    print("| family | n | N | D | roots(sys, -1) s | pencil eigenvalues s | ratio | is_stable s | "
          "spectral_abscissa s | abscissa |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for family in families:
        skip = set()
        for n in sizes:
            row = measure(family, n, skip)
            ratio = f"{row['roots'] / row['pencil']:.2g}" if "roots" in row and "pencil" in row else "-"
            value = row.get("abscissa_value", "-")
            value = f"{value:.10g}" if isinstance(value, float) else value
            print(f"| {family} | {n} | {row.get('degree', '-')} | {row.get('D', '-')} | {cell(row, 'roots')} | "
                  f"{cell(row, 'pencil')} | {ratio} | {cell(row, 'is_stable')} | {cell(row, 'abscissa')} | "
                  f"{value} |", flush=True)
            skip |= {k for k in ("roots", "is_stable", "abscissa") if row.get(k, 0) > args.limit}


if __name__ == "__main__":
    main()
