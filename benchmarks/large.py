"""Large sparse systems: the time and peak memory of is_stable, spectral_abscissa
and roots(sys, r), r just left of the second-rightmost real part, on sparse_quorv
models, against the time of one SciPy sparse LU (splu) of the characteristic matrix
near (0.1i above) the rightmost root, the unit the cost of the sparse route is made
of. Beside each time, the number of sparse LU factorisations the call made
(pyhalvex's own, counted in its core). Each case runs in a process of its own, so
that its peak memory (the process's maximum resident set) is its own.

A second table sets beside it what else one could run on the same systems:
SciPy's ARPACK in shift-invert mode on the Chebyshev discretization of the
delay operator (uncertified: the roots nearest the shift, with the
discretization's error), and the dense route (quorv) where it finishes.

    .venv/bin/python benchmarks/large.py            # the table, Markdown
    .venv/bin/python benchmarks/large.py --quick    # the smaller cases only
    .venv/bin/python benchmarks/large.py --others   # the second table instead (with --quick too)
    .venv/bin/python benchmarks/large.py --only "random, 4 per row" 10000 --limit 1800   # one system
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
from scipy.special import lambertw

LIMIT = 600  # seconds per case
STARTED = "LARGE_PY_STARTED"  # when the parent started the child, for the child's reports


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
    "1-D heat": (heat_1d, [1024, 16384, 100000]),
    "2-D heat": (heat_2d, [32, 64, 128]),
    "ring": (ring, [1024, 4096]),
    "random, 4 per row": (random_sparse, [1000, 2000, 5000, 10000]),
}
QUICK = {"1-D heat": [1024], "2-D heat": [32], "ring": [1024], "random, 4 per row": [1000]}


def modes(name, size):
    """The slow modes x' = mu x + b x(t - 1) the heat equations and the ring
    decouple into (None for the random systems)."""
    if name == "ring":
        return np.full(size, -1.0), 0.9 * np.exp(2j * np.pi * np.arange(size) / size)
    if name not in ("1-D heat", "2-D heat"):
        return None
    e = 4 * (size + 1.0) ** 2 * np.sin(np.arange(1, 12) * np.pi / (2 * (size + 1))) ** 2
    mu = -e - 2 if name == "1-D heat" else -(e[:, None] + e[None, :]).ravel() - 2
    mu = mu[mu > -700]  # the faster ones have their roots far left, and e^{-mu} overflows
    return mu, np.full(mu.size, 3.0)


def second_real_part(name, size, sys_, a):
    """The second-rightmost real part of the roots (a the rightmost): from
    the modes' Lambert-W roots where the system decouples, else from spectra
    right of lines moving left of a. Untimed."""
    import pyhalvex

    decoupled = modes(name, size)
    if decoupled is not None:
        mu, b = decoupled
        lam = np.concatenate([mu + lambertw(b * np.exp(-mu), k) for k in range(-3, 4)])
        return np.unique(np.round(lam.real, 11))[-2]
    # Narrow lines first: a wide strip of crowded roots (random couplings)
    # costs minutes to locate, and only its two rightmost real parts matter.
    for width in 0.1 * 2.0 ** np.arange(-4, 8):
        parts = np.unique(np.round(pyhalvex.spectrum(sys_, a - width * max(1.0, abs(a))).roots.real, 11))
        if len(parts) > 1:
            return parts[-2]
    return a - 0.01 * max(1.0, abs(a))


def roots_line(name, size, sys_, a):
    """The r of roots(sys, r): just left of the second-rightmost real part."""
    second = second_real_part(name, size, sys_, a)
    return second - 1e-3 * (a - second)


def splu_seconds(A, hA, lam):
    """One complex sparse LU of Delta(lam), SciPy's splu, best of three
    (of one where it takes over 10 s: minutes where the factors fill in)."""
    n = A[0].shape[0]
    delta = lam * sp.eye_array(n, format="csc") - sum(np.exp(-lam * h) * a for a, h in zip(A, hA))
    best = np.inf
    for _ in range(3):
        start = time.perf_counter()
        spla.splu(sp.csc_matrix(delta, dtype=complex))
        best = min(best, time.perf_counter() - start)
        if best > 10:
            break
    return best


def timed(out, key, call):
    """call(), its time as out[key] and its factorisations as out[key + " LU"]."""
    import pyhalvex

    made = pyhalvex._core._factorisations()
    start = time.perf_counter()
    value = call()
    out[key] = time.perf_counter() - start
    out[key + " LU"] = pyhalvex._core._factorisations() - made
    return value


def run_case(name, size):
    """Runs in the child: times the three questions on one system, printing
    what it has after each, so that a case cut off by the time limit still
    shows the questions it answered."""
    import pyhalvex

    A, hA = CASES[name][0](size)
    sys_ = pyhalvex.sparse_quorv(A, hA)
    out = {"n": sys_.n}

    def report(next_question=None):
        # The parent's clock: how long the next question has run when the limit cuts it.
        out["running"], out["since"] = next_question, time.time() - float(os.environ[STARTED])
        out["peak_mib"] = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        print(json.dumps(out), flush=True)

    report("is_stable")
    out["stable"] = timed(out, "is_stable", lambda: pyhalvex.is_stable(sys_))
    report("abscissa")
    a = out["a"] = timed(out, "abscissa", lambda: pyhalvex.spectral_abscissa(sys_))
    out["splu"] = splu_seconds(A, hA, complex(a, 0.1))  # near, not at, the rightmost root
    r = roots_line(name, size, sys_, a)
    report("roots")
    found = timed(out, "roots", lambda: pyhalvex.roots(sys_, r))
    out["found"] = len(found)
    report()


def measured(name, size, route="sparse", limit=LIMIT):
    """The child's last report, with "cut" set when the limit stopped it
    (None when it reported nothing by then)."""
    command = [sys.executable, __file__, "--case", name, str(size), "--route", route]
    environment = dict(os.environ, OPENBLAS_NUM_THREADS="1", **{STARTED: repr(time.time())})
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=limit, env=environment)
    except subprocess.TimeoutExpired as cut:
        printed = cut.stdout.decode() if isinstance(cut.stdout, bytes) else cut.stdout or ""
        lines = printed.splitlines()
        return dict(json.loads(lines[-1]), cut=True) if lines else None
    if done.returncode != 0:
        sys.exit(done.stderr)
    return json.loads(done.stdout.splitlines()[-1])


def cells(m, limit):
    """The three questions' cells; the one the limit cut shows how long it
    had run, the later ones were not run."""
    out = []
    for q in ["is_stable", "abscissa", "roots"]:
        if q in m:
            out.append(f"{m[q]:.2f} s, {m[q + ' LU']} LU" + (f" ({m['found']})" if q == "roots" else ""))
        else:
            out.append(f"> {limit - m['since']:.0f} s (time limit)" if q == m["running"] else "not run")
    return out


def table(cases, limit):
    print("| system | n | `is_stable` | `spectral_abscissa` | `roots(sys, r)`, r just left of the second real part "
          "(roots) | one `splu` | slowest / `splu` | peak MiB |")
    print("|---|---|---|---|---|---|---|---|")
    for name, sizes in cases.items():
        for size in sizes:
            m = measured(name, size, limit=limit)
            if m is None:
                print(f"| {name} | {size} | > {limit} s (time limit) | not run | not run | | | |")
                continue
            answered = [m[q] for q in ["is_stable", "abscissa", "roots"] if q in m]
            splu = f"{1e3 * m['splu']:.1f} ms | {max(answered) / m['splu']:.0f}" if "splu" in m else " | "
            peak = f"{m['peak_mib']:.0f}" + (" (at the limit)" if m.get("cut") else "")
            print(f"| {name} | {m['n']} | {' | '.join(cells(m, limit))} | {splu} | {peak} |")
    load = os.getloadavg()[0]
    print(f"\n(load average {load:.1f} on {os.cpu_count()} cores while measured; one BLAS thread; "
          f"at most {limit} s per system)")


# ARPACK shift-invert on the discretized delay operator. The state on
# [-tau, 0] is kept at the N + 1 Chebyshev nodes theta_0 = 0 > ... > theta_N = -tau;
# the operator differentiates it at theta_1..theta_N and applies sum_k A_k phi(-h_k)
# (interpolated) at theta_0: a pencil of order n (N + 1), never formed. A solve
# with it minus sigma reduces to one solve with the n x n matrix
# Delta_N(sigma) = sigma I - sum_k c_k(sigma) A_k, c_k the discretized e^{-sigma h_k}:
# the rows of the nodes 1..N give x_j = g_j x_0 + z_j from an N x N system, and
# the row of node 0 then holds x_0 alone. So the whole run costs one splu.
ARNOLDI_NODES = 20
ARNOLDI_ROOTS = 6
ARNOLDI_SHIFT = 0.0
DENSE_LIMIT = 300  # seconds for the dense route's three questions together
DENSE_SIZES = 1024  # the dense route is tried up to this order


def chebyshev(N, tau):
    """Nodes 0 = theta_0 > ... > theta_N = -tau and the differentiation matrix on them."""
    x = np.cos(np.pi * np.arange(N + 1) / N)
    c = np.r_[2.0, np.ones(N - 1), 2.0] * (-1.0) ** np.arange(N + 1)
    D = np.outer(c, 1 / c) / (x[:, None] - x[None, :] + np.eye(N + 1))
    D -= np.diag(D.sum(axis=1))
    return tau * (x - 1) / 2, D * (2 / tau)


def lagrange_at(nodes, t):
    """The Lagrange basis of the Chebyshev nodes at t (barycentric form)."""
    w = (-1.0) ** np.arange(len(nodes))
    w[0] /= 2
    w[-1] /= 2
    if np.any(nodes == t):
        return (nodes == t).astype(float)
    q = w / (t - nodes)
    return q / q.sum()


def arnoldi_roots(A, hA, sigma, N, k):
    """The k roots of the discretized operator nearest sigma, and the splu count."""
    n = A[0].shape[0]
    nodes, D = chebyshev(N, max(hA))
    L = np.array([lagrange_at(nodes, -h) for h in hA])
    Minv = np.linalg.inv(D[1:, 1:] - sigma * np.eye(N))
    g = -Minv @ D[1:, 0]
    c = L[:, 0] + L[:, 1:] @ g
    lu = spla.splu(sp.csc_matrix(sigma * sp.eye_array(n) - sum(ck * a for ck, a in zip(c, A)), dtype=complex))

    def solve(y):
        Y = y.reshape(N + 1, n)
        Z = Minv @ Y[1:]
        x0 = -lu.solve(Y[0] - sum(a @ (L[j, 1:] @ Z) for j, a in enumerate(A)))
        return np.vstack([x0, g[:, None] * x0 + Z]).ravel()

    op = spla.LinearOperator((n * (N + 1),) * 2, matvec=solve, dtype=complex)
    mu = spla.eigs(op, k=k, which="LM", return_eigenvectors=False)
    return sigma + 1 / mu, 1


def run_arnoldi(name, size):
    A, hA = CASES[name][0](size)
    start = time.perf_counter()
    found, factorisations = arnoldi_roots(A, hA, ARNOLDI_SHIFT, ARNOLDI_NODES, ARNOLDI_ROOTS)
    return {"n": A[0].shape[0], "seconds": time.perf_counter() - start, "factorisations": factorisations,
            "rightmost": float(max(found.real))}


def run_dense(name, size):
    import pyhalvex

    A, hA = CASES[name][0](size)
    sys_ = pyhalvex.quorv([a.toarray() for a in A], hA)
    out = {"n": sys_.n}
    start = time.perf_counter()
    pyhalvex.is_stable(sys_)
    out["is_stable"] = time.perf_counter() - start
    start = time.perf_counter()
    out["a"] = pyhalvex.spectral_abscissa(sys_)
    out["abscissa"] = time.perf_counter() - start
    start = time.perf_counter()
    pyhalvex.roots(sys_, roots_line(name, size, sys_, out["a"]))
    out["roots"] = time.perf_counter() - start
    return out


def run_other(name, size, route):
    """Runs in the child: one of the other routes on one system."""
    out = run_arnoldi(name, size) if route == "arpack" else run_dense(name, size)
    out["peak_mib"] = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(json.dumps(out))


def others_table(cases):
    print(f"| system | n | ARPACK shift-invert, σ = {ARNOLDI_SHIFT:g}, {ARNOLDI_ROOTS} roots, N = {ARNOLDI_NODES} "
          "| its factorisations | its peak MiB | its rightmost root | dense route: `is_stable` / "
          "`spectral_abscissa` / `roots` | dense peak MiB |")
    print("|---|---|---|---|---|---|---|---|")
    for name, sizes in cases.items():
        for size in sizes:
            a = measured(name, size, "arpack")
            arpack = (f"{a['seconds']:.2f} s | {a['factorisations']} | {a['peak_mib']:.0f} | {a['rightmost']:.9f}"
                      if a else f"> {LIMIT} s | | |")
            d = measured(name, size, "dense", DENSE_LIMIT) if size <= DENSE_SIZES else None
            dense = (f"{d['is_stable']:.2f} s / {d['abscissa']:.2f} s / {d['roots']:.2f} s | {d['peak_mib']:.0f}"
                     if d else f"not run (n > {DENSE_SIZES})" if size > DENSE_SIZES else f"> {DENSE_LIMIT} s |")
            print(f"| {name} | {a['n'] if a else size} | {arpack} | {dense} |")
    load = os.getloadavg()[0]
    print(f"\n(load average {load:.1f} on {os.cpu_count()} cores while measured; one BLAS thread; ARPACK's roots "
          "are those of the discretized operator nearest the shift, uncertified)")


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="the smaller cases only")
    parser.add_argument("--only", nargs="+", metavar=("NAME", "SIZE"), help="this system only (these sizes)")
    parser.add_argument("--others", action="store_true", help="the table of the other routes instead")
    parser.add_argument("--limit", type=int, default=LIMIT, help="seconds per system (default %(default)s)")
    parser.add_argument("--case", nargs=2, help=argparse.SUPPRESS)
    parser.add_argument("--route", default="sparse", help=argparse.SUPPRESS)
    args = parser.parse_args()
    cases = {name: QUICK[name] for name in CASES} if args.quick else {n: c[1] for n, c in CASES.items()}
    if args.only:
        cases = {args.only[0]: [int(size) for size in args.only[1:]] or cases[args.only[0]]}
    if args.case and args.route == "sparse":
        run_case(args.case[0], int(args.case[1]))
    elif args.case:
        run_other(args.case[0], int(args.case[1]), args.route)
    elif args.others:
        others_table(cases)
    else:
        table(cases, args.limit)
