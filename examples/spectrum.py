"""The characteristic roots of a 2x2 time-delay system in the complex plane.

    x'(t) = A_0 x(t) + A_1 x(t - 1),  A_0 = [[-5, 1], [2, -6]],  A_1 = [[-2, 1], [4, -1]]

Every root with Re >= r is drawn, the line Re = r bounds the part of the plane
that was searched, and the rightmost roots decide stability: the system is
asymptotically stable when they lie left of the imaginary axis.

    .venv/bin/python examples/spectrum.py --output docs/spectrum.png
"""
import argparse

import matplotlib

matplotlib.use("Agg")  # files only, no screen
import matplotlib.pyplot as plt
import numpy as np

import pyhalvex

A0 = np.array([[-5.0, 1.0], [2.0, -6.0]])
A1 = np.array([[-2.0, 1.0], [4.0, -1.0]])
DELAYS = [0.0, 1.0]
R = -3.0


def distinct(found, rtol=1e-9):
    """The roots once each: the module may return a root more than once, when
    two candidates of the discretization refine to the same root."""
    kept = []
    for lam in sorted(found, key=lambda z: (-z.real, -z.imag)):
        if all(abs(lam - mu) > rtol * max(1.0, abs(mu)) for mu in kept):
            kept.append(lam)
    return kept


def draw(spectrum, r, path):
    abscissa = max(lam.real for lam in spectrum)
    rightmost = [lam for lam in spectrum if lam.real >= abscissa - 1e-9 * max(1.0, abs(abscissa))]
    others = [lam for lam in spectrum if lam not in rightmost]
    verdict = "asymptotically stable" if abscissa < 0 else "unstable"

    fig, ax = plt.subplots(figsize=(6.4, 4.8), dpi=100)
    ax.axvspan(r - 1.0, r, color="0.9", label=f"not searched (Re < {r:g})")
    ax.axvline(r, color="0.4", linestyle="--", linewidth=1)
    ax.axvline(0.0, color="0.2", linewidth=0.8)
    ax.axhline(0.0, color="0.2", linewidth=0.8)
    ax.plot([z.real for z in others], [z.imag for z in others], "o", color="tab:blue",
            markersize=4, label="roots")
    ax.plot([z.real for z in rightmost], [z.imag for z in rightmost], "*", color="tab:red",
            markersize=12, label=f"rightmost, Re λ = {abscissa:.4f}")
    ax.set_xlim(r - 0.5, max(abscissa, 0.0) + 0.5)
    ax.set_xlabel("Re λ")
    ax.set_ylabel("Im λ")
    ax.set_title(f"x'(t) = A₀ x(t) + A₁ x(t − 1): {verdict}\n{len(spectrum)} roots with Re λ ≥ {r:g}")
    ax.legend(loc="upper right", fontsize="small", framealpha=0.9)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)
    return abscissa, verdict


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--output", default="spectrum.png", help="PNG file to write (default: %(default)s)")
    args = parser.parse_args()

    spectrum = distinct(pyhalvex.roots(pyhalvex.quorv([A0, A1], DELAYS), R))
    abscissa, verdict = draw(spectrum, R, args.output)
    print(f"{len(spectrum)} distinct roots with Re >= {R:g}; rightmost real part {abscissa:.10f}: {verdict}")
    print(f"wrote {args.output}")


if __name__ == "__main__":
    main()
