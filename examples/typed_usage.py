"""Typed use of pyhalvex: the delay margin of x'(t) = -x(t - h).

The equation is stable exactly for h < pi/2, where a pair of roots crosses the
imaginary axis at +-i. The script is type-checked with `mypy --strict` against
the stubs installed with the module.
"""
import numpy as np
from numpy.typing import NDArray

import pyhalvex


def rightmost_root(matrices: list[NDArray[np.float64]], delays: list[float], r: float) -> complex | None:
    """The root with the largest real part among the roots right of r, or None when there are none."""
    system = pyhalvex.quorv(matrices, delays)
    found: list[complex] = pyhalvex.roots(system, r)
    return max(found, key=lambda lam: lam.real, default=None)


def drift_with_delay(matrices: list[NDArray[np.float64]], delays: list[float], lam: complex) -> complex:
    """How fast the root lam moves as the last delay grows: d lam / d h."""
    d_delays: NDArray[np.complex128] = pyhalvex.sensitivity(pyhalvex.quorv(matrices, delays), lam)[1]
    return complex(d_delays[-1])


def verdict_of(matrices: list[NDArray[np.float64]], delays: list[float]) -> str:
    """Stability from the count, the margin from the rightmost root, and the roots right of -1."""
    system = pyhalvex.quorv(matrices, delays)
    stable: bool = pyhalvex.is_stable(system)
    abscissa: float = pyhalvex.spectral_abscissa(system)
    right: pyhalvex.Spectrum = pyhalvex.spectrum(system, -1.0)
    multiplicities: NDArray[np.int64] = right.multiplicities
    listed: NDArray[np.complex128] = right.roots
    status = "complete" if right.complete else "incomplete"
    return (f"{'stable' if stable else 'not stable'}, abscissa {abscissa:+.6f}; {len(listed)} distinct roots right "
            f"of -1 ({int(multiplicities.sum())} of {right.count}, {status}, degree {right.degree})")


def main() -> None:
    print(f"pyhalvex {pyhalvex.__version__}")
    minus_one: NDArray[np.float64] = np.array([[-1.0]])
    for h in (1.0, 1.5, 1.6, 2.0):
        lam = rightmost_root([minus_one], [h], -1.0)
        if lam is None:
            print(f"h = {h}: no root right of -1, stable")
            continue
        verdict = "stable" if lam.real < 0 else "unstable"
        drift = drift_with_delay([minus_one], [h], lam).real
        print(f"h = {h}: rightmost real part {lam.real:+.6f}, {verdict}; it moves by {drift:+.4f} per unit of h")
        print(f"         {verdict_of([minus_one], [h])}")


if __name__ == "__main__":
    main()
