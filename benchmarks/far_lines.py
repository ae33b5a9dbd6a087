"""Far lines and large gains on x' = -g x(t - 1), whose roots are W_k(-g).

    .venv/bin/python benchmarks/far_lines.py [--lines R ...] [--gains G ...] [--repeat K]

First, for each line r: the roots W_k(-1) with Re >= r (Lambert W), the count
of count_roots, the roots roots lists, its warning if any, and the time of
each call (one call each). Then, for each gain g: the error of
spectral_abscissa relative to Re W_0(-g) and the least time of --repeat calls
of spectral_abscissa and of is_stable.
"""
import argparse
import math
import time
import warnings

import numpy as np
from scipy.special import lambertw

from pyhalvex import count_roots, is_stable, quorv, roots, spectral_abscissa


def timed(function, *arguments):
    start = time.perf_counter()
    value = function(*arguments)
    return value, time.perf_counter() - start


def chain_count(r):
    branches = int(math.exp(-r) / (2 * math.pi)) + 50
    w = lambertw(-1.0, np.arange(-branches, branches + 1))
    return int(np.sum(w.real >= r))


def line_row(r):
    system = quorv([np.array([[-1.0]])], [1.0])
    counted, count_time = timed(count_roots, system, r)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        listed, roots_time = timed(roots, system, r)
    warning = "; ".join(str(w.message).split(";")[0] for w in caught) or "none"
    return (f"| {r:g} | {chain_count(r)} | {counted} | {count_time:.3g} | {len(listed)} | {roots_time:.3g} "
            f"| {warning} |")


def least_time(function, system, repeat):
    return min(timed(function, system)[1] for _ in range(repeat))


def gain_row(g, repeat):
    system = quorv([np.array([[-g]])], [1.0])
    exact = lambertw(-g).real
    error = abs(spectral_abscissa(system) - exact) / abs(exact)
    abscissa_ms = 1e3 * least_time(spectral_abscissa, system, repeat)
    stable_ms = 1e3 * least_time(is_stable, system, repeat)
    return f"| {g:.0e} | {exact:.10g} | {error:.1e} | {abscissa_ms:.3g} | {stable_ms:.3g} |"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--lines", type=float, nargs="*", default=[-10.0, -11.0, -12.0, -13.0, -14.0])
    parser.add_argument("--gains", type=float, nargs="*", default=[1e5, 1e25, 1e100, 1e200, 1e300])
    parser.add_argument("--repeat", type=int, default=10)
    options = parser.parse_args()
    print("| r | roots W_k(-1) with Re >= r | count_roots | s | len(roots) | s | warning |")
    print("|---|---|---|---|---|---|---|")
    for r in options.lines:
        print(line_row(r), flush=True)
    print()
    print(f"| g | Re W_0(-g) | spectral_abscissa error | spectral_abscissa ms (least of {options.repeat}) "
          f"| is_stable ms (least of {options.repeat}) |")
    print("|---|---|---|---|---|")
    for g in options.gains:
        print(gain_row(g, options.repeat), flush=True)


if __name__ == "__main__":
    main()
