"""The characteristic roots of a 2x2 time-delay system in the complex plane.

    x'(t) = A_0 x(t) + A_1 x(t - 1),  A_0 = [[-5, 1], [2, -6]],  A_1 = [[-2, 1], [4, -1]]

Every distinct root with Re >= r is drawn by Spectrum.plot, with the line
Re = r that bounds the part of the plane searched, the imaginary axis and the
shaded right half-plane; the rightmost roots, marked with their value, decide
stability, which the title states: the system is asymptotically stable when
they lie left of the imaginary axis.

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
    fig, ax = plt.subplots(figsize=(6.4, 5.2), dpi=100)
    spectrum.plot(ax)  # the roots, the shaded right half-plane, the rightmost root, the verdict
    ax.set_title("x'(t) = A₀ x(t) + A₁ x(t − 1)\n" + ax.get_title(), fontsize="medium")
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--output", required=True, help="PNG file to write")
    args = parser.parse_args()

    system = pyhalvex.quorv([A0, A1], DELAYS)
    spectrum = pyhalvex.spectrum(system, R)
    draw(spectrum, args.output)
    verdict = "asymptotically stable" if pyhalvex.is_stable(system) else "unstable"
    print(f"{len(spectrum.roots)} distinct roots with Re >= {R:g}; "
          f"rightmost real part {spectrum.roots[0].real:.10f}: {verdict}")
    print(f"wrote {args.output}")


if __name__ == "__main__":
    main()
