"""Delay margin of a PD loop over a grid of gains (kp, kd).

The plant x'' = -c x' - s x is controlled through a loop delay tau,
u = -kp x(t - tau) - kd x'(t - tau); as a first-order system in (x, x') the
delay sits in one term, whose delay grows from 0. Each grid point gets
pyhalvex.delay_margin: the longest loop delay the gains tolerate, math.inf
where no delay destabilises the loop, 0 where it is unstable already without
delay. Two plants side by side: the double integrator (c = s = 0), whose
margin is finite for every stabilising pair, and a damped oscillator
(c = s = 1), where small gains keep the loop stable for every delay; the
closed-form edge of that region is drawn dashed:

    .venv/bin/python examples/delay_margin.py --grid 60 --output margin.png

The points run on a pool of threads: delay_margin releases the interpreter
lock while it computes.
"""
import argparse
import os
import time
from concurrent.futures import ThreadPoolExecutor

import matplotlib

matplotlib.use("Agg")  # files only, no screen
import matplotlib.pyplot as plt
import numpy as np
from matplotlib.colors import ListedColormap
from matplotlib.lines import Line2D
from matplotlib.patches import Patch

import pyhalvex

PLANTS = {"double integrator x'' = u": (0.0, 0.0), "damped oscillator x'' + x' + x = u": (1.0, 1.0)}
KP = (-0.25, 2.0)
KD = (-0.25, 3.0)
LONGEST = 4.0  # the colour scale's top; longer margins are drawn in its colour
GREY = "0.6"


def pd_loop(kp, kd, damping, stiffness):
    """x'' = -damping x' - stiffness x - kp x(t - tau) - kd x'(t - tau), the loop delay in term 1."""
    plant = np.array([[0.0, 1.0], [-stiffness, -damping]])
    controller = np.array([[0.0, 0.0], [-kp, -kd]])
    return pyhalvex.quorv([plant, controller], [0.0, 0.0])


def margin_map(kp, kd, damping, stiffness, pool):
    """delay_margin at every (kp[j], kd[i]), as a len(kd) x len(kp) array."""
    points = [(p, d) for d in kd for p in kp]
    margins = pool.map(lambda g: pyhalvex.delay_margin(pd_loop(*g, damping, stiffness), 1), points)
    return np.array(list(margins)).reshape(len(kd), len(kp))


def delay_independent(kp, kd, damping, stiffness):
    """Where no delay destabilises the loop, in closed form: |s - w^2 + j c w| = |kp + j kd w|
    on the axis, that is w^4 + B w^2 + C = 0 with B = c^2 - 2 s - kd^2, C = s^2 - kp^2, has
    no positive root w^2 (and the loop is stable without delay)."""
    b, c = damping ** 2 - 2 * stiffness - kd ** 2, stiffness ** 2 - kp ** 2
    return (c > 0) & ((b >= 0) | (b * b < 4 * c)) & (damping + kd > 0) & (stiffness + kp > 0)


def draw(ax, kp, kd, margins, title):
    """The finite margins in colour, the points unstable without delay in grey, and the
    points stable for every delay hatched inside a black outline."""
    finite = np.where(np.isfinite(margins) & (margins > 0), np.minimum(margins, LONGEST), np.nan)
    mesh = ax.pcolormesh(kp, kd, finite, shading="nearest", cmap="viridis", vmin=0, vmax=LONGEST)
    ax.pcolormesh(kp, kd, np.where(margins == 0, 1.0, np.nan), shading="nearest", cmap=ListedColormap([GREY]))
    every_delay = np.isinf(margins).astype(float)
    if every_delay.any():
        ax.contourf(kp, kd, every_delay, levels=[0.5, 1.5], colors="none", hatches=["///"])
        ax.contour(kp, kd, every_delay, levels=[0.5], colors="black", linewidths=1)
    ax.set(xlabel="kp", ylabel="kd", title=title)
    return mesh


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--grid", type=int, default=60, help="points per gain (default: %(default)s)")
    parser.add_argument("--workers", type=int, default=os.cpu_count(), help="threads (default: %(default)s)")
    parser.add_argument("--output", required=True, help="the picture, e.g. margin.png")
    args = parser.parse_args()
    kp = np.linspace(*KP, args.grid)
    kd = np.linspace(*KD, args.grid)
    start = time.perf_counter()
    fig, axes = plt.subplots(1, 2, figsize=(11, 4.6), constrained_layout=True)
    with ThreadPoolExecutor(args.workers) as pool:
        for ax, (title, (damping, stiffness)) in zip(axes, PLANTS.items()):
            margins = margin_map(kp, kd, damping, stiffness, pool)
            mesh = draw(ax, kp, kd, margins, title)
            fine_kp, fine_kd = np.meshgrid(np.linspace(*KP, 400), np.linspace(*KD, 400))
            closed = delay_independent(fine_kp, fine_kd, damping, stiffness).astype(float)
            if closed.any():
                ax.contour(fine_kp, fine_kd, closed, levels=[0.5], colors="red", linestyles="dashed")
            print(f"{title}: {np.isinf(margins).sum()} points stable for every delay, "
                  f"{(margins == 0).sum()} unstable without delay, largest finite margin "
                  f"{np.max(margins[np.isfinite(margins)]):.4f}")
    fig.colorbar(mesh, ax=axes, label=f"delay margin (longer ones drawn as {LONGEST:g})")
    axes[1].legend(handles=[Patch(facecolor="none", hatch="///", edgecolor="black", label="stable for every delay"),
                            Patch(facecolor=GREY, label="unstable without delay"),
                            Line2D([], [], color="red", linestyle="dashed", label="closed form")], loc="upper right")
    fig.savefig(args.output, dpi=110)
    print(f"{2 * args.grid ** 2} margins in {time.perf_counter() - start:.1f} s; picture: {args.output}")


if __name__ == "__main__":
    main()
