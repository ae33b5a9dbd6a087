"""The picture of a Spectrum, drawn with matplotlib. Spectrum.plot imports this
module on its first call only, so that pyhalvex runs without matplotlib."""
import math

import matplotlib.pyplot as plt
import numpy as np


def plot_spectrum(spectrum, ax=None):
    """Draws the roots of spectrum into ax (a new figure's Axes when None) and returns ax."""
    if ax is None:
        _, ax = plt.subplots()
    roots, multiplicities = spectrum.roots, spectrum.multiplicities
    ax.axvline(0.0, color="0.2", linewidth=0.8, label="imaginary axis")
    ax.axhline(0.0, color="0.6", linewidth=0.5)
    if math.isfinite(spectrum.r):
        ax.axvline(spectrum.r, color="0.4", linestyle="--", linewidth=1, label=f"Re λ = {spectrum.r:g}")
    simple = multiplicities == 1
    ax.plot(roots.real[simple], roots.imag[simple], "o", color="tab:blue", markersize=4, label="simple root")
    if not simple.all():
        ax.plot(roots.real[~simple], roots.imag[~simple], "D", color="tab:red", markersize=6,
                label="multiple root (×multiplicity)")
        for z, m in zip(roots[~simple], multiplicities[~simple]):
            ax.annotate(f"×{m}", (z.real, z.imag), xytext=(5, 5), textcoords="offset points", color="tab:red")
    ax.set_xlabel("Re λ")
    ax.set_ylabel("Im λ")
    status = "" if spectrum.complete else f", incomplete: {int(np.sum(multiplicities))} of {spectrum.count} found"
    ax.set_title(f"{len(roots)} distinct roots with Re λ ≥ {spectrum.r:g}{status}")
    ax.legend(loc="best", fontsize="small")
    return ax
