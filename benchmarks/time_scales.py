"""spectral_abscissa and is_stable across time units, magnitudes and sizes.

    .venv/bin/python benchmarks/time_scales.py [--group NAME ...] [--repeat K]

Each line gives a system, the abscissa found, its error relative to an
independent value (Lambert W for the scalar modes; the rightmost root of the
ring's Fourier modes; the largest real part that roots returns a little left
of it for the chain, which takes long at 80 units), its time (the
median of --repeat calls) and the time of is_stable on the same system.
Groups: scale (x' = -s x(t - 1/s)), plant (a lag with a dead time in hours and
in seconds), stiff (diag(-10^k, -1) with a delayed slow mode), slow (an
unstable system on a scale of 1e-8), ring and chain (neighbour coupling of
20, 40, 80 units). An error is printed in place of the figures.
"""
import argparse
import statistics
import time
import warnings

import numpy as np
from scipy.special import lambertw

from pyhalvex import is_stable, quorv, roots, spectral_abscissa


def scalar(a, b, h):
    """x' = a x + b x(t - h) and its rightmost root a + W_0(b h e^{-a h}) / h."""
    system = quorv([np.array([[a]]), np.array([[b]])], [0.0, h])
    return system, (a + lambertw(b * h * np.exp(-a * h)) / h).real


def ring(units, wrap):
    """x_i' = -x_i + 0.3 (x_{i-1} + x_{i+1}) - 0.8 x_i(t - 1) + 0.2 x_{i+1}(t - 2).

    Closed, its matrices share the Fourier modes e^{i j theta}: the roots are
    those of lambda = -1 + 0.6 cos theta - 0.8 e^{-lambda} + 0.2 e^{i theta} e^{-2 lambda},
    each as a real 2x2 system; open, the reference is computed from the chain itself."""
    up = np.eye(units, k=1)
    if wrap:
        up[-1, 0] = 1.0
    a0 = -np.eye(units) + 0.3 * (up + up.T)
    system = quorv([a0, -0.8 * np.eye(units), 0.2 * up], [0.0, 1.0, 2.0])
    return system, (modes_abscissa(units) if wrap else None)


def modes_abscissa(units):
    as_real = lambda z: np.array([[z.real, -z.imag], [z.imag, z.real]])
    rightmost = -np.inf
    for theta in 2 * np.pi * np.arange(units) / units:
        mode = quorv([as_real(-1 + 0.6 * np.cos(theta)), as_real(-0.8), as_real(0.2 * np.exp(1j * theta))],
                     [0.0, 1.0, 2.0])
        rightmost = max(rightmost, max(z.real for z in roots(mode, -1.0)))
    return rightmost


def cases(group):
    if group == "scale":
        for e in range(-8, 9):
            yield f"x' = -s x(t - 1/s), s = 1e{e}", scalar(0.0, -10.0**e, 10.0**-e)
    elif group == "plant":
        yield "lag 1 h, dead time 2 h, in hours", scalar(-1.0, -0.5, 2.0)
        yield "the same in seconds", scalar(-1 / 3600, -0.5 / 3600, 7200.0)
    elif group == "stiff":
        for k in range(2, 9):
            system = quorv([np.diag([-10.0**k, -1.0]), np.diag([0.0, 0.999])], [0.0, 1.0])
            yield f"diag(-1e{k}, -1), diag(0, 0.999) at h = 1", (system, scalar(-1.0, 0.999, 1.0)[1])
    elif group == "slow":
        s = 1e-8
        yield "x' = s (-x + 1.5 x(t - 1/s)), s = 1e-8", scalar(-s, 1.5 * s, 1 / s)
    elif group in ("ring", "chain"):
        for units in (20, 40, 80):
            yield f"{group} of {units} units", ring(units, group == "ring")


def median_time(call, repeat):
    times, value = [], None
    for _ in range(repeat):
        start = time.perf_counter()
        value = call()
        times.append(time.perf_counter() - start)
    return value, statistics.median(times)


def reference(system, truth, found):
    """truth, or the largest real part roots finds a little left of found."""
    if truth is not None:
        return truth
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        near = roots(system, found - 0.05 * max(1.0, abs(found)))
    return max(z.real for z in near)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--group", nargs="*",
                        default=["scale", "plant", "stiff", "slow", "ring", "chain"])
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    print(f"{'system':46s} {'abscissa':>14s} {'rel. error':>10s} {'time (ms)':>11s} {'is_stable (ms)':>14s}")
    for group in args.group:
        for name, (system, truth) in cases(group):
            try:
                found, seconds = median_time(lambda: spectral_abscissa(system), args.repeat)
                _, stable_seconds = median_time(lambda: is_stable(system), args.repeat)
                exact = reference(system, truth, found)
                error = abs(found - exact) / abs(exact)
                print(f"{name:46s} {found:14.6e} {error:10.1e} {1000 * seconds:11.2f} "
                      f"{1000 * stable_seconds:14.2f}", flush=True)
            except Exception as error:  # the figures of the others still count
                print(f"{name:46s} {type(error).__name__}: {str(error)[:90]}", flush=True)


if __name__ == "__main__":
    main()
