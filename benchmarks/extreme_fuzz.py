"""Systems with entries up to 1e300: a seeded fuzz of spectrum(sys, r).

    .venv/bin/python benchmarks/extreme_fuzz.py [--inputs N] [--seed S] [--verbose]

Each input is 1 to 3 matrices of order 1 to 3 whose entries mix zeros,
moderate values, values up to 1e300 and the smallest subnormal, with delays
0 or up to 2 and a line r from -300 to 3. Every root spectrum(sys, r) lists
is checked: a point where the characteristic matrix is not singular to 1e-6
of the size of its terms is a non-root (and, more strictly, one where it is
not with each row divided by the terms that cancel in it); a disk
wholly left of r, or a centre further left of r than 1e-10 of its own
modulus, is a root left of the line. Errors are tallied by message
(numbers left out) and incomplete answers by their flag.
"""
import argparse
import collections
import re

import numpy as np

from pyhalvex import quorv, spectrum


def entry(rng):
    kind = rng.integers(6)
    if kind == 0:
        return 0.0
    if kind == 1:
        return float(rng.choice([5e-324, -5e-324, 1e-300]))
    if kind == 2:
        return float(rng.choice([-1.0, 1.0]) * 10.0 ** rng.uniform(100, 300))
    if kind == 3:
        return float(rng.choice([-1e300, 1e300]))
    return float(rng.uniform(-1, 1) * 10.0 ** rng.uniform(-3, 3))


def draw(rng):
    n, m = int(rng.integers(1, 4)), int(rng.integers(1, 4))
    matrices = [np.array([[entry(rng) for _ in range(n)] for _ in range(n)]) for _ in range(m)]
    delays = [0.0 if rng.random() < 0.4 else float(rng.uniform(0, 2)) for _ in range(m)]
    r = float(rng.uniform(-3, 3) if rng.random() < 0.7 else -rng.uniform(0, 300))
    return matrices, delays, r


def singularity(matrices, delays, z):
    """The smallest singular value of Delta(z), first against the size of all its terms
    |z| + sum_k |e^{-z h_k}| |A_k|_F (a backward error), then with each row divided by the terms that cancel in
    it, |z| + sum_k |e^{-z h_k}| sum_j |A_k,ij| (stricter: a small row keeps its own scale)."""
    with np.errstate(all="ignore"):
        factors = [np.exp(-z * h) for h in delays]
        delta = z * np.eye(len(matrices[0]), dtype=complex)
        size, terms = abs(z), np.full(len(matrices[0]), abs(z))
        for e, a in zip(factors, matrices):
            delta = delta - e * a
            size = size + abs(e) * np.linalg.norm(a)
            terms = terms + abs(e) * np.abs(a).sum(axis=1)
        # Real and imaginary parts divided apart: numpy's complex division by a subnormal size (a system of
        # 5e-324) overflows to NaN even for a zero matrix.
        divided = lambda by: delta.real / by + 1j * (delta.imag / by)  # noqa: E731
        smallest = []
        for scaled in (divided(size if size > 0 else 1.0), divided(np.where(terms > 0, terms, 1.0)[:, None])):
            finite = np.all(np.isfinite(scaled))
            smallest.append(np.linalg.svd(scaled, compute_uv=False)[-1] if finite else np.inf)
        return smallest


def judge(matrices, delays, r, listed):
    """(non-roots by the backward error, non-roots row by row, roots left of r) among the listed roots."""
    tally = [0, 0, 0]
    for z, rho in zip(listed.roots, listed.radii):
        backward, by_rows = singularity(matrices, delays, complex(z))
        tally[0] += not backward <= 1e-6
        tally[1] += not by_rows <= 1e-6
        tally[2] += bool(z.real + rho < r or r - z.real > 1e-10 * abs(z))
    return tally


KINDS = ("non-roots", "non-roots row by row", "left of r")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--inputs", type=int, default=300)
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--verbose", action="store_true")
    options = parser.parse_args()
    tally = collections.Counter()
    raised = collections.Counter()
    for k in range(options.inputs):
        matrices, delays, r = draw(np.random.default_rng([options.seed, k]))
        try:
            listed = spectrum(quorv(matrices, delays), r)
        except Exception as error:  # every error is an acceptable answer, tallied by kind
            raised[f"{type(error).__name__}: {re.sub(r'[-+]?[0-9][0-9.e+-]*(?:[-+][0-9.e]+j)?', '#', str(error))[:90]}"] += 1
            continue
        tally["answered"] += 1
        tally["incomplete"] += not listed.complete
        found = dict(zip(KINDS, judge(matrices, delays, r, listed)))
        tally.update(found)
        if found["non-roots"] or found["left of r"] or options.verbose:
            print(f"input {k}: r = {r!r}, delays {delays}, matrices {[a.tolist() for a in matrices]}: {found}: "
                  f"{list(zip(listed.roots, listed.radii))}")
    print(", ".join(f"{key} {tally[key]}" for key in ("answered", "incomplete", *KINDS)))
    for message, count in raised.most_common():
        print(f"raised {count}: {message}")


if __name__ == "__main__":
    main()
