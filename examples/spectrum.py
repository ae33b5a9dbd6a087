"""The characteristic roots of a 2x2 time-delay system in the complex plane.

    x'(t) = A_0 x(t) + A_1 x(t - 1),  A_0 = [[-5, 1], [2, -6]],  A_1 = [[-2, 1], [4, -1]]

Every distinct root with Re >= r is drawn by Spectrum.plot, with the line
Re = r that bounds the part of the plane searched and the imaginary axis; the
rightmost roots, marked, decide stability: the system is asymptotically
stable when they lie left of the imaginary axis.

    .venv/bin/python examples/spectrum.py --output spectrum.png
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


def draw(spectrum, path):
    abscissa = spectrum.roots[0].real  # sorted by real part, descending
    rightmost = spectrum.roots[spectrum.roots.real >= abscissa - 1e-9 * max(1.0, abs(abscissa))]
    verdict = "asymptotically stable" if abscissa < 0 else "unstable"

    fig, ax = plt.subplots(figsize=(6.4, 4.8), dpi=100)
    spectrum.plot(ax)
    ax.plot(rightmost.real, rightmost.imag, "*", color="tab:red", markersize=12,
            label=f"rightmost, Re λ = {abscissa:.4f}")
    ax.set_title(f"x'(t) = A₀ x(t) + A₁ x(t − 1): {verdict}\n{len(spectrum.roots)} roots with Re λ ≥ {spectrum.r:g}")
    ax.legend(loc="upper right", fontsize="small", framealpha=0.9)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)
    return abscissa, verdict


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--output", required=True, help="PNG file to write")
    args = parser.parse_args()

    spectrum = pyhalvex.spectrum(pyhalvex.quorv([A0, A1], DELAYS), R)
    abscissa, verdict = draw(spectrum, args.output)
    print(f"{len(spectrum.roots)} distinct roots with Re >= {R:g}; rightmost real part {abscissa:.10f}: {verdict}")
    print(f"wrote {args.output}")


if __name__ == "__main__":
    main()
