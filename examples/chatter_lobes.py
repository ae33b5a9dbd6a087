"""Stability lobes of regenerative chatter in turning.

The tool's vibration x, in units of the natural frequency and the static
deflection, obeys

    x''(t) + 2 zeta x'(t) + x(t) = -p (x(t) - x(t - tau)),   zeta = 0.02:

the cutting force follows the chip thickness, today's cut minus the one a
revolution tau ago, with the cutting gain p. As a first-order system in
y = (x, x'), y'(t) = A_0 y(t) + A_1 y(t - tau) with
A_0 = [[0, 1], [-1 - p, -2 zeta]] and A_1 = [[0, 0], [p, 0]]. For each tau,
the critical gain, above which the cut chatters, is found by bisection on
`pyhalvex.is_stable`, the values of tau in tasks on a process pool or a Dask
cluster as in stability_chart.py:

    .venv/bin/python examples/chatter_lobes.py --output lobes.png
    .venv/bin/python examples/chatter_lobes.py --scheduler tcp://127.0.0.1:8786 --output lobes.png

On the imaginary axis the characteristic equation
lambda^2 + 2 zeta lambda + 1 + p (1 - e^{-lambda tau}) = 0 gives the lobes in
closed form, one per number m = 1, 2, ... of waves left on the surface: with
omega > 1 and psi = arctan((omega^2 - 1) / (2 zeta omega)),

    p = ((omega^2 - 1)^2 + 4 zeta^2 omega^2) / (2 (omega^2 - 1)),
    tau = 2 (m pi - psi) / omega;

the script draws them under the computed gains and prints the largest
relative difference.
"""
import argparse
import math
import time

import matplotlib

matplotlib.use("Agg")  # files only, no screen
import matplotlib.pyplot as plt
import numpy as np
from scipy.optimize import brentq

import pyhalvex
from stability_chart import add_pool_arguments, executor, in_chunks, save_figure

ZETA = 0.02
TAU_RANGE = (0.5, 20.0)


def turning(p, tau):
    a0 = np.array([[0.0, 1.0], [-1.0 - p, -2.0 * ZETA]])
    a1 = np.array([[0.0, 0.0], [p, 0.0]])
    return pyhalvex.quorv([a0, a1], [0.0, tau])


def critical_gain(tau, rtol=1e-4):
    """The gain p at which the cut at revolution time tau turns unstable, to
    relative tolerance rtol: bisection between a stable and an unstable gain,
    the unstable one found by doubling from 1."""
    stable, unstable = 0.0, 1.0
    while pyhalvex.is_stable(turning(unstable, tau)):
        stable, unstable = unstable, 2 * unstable
    while unstable - stable > rtol * unstable:
        middle = 0.5 * (stable + unstable)
        if pyhalvex.is_stable(turning(middle, tau)):
            stable = middle
        else:
            unstable = middle
    return 0.5 * (stable + unstable)


def critical_gains(taus, rtol=1e-4):
    """One task: the critical gain at each tau."""
    return np.array([critical_gain(tau, rtol) for tau in taus])


def lobe(omega, m):
    """The point (tau, p) of lobe m at the crossing frequency omega > 1."""
    psi = math.atan((omega**2 - 1) / (2 * ZETA * omega))
    p = ((omega**2 - 1) ** 2 + 4 * ZETA**2 * omega**2) / (2 * (omega**2 - 1))
    return 2 * (m * math.pi - psi) / omega, p


def closed_form_gain(tau):
    """The lowest lobe over tau: on lobe m, tau falls from 2 m pi to 0 as omega
    grows from 1, so each lobe with 2 m pi > tau passes over tau once. Lobes
    beyond the fourth after the first cross at frequencies so high that their
    gain exceeds the first's."""
    first = math.floor(tau / (2 * math.pi)) + 1
    gains = []
    for m in range(first, first + 4):
        omega = brentq(lambda w: lobe(w, m)[0] - tau, 1 + 1e-12, 1e6, xtol=1e-14, rtol=1e-15)
        gains.append(lobe(omega, m)[1])
    return min(gains)


def draw(taus, gains, exact, path):
    fig, ax = plt.subplots(figsize=(7.2, 4.4), dpi=100)
    top = 1.2 * max(gains.max(), 0.5)
    ax.fill_between(taus, gains, top, color="tab:red", alpha=0.15, label="chatter (unstable)")
    ax.plot(taus, exact, color="0.2", linewidth=3, alpha=0.35, label="closed-form lobes")
    ax.plot(taus, gains, color="tab:red", linewidth=1.2, label="critical gain from is_stable")
    ax.axhline(2 * ZETA * (1 + ZETA), color="0.4", linestyle=":", linewidth=1,
               label="2ζ(1 + ζ): stable below at every τ")
    ax.set_yscale("log")
    ax.set_ylim(0.02, top)
    ax.set_xlim(*TAU_RANGE)
    ax.set_xlabel("revolution time τ (units of 1/ω_n)")
    ax.set_ylabel("cutting gain p")
    ax.set_title(f"Stability lobes of turning, x'' + 2ζx' + x = −p (x(t) − x(t − τ)), ζ = {ZETA}")
    ax.legend(loc="upper right", fontsize="small", framealpha=0.9)
    save_figure(fig, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--points", type=int, default=1000, help="values of tau (default: %(default)s)")
    parser.add_argument("--rtol", type=float, default=1e-6,
                        help="relative tolerance of the bisection (default: %(default)s)")
    add_pool_arguments(parser, chunk=20, what="values of tau")
    parser.add_argument("--output", required=True, help="PNG file to write")
    args = parser.parse_args()

    taus = np.linspace(*TAU_RANGE, args.points)
    started = time.perf_counter()
    with executor(args.scheduler, args.workers) as pool:
        gains = in_chunks(pool, critical_gains, taus, args.chunk, args.rtol)
    elapsed = time.perf_counter() - started
    exact = np.array([closed_form_gain(tau) for tau in taus])
    error = np.max(np.abs(gains - exact) / exact)
    print(f"{len(taus)} values of tau in {elapsed:.2f} s; largest relative difference from the closed form: "
          f"{error:.2e}")
    draw(taus, gains, exact, args.output)
    print(f"wrote {args.output}")


if __name__ == "__main__":
    main()
