"""The picture of a Spectrum, drawn with matplotlib. Spectrum.plot imports this
module on its first call only, so that pyhalvex runs without matplotlib.

The picture shows the verdict first: the right half-plane is shaded, roots
on or right of the imaginary axis stand out in their own colour, the
rightmost root is marked with its value, and the title says whether the
roots shown make the system stable."""
import math

import matplotlib.pyplot as plt
import numpy as np

STABLE_COLOUR = "tab:blue"
UNSTABLE_COLOUR = "tab:red"


def _format_root(z):
    """'0.08604 ± 1.2254i' for a root with its conjugate, '-1' for a real one."""
    if z.imag == 0:
        return f"{z.real:.4g}"
    return f"{z.real:.4g} ± {abs(z.imag):.4g}i"


def _unstable(spectrum):
    """The roots that make the system not stable: on or right of the axis,
    or with a certified disk that reaches it (numerically on the axis). Every
    root listed for a line r >= 0 counts, as the count that listed it does
    (a root within the count's margin left of the line is on it)."""
    return (spectrum.roots.real + spectrum.radii >= 0.0) | (spectrum.r >= 0.0)


def verdict(spectrum):
    """The title's verdict on the roots of spectrum: stable when every root
    right of r is accounted for, r <= 0 and none of them reaches the axis;
    unstable as soon as one does; otherwise what is missing to decide."""
    roots = spectrum.roots
    if _unstable(spectrum).any():
        return f"unstable: spectral abscissa {max(0.0, roots.real.max()):.4g}"
    if not spectrum.complete:
        return f"not decided: {int(np.sum(spectrum.multiplicities))} of {spectrum.count} roots found"
    if not spectrum.r <= 0.0:
        return f"not decided: no roots with Re λ ≥ {spectrum.r:g}, the line lies right of the axis"
    if len(roots) == 0:
        return f"stable: no roots with Re λ ≥ {spectrum.r:g}"
    return f"stable: spectral abscissa {roots.real.max():.4g}"


def _frame(ax, spectrum):
    """x limits that show r, the axis and every root with room for the
    rightmost root's label; the right half-plane shaded out to the edge."""
    real = list(spectrum.roots.real)
    lo = min([0.0, *real, *([spectrum.r] if math.isfinite(spectrum.r) else [])])
    hi = max([0.0, *real])
    width = hi - lo if hi > lo else 1.0
    left, right = lo - 0.06 * width, hi + 0.3 * width
    ax.set_xlim(left, right)
    ax.axvspan(0.0, right, color=UNSTABLE_COLOUR, alpha=0.07, linewidth=0, label="Re λ ≥ 0: unstable")
    return left, right


def plot_spectrum(spectrum, ax=None):
    """Draws the roots of spectrum into ax (a new figure's Axes when None) and returns ax."""
    if ax is None:
        _, ax = plt.subplots()
    roots, multiplicities = spectrum.roots, spectrum.multiplicities
    unstable = _unstable(spectrum)
    ax.axvline(0.0, color="0.2", linewidth=0.8, label="imaginary axis")
    ax.axhline(0.0, color="0.6", linewidth=0.5)
    if math.isfinite(spectrum.r):
        ax.axvline(spectrum.r, color="0.4", linestyle="--", linewidth=1, label=f"Re λ = {spectrum.r:g}")
    for chosen, colour, name in ((~unstable, STABLE_COLOUR, "root"), (unstable, UNSTABLE_COLOUR, "root, Re λ ≥ 0")):
        for marker, size, kind, which in (("o", 4, "", multiplicities == 1), ("D", 6, "multiple ", multiplicities > 1)):
            shown = chosen & which
            if shown.any():
                ax.plot(roots.real[shown], roots.imag[shown], marker, color=colour, markersize=size,
                        linestyle="None", label=kind + name)
    for z, m, bad in zip(roots, multiplicities, unstable):
        if m > 1:
            ax.annotate(f"×{m}", (z.real, z.imag), xytext=(5, 5), textcoords="offset points",
                        color=UNSTABLE_COLOUR if bad else STABLE_COLOUR)
    if len(roots):
        # Sorted by real part, then imaginary part ascending: the rightmost
        # root with Im >= 0 is the upper one of its pair.
        top = np.flatnonzero((roots.real == roots.real[0]) & (roots.imag >= 0))
        z = roots[top[0] if len(top) else 0]
        ax.scatter([z.real], [z.imag], marker="*", s=160, facecolors="none",
                   edgecolors=UNSTABLE_COLOUR if unstable[0] else "black", linewidths=1.2, zorder=3)
    left, right = _frame(ax, spectrum)
    if len(roots):
        # The label goes where there is room: left of a root in the right
        # half of the picture, right of it otherwise.
        leftwards = z.real > (left + right) / 2
        ax.annotate(f"rightmost {_format_root(z)}", (z.real, z.imag), xytext=(-10 if leftwards else 10, -14),
                    textcoords="offset points", ha="right" if leftwards else "left", fontsize="small")
    ax.set_xlabel("Re λ")
    ax.set_ylabel("Im λ")
    ax.set_title(f"{verdict(spectrum)}\n{len(roots)} distinct roots with Re λ ≥ {spectrum.r:g}")
    ax.legend(loc="best", fontsize="small")
    return ax
