"""States in badly matched units: a seeded search for verdicts that depend on them.

    .venv/bin/python benchmarks/state_units.py [--seeds N] [--order N] [--verbose]

Each system is A_k = S T D_k T^-1 S^-1 (delays 0 and 1) with T an upper
triangular integer matrix with unit diagonal (so T^-1 is an integer matrix
too), D_k diagonal and S = diag(2^e_i), |e_i| <= 60: mode i is the scalar
equation lambda = d0_i + d1_i e^{-lambda}, whose rightmost root is
d0 + W_0(d1 e^{-d0}). For each system is_stable, spectral_abscissa,
count_roots(s, 0) and spectrum(s, 0) are compared with those modes; a
mismatch or an error is printed, then the tallies.
"""
import argparse
import math

import numpy as np
from scipy.special import lambertw

from pyhalvex import count_roots, is_stable, quorv, spectral_abscissa, spectrum


def mode_roots(d0, d1, branches=40):
    if d1 == 0:
        return np.array([d0], dtype=complex)
    w = lambertw(d1 * math.exp(-d0), np.arange(-branches, branches + 1))
    # At the branch point -1/e both real branches meet at -1, where lambertw gives NaN.
    return d0 + np.where(np.isnan(w), -1.0, w)


def system(rng, order):
    t = np.triu(rng.integers(-4, 5, (order, order)).astype(float), 1) + np.eye(order)
    t_inv = np.round(np.linalg.inv(t))
    d0 = rng.integers(-12, 5, order) / 4.0
    d1 = rng.integers(-8, 9, order) / 4.0
    s = 2.0 ** rng.integers(-60, 61, order)
    scaled = [(s[:, None] * (t @ np.diag(d) @ t_inv)) / s[None, :] for d in (d0, d1)]
    return quorv(scaled, [0.0, 1.0]), d0, d1


def check(sys, d0, d1):
    """The mismatches of the five functions' answers against the modes."""
    every = np.concatenate([mode_roots(a, b) for a, b in zip(d0, d1)])
    abscissa = max(every.real)
    if np.any(abs(every.real) < 1e-6):
        return None  # a root on the axis up to the rounding of W: no clear truth
    unstable = int(np.sum(every.real >= 0))
    found = {"is_stable": is_stable(sys), "spectral_abscissa": spectral_abscissa(sys),
             "count_roots": count_roots(sys, 0.0), "spectrum": spectrum(sys, 0.0).count}
    wrong = []
    if found["is_stable"] != (abscissa < 0):
        wrong.append("is_stable")
    if not math.isclose(found["spectral_abscissa"], abscissa, rel_tol=1e-9, abs_tol=1e-12):
        wrong.append("spectral_abscissa")
    wrong += [name for name in ("count_roots", "spectrum") if found[name] != unstable]
    return wrong, found, abscissa, unstable


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seeds", type=int, default=200)
    parser.add_argument("--order", type=int, default=3)
    parser.add_argument("--verbose", action="store_true")
    options = parser.parse_args()
    tally = {"right": 0, "wrong": 0, "raised": 0, "undecided": 0}
    for seed in range(options.seeds):
        sys, d0, d1 = system(np.random.default_rng(seed), options.order)
        try:
            outcome = check(sys, d0, d1)
        except Exception as error:  # every raise is a finding here
            tally["raised"] += 1
            print(f"seed {seed}: {type(error).__name__}: {error}")
            continue
        if outcome is None:
            tally["undecided"] += 1
            continue
        wrong, found, abscissa, unstable = outcome
        tally["wrong" if wrong else "right"] += 1
        if wrong or options.verbose:
            print(f"seed {seed}: wrong {wrong}: {found}, truth abscissa {abscissa:.12g}, count {unstable}")
    print(" ".join(f"{key} {value}" for key, value in tally.items()))


if __name__ == "__main__":
    main()
