"""The rightmost roots in any time unit and at any magnitude: spectral_abscissa,
is_stable, count_roots, spectrum and roots against Lambert W."""
import math
import warnings

import numpy as np
import pytest
from scipy.optimize import brentq
from scipy.special import lambertw

from pyhalvex import count_roots, is_stable, quorv, roots, spectral_abscissa, spectrum


def scalar(a, b, h):
    """x' = a x + b x(t - h) with its rightmost root a + W_0(b h e^{-a h}) / h."""
    system = quorv([np.array([[a]]), np.array([[b]])], [0.0, h])
    return system, (a + lambertw(b * h * math.exp(-a * h)) / h).real


def stiff(k):
    """A fast undelayed mode -10^k beside the slow delayed one x' = -x + 0.999 x(t - 1)."""
    return quorv([np.diag([-10.0**k, -1.0]), np.diag([0.0, 0.999])], [0.0, 1.0]), scalar(-1.0, 0.999, 1.0)[1]


CASES = {
    **{f"x'=-s x(t-1/s), s=1e{e}": scalar(0.0, -(10.0**e), 10.0**-e) for e in range(-8, 9, 4)},
    "lag 1 h, dead time 2 h, in hours": scalar(-1.0, -0.5, 2.0),
    "the same in seconds": scalar(-1 / 3600, -0.5 / 3600, 7200.0),
    "unstable at s = 1e-8": scalar(-1e-8, 1.5e-8, 1e8),
    **{f"stiff 1e{k}": stiff(k) for k in (2, 5, 8)},
}


@pytest.mark.parametrize("system, abscissa", CASES.values(), ids=CASES.keys())
def test_every_function_finds_the_rightmost_root_at_any_time_scale(system, abscissa):
    assert spectral_abscissa(system) == pytest.approx(abscissa, rel=1e-8, abs=0)
    assert is_stable(system) == (abscissa < 0)
    # Lines half its size right and left of the rightmost root.
    right, left = abscissa + 0.5 * abs(abscissa), abscissa - 0.5 * abs(abscissa)
    assert count_roots(system, right) == 0
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        found = roots(system, left)
    listed = spectrum(system, left)
    assert listed.complete and listed.count == count_roots(system, left) >= 1
    for rightmost in (listed.roots[0].real, max(z.real for z in found)):
        assert rightmost == pytest.approx(abscissa, rel=1e-8, abs=0)


@pytest.mark.parametrize("a, b, h", [(-10.0, 1.0, 300.0), (-1.0, 0.1, 2500.0), (-2.0, 1.0, 1000.0)])
def test_the_abscissa_of_a_long_delay(a, b, h):
    # With b > 0 the rightmost root is the real one, in (-700 / h, 0) here,
    # where e^{-lambda h} stays finite.
    system = quorv([np.array([[a]]), np.array([[b]])], [0.0, h])
    real_root = brentq(lambda lam: lam - a - b * math.exp(-lam * h), -700 / h, 0.0, xtol=1e-300, rtol=1e-15)
    assert spectral_abscissa(system) == pytest.approx(real_root, rel=1e-8, abs=0)
    assert is_stable(system)


@pytest.mark.parametrize("system", [
    scalar(0.0, -2.0, math.pi / 4)[0],  # x' = -w x(t - pi / 2w): a pair on the axis
    quorv([np.zeros((2, 2))], [0.0]),  # x' = 0: a double root at 0
    scalar(1.0, -1.0, 1.0)[0],  # x' = x - x(t - 1): a double root at 0
    quorv([np.array([[-1.0, 1.0], [0.0, -1.0]]), np.array([[0.0, 0.0], [0.0, 1.0]])], [0.0, 1.0]),
])
def test_a_root_on_the_axis_makes_the_abscissa_zero_as_it_makes_the_system_unstable(system):
    assert not is_stable(system)
    assert spectral_abscissa(system) == 0.0


def test_entries_beyond_the_range_of_their_squares():
    assert is_stable(quorv([np.array([[-1e250]])], [0.0]))
    assert spectral_abscissa(quorv([np.array([[-1e250]])], [0.0])) == pytest.approx(-1e250, rel=1e-12)
    tiny = quorv([np.array([[1e-170]])], [0.0])
    assert count_roots(tiny, 1e-171) == 1
    assert roots(tiny, 1e-171) == [pytest.approx(1e-170, rel=1e-12)]


def test_the_rightmost_roots_of_a_chain_of_many_units():
    # x_i' = -x_i + 0.3 (x_{i-1} + x_{i+1}) - 0.8 x_i(t - 1) + 0.2 x_{i+1}(t - 2), open ends.
    up = np.eye(20, k=1)
    system = quorv([-np.eye(20) + 0.3 * (up + up.T), -0.8 * np.eye(20), 0.2 * up], [0.0, 1.0, 2.0])
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        rightmost = max(z.real for z in roots(system, -0.55))
    assert spectral_abscissa(system) == pytest.approx(rightmost, rel=1e-8, abs=0)
