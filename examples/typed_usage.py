"""Typed use of pyhalvex: the delay margin of x'(t) = -x(t - h).

The equation is stable exactly for h < pi/2, where a pair of roots crosses the
imaginary axis at +-i. The script is type-checked with `mypy --strict` against
the stubs installed with the module.
"""
import numpy as np
from numpy.typing import NDArray

import pyhalvex


def rightmost_real_part(matrices: list[NDArray[np.float64]], delays: list[float], r: float) -> float | None:
    """The largest real part among the roots right of r, or None when there are none."""
    system = pyhalvex.quorv(matrices, delays)
    found: list[complex] = pyhalvex.roots(system, r)
    return max((lam.real for lam in found), default=None)


def main() -> None:
    minus_one: NDArray[np.float64] = np.array([[-1.0]])
    for h in (1.0, 1.5, 1.6, 2.0):
        abscissa = rightmost_real_part([minus_one], [h], -1.0)
        if abscissa is None:
            print(f"h = {h}: no root right of -1, stable")
        else:
            print(f"h = {h}: rightmost real part {abscissa:+.6f}, {'stable' if abscissa < 0 else 'unstable'}")


if __name__ == "__main__":
    main()
